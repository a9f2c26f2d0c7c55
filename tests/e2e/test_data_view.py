"""The capture painted in the main window, read back from screenshots.

A color file gives every role its own color, so a role's pixels can be
found on the screen: where CH1 and CH2 text, gap digits and the end marker
are drawn, and that the gap digits change while the line is quiet."""
import subprocess
import time

import harness

CH1 = (0, 0, 200)
CH2 = (200, 0, 0)
GAP = (150, 0, 150)
EOF_BACK = (0, 120, 0)
ROLES = {18: CH1, 19: CH2, 16: GAP, 12: EOF_BACK}
WM_COMMAND = 0x0111


def color_file(q):
    lines = ["[Setting]"]
    for slot, rgb in ROLES.items():
        lines += [f"rbgLs[{slot}].{c}={v}" for c, v in zip("rgb", rgb)]
    q.path("color.ini").write_text("\r\n".join(lines) + "\r\n", encoding="ascii")


def start(app, driver, settings=None):
    """Quorrin with the role colors (the color file is read at start)."""
    q = app(settings)
    driver.call("close", "main")
    q.wait_exit(20)
    color_file(q)
    q.start()
    driver.main_window()
    return q


def shot(display, name, ready):
    """Screenshots until ready(path) holds: timer 1 paints what arrived on
    its next tick, and the paint reaches the screen a little later."""
    return harness.shot_until(display, name, ready)


def differ(a, b):
    out = subprocess.run(["compare", "-metric", "AE", str(a), str(b), "null:"], capture_output=True,
                         text=True).stderr
    return int(float(out.split()[0])) > 0


def changed_since(display, earlier, name):
    """A screenshot (of another name) that differs from `earlier`."""
    return shot(display, name, lambda p: differ(earlier, p))


def client(driver):
    left, top, right, bottom = map(int, driver.call("client", "main"))
    return left, top, right - left, bottom - top


def box(path, area, rgb):
    """Bounding box (x, y, w, h) of the pixels of color rgb inside area, or None."""
    x, y, w, h = area
    out = subprocess.run(["convert", str(path), "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-fill", "black",
                          "+opaque", "rgb(%d,%d,%d)" % rgb, "-format", "%@", "info:"],
                         capture_output=True, text=True).stdout
    size, _, rest = out.partition("+")
    bw, bh = map(int, size.split("x"))
    if bw == 0 or bh == 0:
        return None
    bx, by = map(int, rest.split("+"))
    return bx, by, bw, bh


def write_log(path, chunks):
    """A log file of (kind, bytes) chunks, each followed by its gap markers."""
    recs = b""
    for kind, data in chunks:
        for i, b in enumerate(data):
            recs += bytes([kind, 0, b, 0, i & 0xFF, 0, 0, 0])
        recs += bytes([128, 0, 0x74, 0x3D, 0, 0, 0, 0]) + bytes([129, 0, 0x30, 0x30, 0, 0, 0, 0])
        recs += bytes([130, 0, 0x30, 0x35, 0, 0, 0, 0])
    path.write_bytes(("%015d\r" % (len(recs) // 8)).encode("utf-16-le") + recs)


def load(driver, name):
    """Loads a log made by write_log. It has no times file beside it, so the
    load ends with the one notice that says so: once that is answered the
    capture holds the log."""
    driver.command(142)
    driver.file_dialog(name)
    text = driver.expect_message("ReadFile")
    notices = [harness.message(["kTextTimesMissing", "kTextTimesUnknownLoaded"], language) for language in range(4)]
    assert text.rsplit("\n", 1)[0] in notices, text


def test_live_capture_shows_cells_gap_digits_and_end_marker(app, driver, display, com3):
    start(app, driver)
    harness.open_ports(driver)
    com3.write(b"A\r\n")
    time.sleep(0.3)  # a short quiet between two bursts
    com3.write(bytes(range(0x20, 0x60)))
    area = client(driver)
    first = shot(display, "live_capture", lambda p: all(box(p, area, c) for c in (CH1, GAP, EOF_BACK)))
    ch1, gap, eof = box(first, area, CH1), box(first, area, GAP), box(first, area, EOF_BACK)
    assert ch1 and gap and eof, (ch1, gap, eof)
    assert ch1[1] < gap[1] + gap[3], "data above the gap markers"
    assert box(first, area, CH2) is None
    # Quiet line: the growing gap digits change on screen.
    second = changed_since(display, first, "live_capture_later")
    assert differ(first, second), "the gap digits grew"


def test_sent_bytes_show_in_the_lower_strip(app, driver, display):
    q = start(app, driver)
    write_log(q.path("mixed.log"), [(1, b"RX"), (4, b"TX")])
    load(driver, "mixed.log")
    area = client(driver)
    image = shot(display, "sent_lower_strip", lambda p: box(p, area, CH1) and box(p, area, CH2))
    ch1, ch2 = box(image, area, CH1), box(image, area, CH2)
    assert ch1 and ch2
    assert ch2[1] > ch1[1] + ch1[3] - 1, "sent bytes below the received ones"


def test_line_monitor_puts_ch2_below_and_hides_sent_bytes(app, driver, display):
    q = start(app, driver, {"lm_mode": 1})
    write_log(q.path("monitor.log"), [(1, b"AB"), (3, b"CD")])
    write_log(q.path("sent.log"), [(1, b"AB"), (2, b"ZZZZZZZZ")])
    load(driver, "monitor.log")
    area = client(driver)
    image = shot(display, "line_monitor", lambda p: box(p, area, CH1) and box(p, area, CH2))
    ch1, ch2 = box(image, area, CH1), box(image, area, CH2)
    assert ch1 and ch2 and ch2[1] > ch1[1] + ch1[3] - 1
    load(driver, "sent.log")
    # Loaded once CH2's bytes are gone from the screen.
    image = shot(display, "line_monitor_sent_hidden", lambda p: box(p, area, CH1) and not box(p, area, CH2))
    assert box(image, area, CH2) is None
    ch1 = box(image, area, CH1)
    # Only the two received bytes are drawn: the sent ones take no cell.
    assert ch1 and ch1[3] < 40


def test_scroll_keys_and_commands_move_the_page(app, driver, display):
    q = start(app, driver)
    write_log(q.path("long.log"), [(1, bytes([0x30 + i % 10] * 60)) for i in range(60)])
    load(driver, "long.log")
    area = client(driver)
    end_page = shot(display, "scroll_end", lambda p: box(p, area, CH1))
    # Each move paints a page of its own: a screenshot that differs from the
    # one before shows it.
    driver.call("key", "main", 0x22)  # Page Down: toward the start
    older = changed_since(display, end_page, "scroll_older")
    driver.command(149)  # jump to the start
    start_page = changed_since(display, older, "scroll_start")
    driver.call("key", "main", 0x21)  # Page Up: toward the end
    newer = changed_since(display, start_page, "scroll_newer")
    driver.command(148)  # jump to the end
    last = shot(display, "scroll_last", lambda p: box(p, area, EOF_BACK))

    assert differ(end_page, older) and differ(older, start_page) and differ(start_page, newer)
    assert box(last, area, EOF_BACK), "the end page ends with EOF"


def test_tiny_window_survives_and_paints_again(app, driver, display, com3):
    q = start(app, driver)
    harness.open_ports(driver)
    for n, (w, h) in enumerate(((40, 30), (3, 3), (120, 60), (1, 400), (400, 1)), 1):
        driver.call("move", "main", 0, 0, w, h)
        com3.write(b"tiny")
        harness.save_log_when(driver, q, f"tiny{n}", lambda records: len(harness.received(records, 1)) >= 4 * n)
        # The repaint command paints the window before it returns: it is sent.
        driver.call("send", "main", WM_COMMAND, harness.CMD_REPAINT, 0)
        assert driver.call("alive")[0] == "1"
    driver.call("move", "main", 0, 0, 900, 700)
    com3.write(b"again")
    area = client(driver)
    image = shot(display, "tiny_then_back", lambda p: box(p, area, CH1))
    assert box(image, area, CH1), "cells are painted again"
