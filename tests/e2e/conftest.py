"""Fixtures of the end-to-end tests.

Session: one Xvfb display, the private Wine prefix, two pty pairs registered
as COM3 and COM4, and the driver. Per test: `app(settings)` starts Quorrin in
a fresh program directory; at the end of the test a screenshot is saved to
build/e2e/screenshots/<test>.png and Quorrin is closed (or killed).

Each pty's app end is also held open by the fixture, so the far end never
sees a hang-up when Quorrin closes the port between tests.
"""
import os
import re
import sys

import pytest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402


@pytest.fixture(scope="session")
def display():
    if not (harness.WIN_BUILD / "Quorrin.exe").exists():
        pytest.exit(f"{harness.WIN_BUILD / 'Quorrin.exe'} is missing: build first (scripts/build.sh)", 2)
    d = harness.Display()
    d.start()
    yield d
    d.stop()


@pytest.fixture(scope="session")
def wine(display):
    prefix = harness.WinePrefix(harness.PREFIX, display.name)
    prefix.ensure()
    harness.E2E.mkdir(parents=True, exist_ok=True)
    prefix.associate(".pdf", "QuorrinTest.Pdf", harness.pdf_stand_in())
    yield prefix
    prefix.stop_server()


@pytest.fixture(scope="session")
def ports(wine):
    work = harness.E2E / "pty"
    work.mkdir(parents=True, exist_ok=True)
    pairs = {"COM3": harness.PtyPair(work, "com3"), "COM4": harness.PtyPair(work, "com4")}
    holders = [os.open(p.app_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK) for p in pairs.values()]
    # COM5 is reached through socat's link, which stays while the pty behind
    # it changes: a test stops its socat (the port is gone) and starts another
    # under the same link (the port is back), with a holder of its own.
    pairs["COM5"] = harness.PtyPair(work, "com5")
    holders.append(os.open(pairs["COM5"].app_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK))
    wine.set_ports({**{name: p.app_path for name, p in pairs.items()}, "COM5": str(pairs["COM5"].link_app)})
    yield pairs
    wine.stop_server()  # before socat goes, or Wine floods stderr
    for fd in holders:
        os.close(fd)
    for p in pairs.values():
        p.close()


@pytest.fixture(scope="session")
def driver(wine, ports):
    d = harness.Driver(wine)
    yield d
    d.close()


@pytest.fixture
def com3(ports):
    ports["COM3"].drain(0.05)
    return ports["COM3"]


@pytest.fixture
def com4(ports):
    ports["COM4"].drain(0.05)
    return ports["COM4"]


@pytest.fixture
def app(request, display, wine, ports, driver):
    """app(settings=None, messages=True, env=None, args=()) -> started
    Quorrin with its main window; env adds variables for that run alone (its
    locale), args words to its command line."""
    runs = []
    name = re.sub(r"[^A-Za-z0-9_.-]", "_", request.node.name)

    def start(settings=None, messages=True, env=None, args=()):
        q = harness.Quorrin(wine, harness.E2E / "run" / name, settings=settings, messages=messages, env=env,
                            args=args)
        q.start()
        # A start under a locale the prefix has not run in yet makes Wine
        # update its regional settings first, which on a busy machine has
        # taken more than the usual 30 s.
        q.hwnd = driver.main_window(60000 if env else 30000)
        runs.append(q)
        return q

    yield start
    display.screenshot(harness.E2E / "screenshots" / f"{name}.png")
    for q in runs:
        if q.proc.poll() is None:
            try:
                # Dismiss whatever a failed test left open, then close.
                for _ in range(5):
                    hwnd, _, _ = driver.message_box(300)
                    driver.answer(hwnd, 1)
            except harness.DriverError:
                pass
            try:
                driver.call("close", "main")
                q.wait_exit(20)
            except Exception:
                q.kill()
    driver.call("closeclass", "Notepad")
