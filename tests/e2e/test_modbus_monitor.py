"""The Modbus monitor window end to end: Quorrin's frame builder sends RTU
requests on CH1 to a real Modbus slave (Debian's pymodbus,
tests/e2e/modbus_slave.py) that spoils the CRC of its second answer; the
monitor decodes the capture, pairs the answers, exports the CSV, and moves
the data view to a chosen frame; "Quorrin.exe /modbus" writes the same CSV
from the saved log. A full capture of short frames (about twice as many as
the list once kept) is listed and written whole."""
import csv
import io
import os
import subprocess

import pytest

import harness
from harness import texts
from test_modbus import MODE_RTU, SEND_CH1, ASSEMBLE, choose_function, enabled, fill, open_builder, press
from test_modbus import DATA, Slave, write_registers_rtu

ENGLISH = {"moji_type": 1}
CMD_MONITOR = 178
LIST, STATUS, EXPORT, CLOSE = 461, 462, 251, 252
COLUMNS = ["time", "channel", "direction", "role", "mode", "slave", "function", "summary", "check", "latency"]
VK_END, VK_HOME = 0x23, 0x24
CSV_HEADER = "time_s,channel,direction,role,mode,slave,function,summary,check,latency_ms"
LVM_GETITEMCOUNT = 0x1004


def title():
    return texts()[354][1]


@pytest.fixture
def slave(com3):
    s = Slave(os.path.realpath(com3.link_peer), "rtu", harness.E2E / "modbus_monitor_slave.log", spoil=2)
    yield s
    s.stop()


def rows(driver, dlg):
    """The list's rows as dicts of the column names."""
    out = []
    for row in driver.call("rows", dlg, LIST):
        _, *cells = row.split("|")  # the check state, then the cells
        assert len(cells) == len(COLUMNS), row
        out.append(dict(zip(COLUMNS, cells)))
    return out


def open_monitor(driver):
    driver.command(CMD_MONITOR)
    hwnd, _ = driver.call("dialog", title(), 10000, timeout=20)
    return hwnd


def monitor_windows(driver):
    return [w for w in driver.call("windows") if w.split("|")[-1] == title()]


def read_three_then_write(driver, device, monitor):
    """Reads registers 0-2 twice, then writes registers 1 and 2; the slave's
    second answer leaves with a spoiled CRC. Each request goes once the
    monitor shows the answer before it: the capture has it then."""
    dlg = open_builder(driver)
    press(driver, dlg, MODE_RTU)
    choose_function(driver, dlg, "03 Read Holding Registers")
    assert harness.wait_for(lambda: not enabled(driver, dlg, DATA), 5)
    fill(driver, dlg, address="0", count="3")
    press(driver, dlg, ASSEMBLE)
    for k, note in ((1, ""), (2, " spoiled")):
        press(driver, dlg, SEND_CH1)
        assert device.line(10) == "answer 03" + note
        assert harness.wait_for(lambda: len(rows(driver, monitor)) == 2 * k, 10), rows(driver, monitor)
    write_registers_rtu(driver, dlg)
    press(driver, dlg, ASSEMBLE)
    press(driver, dlg, SEND_CH1)
    assert device.line(10) == "answer 10"
    assert harness.wait_for(lambda: len(rows(driver, monitor)) == 6, 10), rows(driver, monitor)
    press(driver, dlg, 256)  # close the builder
    assert harness.wait_for(lambda: not harness.dialog_shown(driver, "Modbus"), 10)
    # Under Wine the closed dialog can leave the monitor behind the main
    # window; opening it again brings it to the front.
    driver.command(CMD_MONITOR)


def modbus_command_line(q, wine, *args):
    """Quorrin.exe /modbus with args from the program directory; returns
    (exit code, the program's lines on standard error)."""
    r = subprocess.run(["wine", str(q.path("Quorrin.exe")), "/modbus", *args], cwd=q.dir, env=wine.env(),
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    lines = [line for line in r.stderr.decode("utf-8", "replace").splitlines()
             if line and not line.startswith(("fixme:", "err:", "warn:", "wine:"))]
    return r.returncode, lines


def test_monitor_decodes_pairs_exports_and_jumps(app, driver, display, wine, slave):
    q = app(dict(ENGLISH), args=["/record", "rec"])
    harness.open_ports(driver)
    dlg = open_monitor(driver)
    assert harness.wait_for(lambda: driver.call("gettext", dlg, STATUS)[0] == texts()[366][1], 10)
    read_three_then_write(driver, slave, dlg)
    shown = rows(driver, dlg)
    request, answer = texts()[368][1], texts()[369][1]
    assert [r["role"] for r in shown] == [request, answer] * 3
    assert [r["direction"] for r in shown] == ["TX", "RX"] * 3
    assert {(r["channel"], r["mode"], r["slave"]) for r in shown} == {("CH1", "RTU", "1")}
    assert [r["function"] for r in shown] == ["03 Read Holding Registers"] * 4 + ["10 Write Multiple Registers"] * 2
    assert [r["check"] for r in shown] == ["OK", "OK", "OK", "BAD CRC", "OK", "OK"]
    assert shown[0]["summary"] == shown[2]["summary"] == "addr=0x0000 count=3"
    assert shown[1]["summary"] == "bytes=6 values=0x1000,0x1001,0x1002"
    assert shown[4]["summary"] == "addr=0x0001 count=2 bytes=4 values=0x000A,0x0102"
    assert shown[5]["summary"] == "addr=0x0001 count=2"
    # Answers with a good check show how long the slave took; requests and
    # the spoiled answer, paired with nothing, show none. The slave answers
    # the moment it reads the request, and a pty has no line time: the
    # answer comes back while the request's characters would still be on a
    # real line, so it stands after the request at the request's time (0).
    for k in (1, 5):
        assert 0 <= float(shown[k]["latency"]) < 1000, shown[k]
    assert [shown[k]["latency"] for k in (0, 2, 3, 4)] == ["", "", "", ""]
    times = [float(r["time"]) for r in shown]
    assert times == sorted(times) and times[0] == 0.0
    assert driver.call("gettext", dlg, STATUS)[0] == "6 frames, 1 bad"

    # Export...: the save dialog, then the CSV.
    driver.call("click", dlg, EXPORT)
    driver.file_dialog("frames.csv")
    data = harness.written_file(driver, q.path("frames.csv")).decode("ascii")
    assert data.startswith(CSV_HEADER + "\r\n") and data.endswith("\r\n"), data
    exported = list(csv.reader(io.StringIO(data, newline="")))
    assert len(exported) == 7, exported
    assert exported[4][1:] == ["CH1", "RX", "answer", "RTU", "1", "03", "bytes=6 values=0x1000,0x1001,0x1002",
                               "BAD CRC", ""]
    assert exported[2][-1] == shown[1]["latency"]
    assert [row[8] for row in exported[1:]] == [r["check"] for r in shown]
    assert [row[2:4] for row in exported[1:]] == [["TX", "request"], ["RX", "answer"]] * 3

    # The saved log with its times gives the same rows on the command line.
    harness.close_ports(driver)
    harness.save_log(driver, q, "polled")
    code, err = modbus_command_line(q, wine, "polled.log", "again.csv")
    assert (code, err) == (0, []), err
    assert q.path("again.csv").read_bytes() == q.path("frames.csv").read_bytes()
    # And so does the recording made meanwhile, read while it is written.
    assert harness.wait_for(lambda: modbus_command_line(q, wine, "rec", "recorded.csv")[0] == 0 and
                            q.path("recorded.csv").read_bytes() == q.path("frames.csv").read_bytes(), 20)

    # A row chosen moves the data view to its frame: in a main window too
    # small for the whole capture the first frame's page is another one
    # than the last frame's. The monitor stands clear of the main window.
    left, top, _, _ = map(int, driver.call("rect", "main"))
    driver.call("move", "main", left, top, 360, 230)
    driver.call("move", dlg, left, top + 300, *monitor_size(driver, dlg))
    list_hwnd = driver.call("child", dlg, LIST)[0]
    view = lambda name: harness.client_shot(display, driver, "main", name)  # noqa: E731
    driver.call("key", list_hwnd, VK_END)
    last_page = harness.screen_until(lambda: view("modbus_monitor_view_last"), lambda s: s.w <= 360)
    driver.call("key", list_hwnd, VK_HOME)
    first_page = harness.screen_until(lambda: view("modbus_monitor_view_first"), lambda s: s.data != last_page.data)
    assert first_page.data != last_page.data, "choosing the first frame did not move the data view"
    driver.call("key", list_hwnd, VK_END)
    again = harness.screen_until(lambda: view("modbus_monitor_view_last_again"), lambda s: s.data == last_page.data)
    assert again.data == last_page.data, "choosing the last frame again did not bring its page back"

    # One window at a time: opening again brings back the one open.
    driver.command(CMD_MONITOR)
    assert harness.holds_for(lambda: len(monitor_windows(driver)) == 1, 1.0)
    driver.call("press", dlg, CLOSE)
    assert harness.wait_for(lambda: not monitor_windows(driver), 10)


def full_log_of_short_frames(path):
    """A log of a full capture: 1,270 chunks of 100 bytes sent on CH1, each
    25 frames "Report Server ID" of 4 bytes (01 11 C0 2C), then its three
    gap markers; no times file. Returns the number of frames."""
    frame = bytes([0x01, 0x11, 0xC0, 0x2C])
    recs = bytearray()
    chunks = 0
    while (len(recs) // 8) + 103 <= 130816:
        for i, b in enumerate(frame * 25):
            recs += bytes([2, 0, b, 0, i, 0, 0, 0])
        recs += bytes([128, 0, 0x74, 0x3D, 0, 0, 0, 0, 129, 0, 0x30, 0x30, 0, 0, 0, 0,
                       130, 0, 0x30, 0x31, 0, 0, 0, 0])
        chunks += 1
    path.write_bytes(("%015d\r" % (len(recs) // 8)).encode("utf-16-le") + bytes(recs))
    return 25 * chunks


def test_every_frame_of_a_full_capture_is_listed_and_written(app, driver, wine):
    q = app(dict(ENGLISH))
    frames = full_log_of_short_frames(q.path("short.log"))
    assert frames > 16384

    code, err = modbus_command_line(q, wine, "short.log", "line.csv")
    assert code == 0 and err == ["short.log: No times file lies beside this log."], err
    data = q.path("line.csv").read_bytes()
    lines = data.split(b"\r\n")
    assert lines[0].decode() == CSV_HEADER and lines[-1] == b""
    assert len(lines) - 2 == frames
    assert set(lines[1:-1]) == {b",CH1,TX,request,RTU,1,11,length=4,OK,"}

    # The window lists them all, reading the capture on its worker, and
    # its Export... writes the same bytes.
    harness.load_log(driver, "short.log")
    driver.expect_message("ReadFile", timeout_ms=30000)
    dlg = open_monitor(driver)
    status = f"{frames} frames, 0 bad"
    assert harness.wait_for(lambda: driver.call("gettext", dlg, STATUS)[0] == status, 30), \
        driver.call("gettext", dlg, STATUS)
    list_hwnd = driver.call("child", dlg, LIST)[0]
    assert int(driver.call("send", list_hwnd, LVM_GETITEMCOUNT, 0, 0)[0]) == frames
    driver.call("click", dlg, EXPORT)
    driver.file_dialog("window.csv")
    assert harness.wait_for(lambda: q.path("window.csv").exists() and
                            q.path("window.csv").stat().st_size == len(data), 30)
    assert harness.written_file(driver, q.path("window.csv")) == data
    driver.call("press", dlg, CLOSE)
    assert harness.wait_for(lambda: not monitor_windows(driver), 10)

    # The window runs on a thread of its own: asked for twice it is still
    # one, and the main window's end closes it and the program ends.
    open_monitor(driver)
    driver.command(CMD_MONITOR)
    assert harness.holds_for(lambda: len(monitor_windows(driver)) == 1, 1.0)
    driver.call("close", "main")
    assert q.wait_exit(20) == 0


def monitor_size(driver, dlg):
    left, top, right, bottom = map(int, driver.call("rect", dlg))
    return right - left, bottom - top


def test_command_line_failures_say_why_in_one_line(app, driver, wine):
    q = app(dict(ENGLISH))
    usage = texts()[367][1]
    for args in ([], ["only.log"], ["a.log", "b.csv", "c"]):
        code, err = modbus_command_line(q, wine, *args)
        assert (code, err) == (1, [usage]), (args, err)
    code, err = modbus_command_line(q, wine, "missing.log", "x.csv")
    assert code == 1 and err == ["missing.log: The file could not be opened or created."], err
    q.path("notalog.log").write_bytes(b"hello, this is not a log file at all")
    code, err = modbus_command_line(q, wine, "notalog.log", "x.csv")
    assert code == 1 and len(err) == 1 and err[0].startswith("notalog.log: This is not a log file"), err
    assert not q.path("x.csv").exists()


@pytest.mark.parametrize("theme", [0, 1])
def test_bad_frames_stand_out_in_both_palettes(app, driver, display, slave, theme):
    q = app(dict(ENGLISH))
    if theme:
        harness.restart_in_theme(driver, q, theme)
    harness.open_ports(driver)
    dlg = open_monitor(driver)
    read_three_then_write(driver, slave, dlg)
    driver.call("move", dlg, 20, 40, *monitor_size(driver, dlg))
    name = "modbus_monitor_dark" if theme else "modbus_monitor_light"
    list_hwnd = driver.call("child", dlg, LIST)[0]
    eof_text, eof_back = marker_colors()
    shot = harness.screen_until(lambda: harness.client_shot(display, driver, list_hwnd, name),
                                lambda s: marked_rows(s, eof_back) == 1)
    assert marked_rows(shot, eof_back) == 1, "the spoiled answer does not stand out"
    assert ink_of(shot, eof_text), "the spoiled answer's text is not in the marker colour"


def marker_colors():
    """Text and background of the view's end marker (palette slots 11 and
    12), the colours a bad frame's row takes: the same defaults in both."""
    return (255, 255, 255), (0, 0, 255)


def marked_bands(shot, back):
    """(top, height) of the runs of lines of the list drawn mostly on
    `back` across its first columns (text breaks any single column)."""
    bands, top = [], None
    for y in range(shot.h):
        on = sum(shot.at(x, y) == back for x in range(0, 200, 4)) > 25
        if on and top is None:
            top = y
        if not on and top is not None:
            bands.append((top, y - top))
            top = None
    return [b for b in bands if b[1] >= 8]


def marked_rows(shot, back):
    return len(marked_bands(shot, back))


def ink_of(shot, text):
    (top, height), = marked_bands(shot, marker_colors()[1])
    return shot.count(0, top, shot.w, height, lambda rgb: rgb == text) > 0
