"""Running Quorrin's Win32 programs under Wine on this machine: a private
prefix, an X display, pty pairs as COM ports, and the qdriver program.
Used by the launcher (scripts/launch.py) and the end-to-end tests.

Pieces, each usable alone:
- WinePrefix: a private prefix under build/, with fonts mapped, Wine's own
  Marlett in its font folder, and COM ports registered
  (HKLM\\Software\\Wine\\Ports) before the wineserver starts, each also
  as a device of the Ports setup class with a friendly name.
- Display: an Xvfb server and screenshots of it.
- PtyPair: a socat pty pair; `app_path` goes to Quorrin, the peer end is a
  raw file descriptor with read/write helpers that never block forever.
- Driver: qdriver.exe, our Win32 program that finds Quorrin's windows, posts
  commands, clicks, types, reads texts and answers message boxes and file
  dialogs. One line per command on its stdin, one answer line back.
"""
import os
import select
import shutil
import subprocess
import time
import tty
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
BUILD = Path(os.environ.get("QUORRIN_BUILD", ROOT / "build"))
WIN_BUILD = BUILD / "win"

FONT_NAMES = ["MS UI Gothic", "MS Gothic", "MS PGothic", "ＭＳ Ｐゴシック", "ＭＳＰゴシック",
              "ＭＳ ゴシック", "Gulim", "SimSun", "PMingLiU", "Meiryo", "Yu Gothic"]
FONT_TARGET = "WenQuanYi Micro Hei"

# Wine draws the caption buttons (and menu check marks) as characters of its
# Marlett font: "0" minimize, "1" maximize, "2" restore, "r" close. Debian's
# Wine 8 never opens its data folder's fonts (/usr/share/wine/fonts, from
# fonts-wine), so without Marlett those letters showed in a fallback font.
# The prefix's own Windows font folder is read by every Wine process at its
# start; the font goes there.
WINE_FONTS = Path("/usr/share/wine/fonts")
PREFIX_FONTS = ["marlett.ttf"]


def wine_env(prefix, display=None):
    env = dict(os.environ)
    env["WINEPREFIX"] = str(prefix)
    env["WINEDEBUG"] = "-all"
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    if display:
        env["DISPLAY"] = display
    return env


def to_windows_path(path):
    """Wine's Z: drive is the Linux root."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


class WinePrefix:
    def __init__(self, path, display):
        self.path = Path(path)
        self.display = display

    def env(self):
        return wine_env(self.path, self.display)

    def run(self, *args, timeout=120):
        # Wine's tools answer in the user's language, and not always in UTF-8
        # (Korean comes in code page 949): their output is only for messages.
        return subprocess.run(list(args), env=self.env(), timeout=timeout, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True, errors="replace", check=False)

    def reg_add(self, key, name, value, kind="REG_SZ"):
        r = self.run("wine", "reg", "add", key, "/v", name, "/t", kind, "/d", value, "/f")
        if r.returncode != 0:
            raise RuntimeError(f"reg add {key} {name} failed: {r.stdout}")

    def reg_delete(self, key):
        self.run("wine", "reg", "delete", key, "/f")

    def associate(self, extension, program_id, command):
        """Files ending in `extension` (".pdf") open with `command` (its
        "%1" is the file) through the shell's "open" verb."""
        for key, value in ((rf"HKCR\{extension}", program_id),
                           (rf"HKCR\{program_id}\shell\open\command", command)):
            r = self.run("wine", "reg", "add", key, "/ve", "/d", value, "/f")
            if r.returncode != 0:
                raise RuntimeError(f"reg add {key} failed: {r.stdout}")

    def ensure(self):
        """Creates the prefix once; later runs reuse it."""
        if not (self.path / "system.reg").exists():
            self.path.mkdir(parents=True, exist_ok=True)
            r = self.run("wineboot", "-i", timeout=300)
            if not (self.path / "system.reg").exists():
                raise RuntimeError(f"wineboot failed: {r.stdout}")
            for name in FONT_NAMES:
                self.reg_add(r"HKCU\Software\Wine\Fonts\Replacements", name, FONT_TARGET)
            # One virtual desktop for every program of the prefix: windows get
            # frames, and no X window manager is needed (without one, hiding a
            # top-level X window stalls its thread for two seconds).
            self.reg_add(r"HKCU\Software\Wine\Explorer", "Desktop", "Default")
        # Wide enough for the input window's 64-cell strips.
        self.reg_add(r"HKCU\Software\Wine\Explorer\Desktops", "Default", "1920x1080")
        self.install_fonts()
        self.stop_server()

    def install_fonts(self):
        """Copies PREFIX_FONTS into the prefix's Windows font folder, where
        every Wine process of the prefix finds them when it starts; a copy
        already there and alike is left as it is."""
        folder = self.path / "drive_c" / "windows" / "Fonts"
        folder.mkdir(parents=True, exist_ok=True)
        for name in PREFIX_FONTS:
            source = WINE_FONTS / name
            if not source.exists():
                raise RuntimeError(f"{source} is missing: install fonts-wine (scripts/setup.sh)")
            target = folder / name
            if not target.exists() or target.read_bytes() != source.read_bytes():
                shutil.copyfile(source, target)

    def set_ports(self, ports):
        """ports: {"COM3": "/dev/pts/5", ...}. Replaces the whole port list;
        the wineserver must be stopped (it reads the list when it starts)."""
        self.stop_server()
        self.reg_delete(r"HKLM\Software\Wine\Ports")
        for name, device in ports.items():
            self.reg_add(r"HKLM\Software\Wine\Ports", name, device)
        self.set_port_devices(ports)
        self.stop_server()

    PORTS_CLASS = "{4D36E978-E325-11CE-BFC1-08002BE10318}"
    PORT_DEVICES = r"HKEY_LOCAL_MACHINE\System\CurrentControlSet\Enum\ROOT\PORTS"

    @staticmethod
    def port_description(device):
        """What the system's device list calls a port: ptys are the test's
        and the launcher's virtual ports; others are named by their device."""
        if str(device).startswith("/dev/pts/") or Path(device).name.endswith("-app"):  # a pty or a PtyPair's link
            return "Test Virtual Port"
        return "Serial Port " + Path(device).name

    def set_port_devices(self, ports):
        """Lists each port as a device of the Ports setup class (root
        enumerated, key 000N) with the friendly name "<description> (COMn)",
        as SetupAPI reports serial adapters. Replaces earlier entries; one
        regedit import, as every `wine reg` call costs a Wine start."""
        self.reg_delete(self.PORT_DEVICES.replace("HKEY_LOCAL_MACHINE", "HKLM"))
        lines = ["Windows Registry Editor Version 5.00", ""]
        for n, (name, device) in enumerate(ports.items()):
            key = f"{self.PORT_DEVICES}\\{n:04d}"
            lines += [f"[{key}]", f'"ClassGUID"="{self.PORTS_CLASS}"',
                      f'"FriendlyName"="{self.port_description(device)} ({name})"', "",
                      f"[{key}\\Device Parameters]", f'"PortName"="{name}"', ""]
        path = self.path / "quorrin-ports.reg"
        path.write_text("\r\n".join(lines), encoding="utf-16")
        r = self.run("wine", "regedit", "/S", to_windows_path(path))
        if r.returncode != 0:
            raise RuntimeError(f"regedit {path} failed: {r.stdout}")

    def stop_server(self):
        subprocess.run(["wineserver", "-k"], env=self.env(), timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        subprocess.run(["wineserver", "-w"], env=self.env(), timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)


class Display:
    def __init__(self):
        self.proc = None
        self.name = None

    def start(self, width=1920, height=1080):
        for n in range(90, 140):
            if Path(f"/tmp/.X{n}-lock").exists():
                continue
            proc = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", f"{width}x{height}x24", "-nolisten", "tcp"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(50):
                if Path(f"/tmp/.X11-unix/X{n}").exists():
                    self.proc, self.name = proc, f":{n}"
                    return self.name
                if proc.poll() is not None:
                    break
                time.sleep(0.1)
            proc.kill()
        raise RuntimeError("no Xvfb display could be started")

    def screenshot(self, path):
        path = Path(path)
        path.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["import", "-display", self.name, "-window", "root", str(path)], timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        return path

    def stop(self):
        if self.proc:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()


class PtyPair:
    """A socat pty pair: Quorrin opens `app_path`, the test holds the peer."""

    def __init__(self, workdir, name):
        self.link_app = Path(workdir) / f"{name}-app"
        self.link_peer = Path(workdir) / f"{name}-peer"
        for p in (self.link_app, self.link_peer):
            if p.is_symlink() or p.exists():
                p.unlink()
        self.proc = subprocess.Popen(
            ["socat", f"pty,raw,echo=0,link={self.link_app}", f"pty,raw,echo=0,link={self.link_peer}"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 10
        while not (self.link_app.exists() and self.link_peer.exists()):
            if time.time() > deadline or self.proc.poll() is not None:
                raise RuntimeError("socat did not make its pty pair")
            time.sleep(0.05)
        self.app_path = os.path.realpath(self.link_app)
        self.fd = os.open(os.path.realpath(self.link_peer), os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        tty.setraw(self.fd)

    def write(self, data):
        view = memoryview(data)
        deadline = time.time() + 10
        while view:
            try:
                n = os.write(self.fd, view)
                view = view[n:]
            except BlockingIOError:
                if time.time() > deadline:
                    raise TimeoutError("peer write blocked")
                select.select([], [self.fd], [], 0.1)

    def read(self, count, timeout=5.0):
        """Reads until `count` bytes arrived or the time is up."""
        out = b""
        deadline = time.time() + timeout
        while len(out) < count:
            left = deadline - time.time()
            if left <= 0:
                break
            r, _, _ = select.select([self.fd], [], [], left)
            if r:
                try:
                    out += os.read(self.fd, count - len(out))
                except BlockingIOError:
                    pass
        return out

    def drain(self, quiet=0.2):
        out = b""
        while True:
            r, _, _ = select.select([self.fd], [], [], quiet)
            if not r:
                return out
            try:
                out += os.read(self.fd, 4096)
            except BlockingIOError:
                return out

    def close(self):
        try:
            os.close(self.fd)
        except OSError:
            pass
        self.proc.terminate()
        try:
            self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()


def unescape(text):
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            out.append({"n": "\n", "t": "\t", "r": "\r", "\\": "\\"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


class DriverError(RuntimeError):
    pass


class Driver:
    """qdriver.exe with a line protocol; every call has a bounded wait."""

    def __init__(self, prefix):
        self.proc = subprocess.Popen(["wine", str(WIN_BUILD / "qdriver.exe")], env=prefix.env(),
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def call(self, *args, timeout=30):
        line = "\t".join(str(a) for a in args) + "\n"
        self.proc.stdin.write(line.encode("utf-8"))
        self.proc.stdin.flush()
        r, _, _ = select.select([self.proc.stdout], [], [], timeout)
        if not r:
            raise DriverError(f"driver gave no answer to {args}")
        reply = self.proc.stdout.readline().decode("utf-8").rstrip("\r\n")
        fields = [unescape(f) for f in reply.split("\t")]
        if not fields or fields[0] != "ok":
            raise DriverError(f"{args[0]}: {reply!r}")
        return fields[1:]

    # Conveniences used by the tests.
    def main_window(self, timeout_ms=30000):
        return self.call("main", timeout_ms, timeout=timeout_ms / 1000 + 10)[0]

    def command(self, cmd_id):
        self.call("command", cmd_id)

    def message_box(self, timeout_ms=10000):
        """Waits for a message box; returns (hwnd, caption, text)."""
        hwnd, caption, text = self.call("msgbox", timeout_ms, timeout=timeout_ms / 1000 + 10)
        return hwnd, caption, text

    def answer(self, hwnd, button):
        self.call("answer", hwnd, button)

    def expect_message(self, caption, text=None, button=1, timeout_ms=10000):
        hwnd, got_caption, got_text = self.message_box(timeout_ms)
        self.answer(hwnd, button)
        assert got_caption == caption, f"caption {got_caption!r}, text {got_text!r}"
        if text is not None:
            assert got_text == text, f"text {got_text!r} (caption {got_caption!r})"
        return got_text

    def no_message_box(self, timeout_ms=1500):
        self.call("nomsgbox", timeout_ms, timeout=timeout_ms / 1000 + 10)

    def file_dialog(self, name, timeout_ms=15000):
        return self.call("filedialog", name, timeout_ms, timeout=timeout_ms / 1000 + 10)[0]

    def close(self):
        try:
            self.proc.stdin.write(b"quit\n")
            self.proc.stdin.flush()
            self.proc.wait(10)
        except (OSError, subprocess.TimeoutExpired):
            self.proc.kill()


