"""End-to-end harness: the real Quorrin.exe under Wine, on Xvfb, with its COM
ports backed by socat pseudo-terminal pairs whose far ends Python holds.
The Wine, display, pty and driver pieces live in scripts/winehost.py; this
file adds one run of Quorrin in a program directory of its own and the
settings file helpers.
"""
import os
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
from winehost import (BUILD, WIN_BUILD, Display, Driver, DriverError, PtyPair,  # noqa: E402,F401
                      WinePrefix, to_windows_path)

PREFIX = BUILD / "wineprefix"
E2E = BUILD / "e2e"


class Quorrin:
    """One run of Quorrin.exe in a program directory of its own."""

    def __init__(self, prefix, program_dir, settings=None, messages=True):
        self.dir = Path(program_dir)
        if self.dir.exists():
            shutil.rmtree(self.dir)
        self.dir.mkdir(parents=True)
        shutil.copy(WIN_BUILD / "Quorrin.exe", self.dir / "Quorrin.exe")
        shutil.copy(WIN_BUILD / "pivotle.exe", self.dir / "pivotle.exe")
        if messages:
            shutil.copy(WIN_BUILD / "quorrin_char2.ini", self.dir / "quorrin_char2.ini")
        if settings is not None:
            write_settings(self.dir / "quorrin.ini", settings)
        self.prefix = prefix
        self.proc = None

    def start(self):
        self.proc = subprocess.Popen(["wine", str(self.dir / "Quorrin.exe")], cwd=self.dir,
                                     env=self.prefix.env(), stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL, start_new_session=True)
        return self

    def wait_exit(self, timeout=30):
        return self.proc.wait(timeout)

    def kill(self):
        if self.proc and self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGKILL)
            self.proc.wait(10)

    def path(self, name):
        return self.dir / name

    def windows_path(self, name):
        return to_windows_path(self.dir / name)


def write_settings(path, values):
    lines = ["[Setting]"] + [f"{k}={v}" for k, v in values.items()]
    Path(path).write_text("\r\n".join(lines) + "\r\n", encoding="ascii")


def read_settings(path):
    """Keys and values of quorrin.ini in file order."""
    raw = Path(path).read_bytes()
    text = raw.decode("utf-16") if raw[:2] == b"\xff\xfe" else raw.decode("latin-1")
    items = []
    for line in text.splitlines():
        if "=" in line and not line.startswith("["):
            k, v = line.split("=", 1)
            items.append((k, v))
    return items


def wait_for(predicate, timeout=10.0, step=0.05):
    deadline = time.time() + timeout
    while time.time() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return predicate()


TB_GETSTATE = 0x0412
TBSTATE_ENABLED = 4


def toolbar_enabled(driver, button):
    toolbar = driver.call("child", "main", 1000)[0]
    return bool(int(driver.call("send", toolbar, TB_GETSTATE, button, 0)[0]) & TBSTATE_ENABLED)


def open_ports(driver, timeout=10.0):
    """Runs the open command and returns once it has finished (the close
    button of the toolbar is enabled), with no message box shown."""
    driver.command(158)
    assert wait_for(lambda: toolbar_enabled(driver, 1117), timeout), "the ports did not open"
    driver.no_message_box(300)
