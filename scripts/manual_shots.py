#!/usr/bin/env python3
"""Takes the manual's pictures from the real Quorrin.exe under Wine, through
the end-to-end harness (its prefix, Xvfb display, driver and pty ports):
docs/manual/img/<lang>/<NAME>.png for every row of SHOTS, each cropped to
the window it shows and made small with pngquant. With --readme it writes
the README's pictures into docs/img instead.

COM3 is the demo instrument (scripts/demo_device.py on the far end of the
pty), so the main window shows a real capture: its status lines, and the
identity query Quorrin sends with its answer.

    scripts/manual_shots.py [--lang en|ja] [--only NAME,...] [--readme]

One row per picture: (name, settings added to the run's quorrin.ini, with
"theme" for a restart in that theme, "closed" to leave the ports closed,
"capture" for a capture from the demo instrument first, "args" for
Quorrin's command line,
the opener that brings the window up and returns its handle). Add a row to
add a picture.
"""
import argparse
import os
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import harness  # noqa: E402

LANGUAGES = {"ja": 0, "en": 1}  # moji_type of quorrin.ini
OUT = ROOT / "docs" / "manual" / "img"
README_OUT = ROOT / "docs" / "img"


def new_window(driver, before, timeout=20):
    """The handle of the largest top-level window of Quorrin's that was not
    up before (tooltips aside), once it is there."""
    def found():
        best, best_area = None, 0
        for w in driver.call("windows"):
            hwnd, cls, _ = w.split("|", 2)
            if hwnd in before or cls.lower() == "tooltips_class32":
                continue
            try:
                left, top, right, bottom = map(int, driver.call("rect", hwnd))
            except harness.DriverError:
                continue
            area = (right - left) * (bottom - top)
            if area > best_area:
                best, best_area = hwnd, area
        return best
    hwnd = harness.wait_for(found, timeout)
    if not hwnd:
        raise RuntimeError("the window did not come up")
    return hwnd


def handles(driver):
    return {w.split("|")[0] for w in driver.call("windows")}


def by_command(cmd):
    def open_(ctx):
        before = handles(ctx.driver)
        ctx.driver.command(cmd)
        return new_window(ctx.driver, before)
    return open_


def with_presets(cmd):
    """Opens a preset window over a strings file "mdata.txt" of a few rows
    (UTF-16LE with its mark, CR LF), as one prepares it for a device."""
    def open_(ctx):
        rows = ['"*IDN?"0D', '"MEAS?"0D', "010300000002C40B", '":010300000002FA"0D0A']
        data = "".join(row + "\r\n" for row in rows).encode("utf-16-le")
        ctx.q.path("mdata.txt").write_bytes(b"\xff\xfe" + data)
        return by_command(cmd)(ctx)
    return open_


def main_window(ctx):
    return ctx.driver.main_window()


def send_format(ctx):
    window = by_command(150)(ctx)
    before = handles(ctx.driver)
    ctx.driver.call("click", window, 265)
    return new_window(ctx.driver, before)


def tooltip_at(ctx, points, what):
    """Moves the mouse over the main window's client points (x, y) in turn,
    again and again, until a tooltip with text shows; returns its handle."""
    def shown():
        for x, y in points:
            ctx.driver.call("mouse", "main", x, y)
            for w in ctx.driver.call("windows"):
                hwnd, cls, text = w.split("|", 2)
                if cls.lower() == "tooltips_class32" and text:
                    return hwnd
        return None
    hwnd = harness.wait_for(shown, 20)
    if not hwnd:
        raise RuntimeError(f"no tooltip over {what}")
    ctx.with_main = True
    return hwnd


def cell_tooltip(ctx):
    """The tooltip over the first received cell of CH1: the mouse walks
    down the grid's first cell column until a tooltip shows."""
    left, top, right, bottom = map(int, ctx.driver.call("client", "main"))
    return tooltip_at(ctx, [(90, y) for y in range(40, min(400, bottom - top), 12)], "the cells")


def outage_marker(ctx):
    """An outage of CH1's COM5 (reached through socat's link, as in the
    end-to-end tests): "Hi!", the port gone and back, "Ho!", then the
    tooltip over the marker of the lost and back events."""
    from test_reconnect import marker_columns  # noqa: E402 (the e2e tests' reading of the markers)
    old = ctx.ports["COM5"]
    old.write(b"Hi!")
    time.sleep(1.5)
    old.close()
    time.sleep(2.5)  # lost: the status bar counts the seconds
    pair = harness.PtyPair(harness.E2E / "pty", "shot5")
    ctx.ports["COM5"] = pair
    ctx.holders.append(os.open(pair.app_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK))
    time.sleep(2.5)  # back within the next attempt
    pair.write(b"Ho!")
    left, top, right, bottom = map(int, ctx.driver.call("client", "main"))
    area = (left, top, right - left, bottom - top)
    path = harness.shot_until(ctx.display, "manual-markers", lambda p: len(marker_columns(p, area)) >= 4)
    columns = marker_columns(path, area)
    if len(columns) < 4:
        raise RuntimeError(f"no outage marker in the data view: {columns}")
    return tooltip_at(ctx, [(columns[2] + 1, 60)], "the outage's marker")


NET_PORT = 47017  # the loopback port ser2net serves the network capture's instrument on


def network_capture(ctx):
    """CH1 on rfc2217://127.0.0.1:NET_PORT: ser2net (as the manual's example
    sets it up) serves a pty whose far end is a second demo instrument; the
    ports open, its status lines arrive and "*IDN?" is answered."""
    pair = harness.PtyPair(harness.E2E / "pty", "shotnet")
    ctx.cleanup.append(pair.close)
    demo = subprocess.Popen([sys.executable, str(ROOT / "scripts" / "demo_device.py"), str(pair.link_peer),
                             "--interval", "2"])
    ctx.cleanup.append(demo.terminate)
    server = subprocess.Popen(["ser2net", "-n", "-u", "-Y", "connection: &shot",
                               "-Y", f"  accepter: telnet(rfc2217),tcp,127.0.0.1,{NET_PORT}",
                               "-Y", f"  connector: serialdev,{pair.app_path},9600n81,local"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    ctx.cleanup.append(server.terminate)
    time.sleep(1.0)  # ser2net listens
    capture(ctx)
    time.sleep(4.5)  # two status lines more
    return ctx.driver.main_window()


def with_answers(cmd):
    """Opens a window over an answers file "answers.txt" of a few rules
    (UTF-16LE with its mark, CR LF), as one prepares it to stand in for a device."""
    def open_(ctx):
        rules = ['CH1\t"PING"\t0\t"PONG"', 'CH1\t"*IDN?"0D\t20\t"ACME,PSU-3,0042,1.2"0D0A',
                 'off\tCH2\t010300000002C40B\t5\t010304000A00145A3F']
        data = "".join(rule + "\r\n" for rule in rules).encode("utf-16-le")
        ctx.q.path("answers.txt").write_bytes(b"\xff\xfe" + data)
        return by_command(cmd)(ctx)
    return open_


def find_window(ctx):
    """The Find window over the demo capture: every status line's "OK"
    listed, the first marked in the view."""
    d = ctx.driver
    window = by_command(183)(ctx)
    d.call("settext", window, 502, '"OK"0D0A')
    def listed():
        d.call("press", window, 253)  # Find All, again as the status lines come
        time.sleep(1.0)
        return len(d.call("rows", window, 509)) >= 3
    if not harness.wait_for(listed, 30):
        raise RuntimeError("Find All listed nothing")
    d.call("press", window, 251)  # Find Next
    time.sleep(0.5)  # the view marks it; the screenshot below settles on it
    return window


def go_to_time(ctx):
    """Go to Time over the demo capture once a status line or two came."""
    time.sleep(5)  # a status line comes every 4 s: a range of some seconds to show
    return by_command(186)(ctx)


def with_highlights(ctx):
    """Highlight rules for the demo instrument's lines (highlights.txt is
    read at start, so Quorrin starts again over it), a capture they colour,
    then the Highlight Rules dialog over the main window."""
    rules = ["FFFF00\tT\t*\t*\tOK", "FF80FF\tT\t1\tRX\tSTATUS", "80C0FF\tT\t1\tTX\t*IDN?",
             ";off\t00C000\tt\t*\t*\tdemo", "FF8080\tQ\t*\t*\t1500"]
    d = ctx.driver
    d.call("close", "main")
    ctx.q.wait_exit(20)
    ctx.q.path("highlights.txt").write_bytes(b"\xff\xfe" + "".join(r + "\r\n" for r in rules).encode("utf-16-le"))
    ctx.q.start()
    d.main_window(60000)
    d.call("move", "main", 0, 0, 1000, 640)
    capture(ctx)
    time.sleep(4.5)  # two status lines more
    hwnd = by_command(189)(ctx)
    # Down and to the right, so the coloured cells show beside it.
    left, top, right, bottom = map(int, d.call("rect", hwnd))
    d.call("move", hwnd, 430, 250, right - left, bottom - top)
    ctx.with_main = True
    return hwnd


def repeat_dialog(ctx):
    """The Repeat dialog of the preset window, repeating row 2 on CH1 every
    500 ms until stopped (the counts running)."""
    window = with_presets(151)(ctx)
    before = handles(ctx.driver)
    ctx.driver.call("click", window, 720)
    dlg = new_window(ctx.driver, before)
    ctx.driver.call("settext", dlg, 501, "2")
    ctx.driver.call("settext", dlg, 502, "500")
    ctx.driver.call("settext", dlg, 503, "0")
    ctx.driver.call("press", dlg, 251)
    time.sleep(2.2)  # a few sends counted
    return dlg


def plot_window(ctx):
    """The Plot window over the demo instrument's status lines: a few of
    them come (one every 4 s), the T and count series drawn in lanes."""
    hwnd = by_command(188)(ctx)
    ctx.driver.call("move", hwnd, 20, 20, 900, 520)
    time.sleep(14)
    return hwnd


# A Modbus RTU request the demo instrument answers: slave 1 reads two
# holding registers from address 0.
MODBUS_REQUEST = bytes.fromhex("010300000002C40B")


# name, extra settings, opener
SHOTS = [
    ("main-light", {"capture": True}, main_window),
    ("main-dark", {"theme": 1, "capture": True}, main_window),
    ("cell-tooltip", {"capture": True}, cell_tooltip),
    ("input-send", {}, by_command(150)),
    ("send-format", {}, send_format),
    ("preset-send", {}, with_presets(151)),
    ("preset-editor", {}, with_presets(155)),
    ("modbus-builder", {}, by_command(153)),
    ("checksum-calc", {}, by_command(172)),
    ("ascii-table", {}, by_command(173)),
    ("macro-dialog", {}, by_command(152)),
    ("send-file", {}, by_command(190)),
    ("repeat", {}, repeat_dialog),
    # The dialog is refused while a port is open; CH2 shows a network address.
    ("port-number", {"closed": True, "args": ["/port2", "rfc2217://10.0.0.5:4001"]}, by_command(160)),
    ("dcb", {}, by_command(163)),
    ("line-status", {}, by_command(165)),
    ("environment", {}, by_command(167)),
    ("theme", {}, by_command(168)),
    ("language", {}, by_command(169)),
    ("colors", {}, by_command(174)),
    ("about", {}, by_command(170)),
    ("link-stats", {"capture": True}, by_command(177)),
    ("modbus-monitor", {"capture": True, "request": MODBUS_REQUEST}, by_command(178)),
    ("auto-answer", {}, with_answers(180)),
    ("find", {"capture": True}, find_window),
    ("go-to-time", {"capture": True}, go_to_time),
    ("highlight", {"closed": True}, with_highlights),
    ("plot", {"capture": True}, plot_window),
    ("event-marker", {"theme": 1, "rs_comport": 5, "args": ["/reconnect"]}, outage_marker),
    ("network-capture", {"closed": True, "args": ["/port1", f"rfc2217://127.0.0.1:{NET_PORT}"]}, network_capture),
]
NAMES = [row[0] for row in SHOTS]
README_SHOTS = {"main-light": "main-light", "main-dark": "main-dark", "modbus-builder": "modbus-builder"}


class Context:
    def __init__(self, display, wine, ports, driver):
        self.display, self.wine, self.ports, self.driver = display, wine, ports, driver
        self.with_main = False
        self.holders = []  # fds that keep the ptys' far ends open
        self.cleanup = []  # what a shot started and the end of the run stops


def crop(ctx, hwnd, out):
    """Takes screenshots until two in a row are alike, crops the window (and
    for a tooltip, the part of the main window under it) and shrinks it."""
    harness.screenshot(ctx.display, "manual-full")
    full = harness.SCREENSHOTS / "manual-full.png"
    left, top, right, bottom = map(int, ctx.driver.call("rect", hwnd))
    if ctx.with_main:
        mleft, mtop, _, _ = map(int, ctx.driver.call("client", "main"))
        left, top = min(left, mleft), min(top, mtop)
        right, bottom = right + 20, bottom + 20
    left, top = max(left, 0), max(top, 0)
    out.parent.mkdir(parents=True, exist_ok=True)
    subprocess.run(["convert", str(full), "-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage",
                    str(out)], check=True)
    subprocess.run(["pngquant", "--force", "--skip-if-larger", "--quality", "60-90", "--output", str(out), str(out)],
                   check=False)
    print(f"manual_shots: {out.relative_to(ROOT)} ({out.stat().st_size // 1024} KB)")


def capture(ctx, request=b"*IDN?\r"):
    """A real capture on CH1: the ports open, the demo instrument's status
    lines arrive, and Quorrin sends it `request` (by default "*IDN?" CR)
    from the input window, which it answers; then the window goes."""
    d = ctx.driver
    harness.open_ports(d)
    window = by_command(150)(ctx)
    d.call("click", window, 312)  # hex entry; it says so in a notice
    box, _, _ = d.message_box(10000)
    d.answer(box, 1)
    d.call("keys", window, 501, request.hex().upper())
    d.call("press", window, 252)
    d.call("close", window)
    assert harness.wait_for(lambda: window not in handles(d), 10), "the input window stays up"


def take(ctx, row, lang, out_dir):
    name, extra, opener = row
    settings = {"moji_type": LANGUAGES[lang], "rs_comport": 3, "rs_comport2": 4}
    settings.update({k: v for k, v in extra.items() if k not in ("theme", "closed", "capture", "request", "args")})
    q = harness.Quorrin(ctx.wine, harness.E2E / "run" / f"manual-{lang}-{name}", settings=settings,
                        args=extra.get("args", ()))
    q.start()
    ctx.q = q
    d = ctx.driver
    d.main_window(60000)
    if extra.get("theme"):
        harness.restart_in_theme(d, q, extra["theme"])
    d.call("move", "main", 0, 0, 1000, 640)
    ctx.with_main = False
    try:
        if extra.get("capture"):
            capture(ctx, extra.get("request", b"*IDN?\r"))
        elif not extra.get("closed"):
            harness.open_ports(d)
            time.sleep(2.5)  # the demo device's answer and a status line: the screenshot below settles on them
        hwnd = opener(ctx)
        crop(ctx, hwnd, out_dir / f"{name}.png")
    finally:
        try:
            for _ in range(3):
                box, _, _ = d.message_box(300)
                d.answer(box, 1)
        except harness.DriverError:
            pass
        d.call("close", "main")
        try:
            q.wait_exit(20)
        except Exception:
            q.kill()


def main(argv=None):
    ap = argparse.ArgumentParser(description="Takes the manual's pictures from the real program.")
    ap.add_argument("--lang", choices=sorted(LANGUAGES), action="append")
    ap.add_argument("--only", help="comma-separated shot names")
    ap.add_argument("--readme", action="store_true", help="write the README's pictures to docs/img")
    args = ap.parse_args(argv)
    only = args.only.split(",") if args.only else None
    if only:
        unknown = [n for n in only if n not in NAMES]
        if unknown:
            print(f"manual_shots: no shot named {', '.join(unknown)}", file=sys.stderr)
            return 1
    display = harness.Display()
    display.start()
    wine = harness.WinePrefix(harness.PREFIX, display.name)
    wine.ensure()
    work = harness.E2E / "pty"
    work.mkdir(parents=True, exist_ok=True)
    ports = {"COM3": harness.PtyPair(work, "shot3"), "COM4": harness.PtyPair(work, "shot4"),
             "COM5": harness.PtyPair(work, "shot5")}
    wine.set_ports({**{n: p.app_path for n, p in ports.items()}, "COM5": str(ports["COM5"].link_app)})
    demo = subprocess.Popen([sys.executable, str(ROOT / "scripts" / "demo_device.py"), str(ports["COM3"].link_peer),
                             "--interval", "4"])
    driver = harness.Driver(wine)
    ctx = Context(display, wine, ports, driver)
    ctx.holders.append(os.open(ports["COM5"].app_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK))
    try:
        if args.readme:
            for row in SHOTS:
                if row[0] in README_SHOTS:
                    take(ctx, row, "en", README_OUT)
        else:
            for lang in args.lang or ["en", "ja"]:
                for row in SHOTS:
                    if only is None or row[0] in only:
                        take(ctx, row, lang, OUT / lang)
    finally:
        driver.close()
        for stop in reversed(ctx.cleanup):
            stop()
        demo.terminate()
        for fd in ctx.holders:
            os.close(fd)
        wine.stop_server()
        for p in ports.values():
            p.close()
        display.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
