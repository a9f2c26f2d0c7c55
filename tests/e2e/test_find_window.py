"""The Find window and Go to Time: hex patterns with ?? walked with F3 and
Shift+F3 through an open recording of three files, each find checked by
exporting what the view then shows; the find marked in the end marker's
colours (light and dark); Find All's list and its CSV; Go to
Time by time of day and by seconds in a loaded log, checked by where
Find Next goes on from; silences and a bad CRC from the pymodbus slave in
the live capture; and Cancel (Esc) during a long search while the window
keeps answering."""
import csv
import io
import os
import re
import struct
import zlib

import pytest

import harness
from test_modbus_monitor import open_monitor, read_three_then_write
from test_modbus import Slave
from test_recording import LINES, make_recording, shown_lines, write_recording

ENGLISH = {"moji_type": 1, "rs_comport": 0, "rs_comport2": 0}
CMD_FIND, CMD_NEXT, CMD_PREVIOUS, CMD_GO_TO_TIME = 183, 184, 185, 186
NEXT, PREVIOUS, ALL, EXPORT, CLOSE = 251, 252, 253, 255, 256
STATUS, LOOK, PATTERN, FORM, CASE, CH1, CH2, RX, TX, LIST = 403, 501, 502, 503, 504, 505, 506, 507, 508, 509
GO_TIME, GO_RANGE, GO_SAID = 501, 402, 403
CB_SETCURSEL, VK_F3, VK_ESCAPE, WM_COMMAND, CBN_SELCHANGE = 0x014E, 0x72, 0x1B, 0x0111, 1
LOOK_BYTES, LOOK_SILENCE, LOOK_BAD, LOOK_EVENT = range(4)
FORM_NOTATION, FORM_HEX, FORM_TEXT = range(3)
MARK = (0, 0, 255)  # the end marker's background, in either palette
MARKED = 2500  # pixels: a few marked cells, more than the end marker and the event bars cover
COLUMNS = ["time", "day", "channel", "direction", "found", "hex", "text"]


def text(n, *fields):
    return harness.texts()[n][1] % fields if fields else harness.texts()[n][1]


def open_find(driver):
    driver.command(CMD_FIND)
    hwnd, _ = driver.call("dialog", text(527), 10000, timeout=20)
    return hwnd


def query(driver, dlg, pattern, look=LOOK_BYTES, form=FORM_NOTATION):
    driver.call("send", driver.call("child", dlg, LOOK)[0], CB_SETCURSEL, look, 0)
    driver.call("send", driver.call("child", dlg, FORM)[0], CB_SETCURSEL, form, 0)
    driver.call("settext", dlg, PATTERN, pattern)


def status(driver, dlg):
    return driver.call("gettext", dlg, STATUS)[0]


def wait_status(driver, dlg, want, timeout=20):
    assert harness.wait_for(lambda: status(driver, dlg) == want, timeout), (status(driver, dlg), want)


def rows(driver, dlg):
    out = []
    for row in driver.call("rows", dlg, LIST):
        _, *cells = row.split("|")
        out.append(dict(zip(COLUMNS, cells)))
    return out


def marked(display, driver, name):
    """How many pixels of the main window's client area show the mark's colour."""
    shot = harness.client_shot(display, driver, "main", name)
    return shot.count(0, 0, shot.w, shot.h, lambda rgb: rgb == MARK)


def open_recording(app, driver):
    """Quorrin in English with the three files of test_recording's recording open."""
    q = app(ENGLISH)
    driver.call("move", "main", 0, 0, 1000, 700)
    names = make_recording(q.path("recordings"))
    driver.command(182)
    driver.file_dialog(" ".join(f'"{n}"' for n in names))
    assert shown_lines(driver, q, "first.csv")[0] == 0
    return q, names


def test_find_walks_a_recording_and_go_to_time_in_a_log(app, driver, display):
    q, names = open_recording(app, driver)
    dlg = open_find(driver)
    driver.call("move", dlg, 0, 720, 700, 500)
    # L000000, L010000, L020000, L030000: one in each part of the recording.
    query(driver, dlg, "4C 30 ?? 30 30 30 30", form=FORM_HEX)
    driver.call("press", dlg, NEXT)
    wait_status(driver, dlg, text(544, 1, 4))
    assert marked(display, driver, "find_recording_first") > MARKED
    for k, line in ((2, 10000), (3, 20000), (4, 30000)):
        driver.call("key", "main", VK_F3)
        wait_status(driver, dlg, text(544, k, 4))
        first, last = shown_lines(driver, q, f"find_{k}.csv")
        assert first <= line <= last, (k, first, last)
    harness.screenshot(display, "find_recording_marked", settle=0.5)
    driver.call("key", "main", VK_F3)
    wait_status(driver, dlg, text(547))
    driver.command(CMD_PREVIOUS)
    wait_status(driver, dlg, text(544, 3, 4))
    first, last = shown_lines(driver, q, "find_back.csv")
    assert first <= 20000 <= last
    # Find All: the four, with their times of day and first bytes.
    driver.call("press", dlg, ALL)
    assert harness.wait_for(lambda: len(rows(driver, dlg)) == 4, 10)
    listed = rows(driver, dlg)
    assert [r["day"] for r in listed] == ["10:00:%02d.000000" % s for s in (0, 15, 30, 45)], listed
    assert [r["hex"] for r in listed][1] == "4C 30 31 30 30 30 30 0D" and listed[1]["text"] == "L010000."
    assert {(r["channel"], r["direction"]) for r in listed} == {("CH1", "RX")}
    driver.call("click", dlg, EXPORT)
    driver.file_dialog("finds.csv")
    data = harness.written_file(driver, q.path("finds.csv")).decode("ascii")
    exported = list(csv.reader(io.StringIO(data, newline="")))
    assert exported[0] == ["time_s", "time_of_day", "channel", "direction", "found", "hex", "text"]
    assert [row[0] for row in exported[1:]] == ["0.000000", "15.000000", "30.000000", "45.000000"]
    # A row chosen moves the view there.
    driver.call("key", driver.call("child", dlg, LIST)[0], 0x23)  # End: the last row
    wait_status(driver, dlg, text(544, 4, 4))
    first, last = shown_lines(driver, q, "find_row.csv")
    assert first <= 30000 <= last

    # Go to Time in the recording: 10:00:50 is line 33334.
    go_to_time(driver, "10:00:50")
    first, last = shown_lines(driver, q, "goto_recording.csv")
    assert first <= 33334 <= last

    # A log of lines 6667 to 8000: Go to Time by time of day and by seconds
    # since its start lands on line 7334 (11.001 s after the recording's
    # start), and Find Next goes on from there.
    code, err = q.command_line("/export", "recordings", "part.log", "/from", "10", "/to", "12.000")
    assert (code, err) == (0, []), err
    harness.load_log(driver, "part.log")
    query(driver, dlg, '"L"')
    for typed in ("10:00:11", "1"):
        go_to_time(driver, typed)
        driver.command(CMD_NEXT)
        wait_status(driver, dlg, text(544, 7334 - 6667 + 1, 8000 - 6667 + 1))
    # Nothing after the end: said in the dialog, with the log's range.
    hwnd = go_to_time(driver, "30", gone=False)
    assert driver.call("gettext", hwnd, GO_SAID)[0] == text(721, "30", "10:00:10.000", "10:00:12.000")
    driver.call("click", hwnd, 2)
    assert harness.wait_for(lambda: not harness.dialog_shown(driver, text(555)), 10)
    driver.call("press", dlg, CLOSE)
    assert harness.wait_for(lambda: not harness.dialog_shown(driver, text(527)), 10)


def open_go_to_time(driver):
    driver.command(CMD_GO_TO_TIME)
    return driver.call("dialog", text(555), 10000, timeout=20)[0]


def go_to_time(driver, typed, gone=True):
    """Types a time into Go to Time and presses OK. Gone: the dialog closes.
    Otherwise it stays up with a word under its field, and no box comes."""
    hwnd = open_go_to_time(driver)
    driver.call("settext", hwnd, GO_TIME, typed)
    driver.call("click", hwnd, 1)
    if gone:
        assert harness.wait_for(lambda: not harness.dialog_shown(driver, text(555)), 10)
    else:
        assert harness.wait_for(lambda: driver.call("gettext", hwnd, GO_SAID)[0] != "", 10)
        assert harness.dialog_shown(driver, text(555)) and harness.no_message_box(driver)
    return hwnd



def choose_look(driver, dlg, look):
    """Chooses a kind of find as the user does: the list's choice, and the
    notice the window hears then."""
    combo = driver.call("child", dlg, LOOK)[0]
    driver.call("send", combo, CB_SETCURSEL, look, 0)
    driver.call("send", dlg, WM_COMMAND, (CBN_SELCHANGE << 16) | LOOK, combo)


def test_find_leaves_its_mark_clear_and_go_to_time_says_its_range(app, driver, display):
    q, names = open_recording(app, driver)
    # Go to Time: the recording's range, the field at the time on show; a
    # time outside said in the dialog, with the range.
    hwnd = open_go_to_time(driver)
    assert driver.call("gettext", hwnd, GO_RANGE) == [text(720, "10:00:00.000", "10:00:59.998")]
    assert driver.call("gettext", hwnd, GO_TIME) == ["10:00:00.000"]
    harness.screenshot(display, "go_to_time_light", settle=0.5)
    driver.call("click", hwnd, 2)
    assert harness.wait_for(lambda: not harness.dialog_shown(driver, text(555)), 10)
    hwnd = go_to_time(driver, "09:00", gone=False)
    assert driver.call("gettext", hwnd, GO_SAID) == [text(721, "09:00", "10:00:00.000", "10:00:59.998")]
    harness.screenshot(display, "go_to_time_outside_light", settle=0.5)
    assert shown_lines(driver, q, "goto_outside.csv")[0] == 0  # the view stays
    driver.call("settext", hwnd, GO_TIME, "9h")
    driver.call("click", hwnd, 1)
    assert harness.wait_for(lambda: driver.call("gettext", hwnd, GO_SAID) == [text(503, "9h")], 10)
    driver.call("settext", hwnd, GO_TIME, "10:00:50")
    driver.call("click", hwnd, 1)
    assert harness.wait_for(lambda: not harness.dialog_shown(driver, text(555)), 10)
    first, last = shown_lines(driver, q, "goto_50.csv")
    assert first <= 33334 <= last
    hwnd = open_go_to_time(driver)
    now = driver.call("gettext", hwnd, GO_TIME)[0]
    assert now.startswith("10:00:49.9") or now.startswith("10:00:50.00"), now
    driver.call("click", hwnd, 2)
    assert harness.wait_for(lambda: not harness.dialog_shown(driver, text(555)), 10)

    # The Find window laid over the whole view moves off each find it marks.
    dlg = open_find(driver)
    assert driver.call("gettext", dlg, CLOSE) == [text(74)]
    driver.call("move", dlg, 0, 0, 1000, 600)
    query(driver, dlg, "4C 30 ?? 30 30 30 30", form=FORM_HEX)
    driver.call("press", dlg, NEXT)
    wait_status(driver, dlg, text(544, 1, 4))
    assert harness.wait_for(lambda: marked(display, driver, "find_clear_first") > MARKED, 10)
    driver.call("key", "main", VK_F3)
    wait_status(driver, dlg, text(544, 2, 4))
    assert harness.wait_for(lambda: marked(display, driver, "find_clear_second") > MARKED, 10)
    # And off the chunk Go to Time marks.
    driver.call("move", dlg, 0, 0, 1000, 600)
    go_to_time(driver, "10:00:50")
    assert harness.wait_for(lambda: marked(display, driver, "find_clear_go_to_time") > MARKED, 10)
    # A byte find's Found cell: the pattern looked for.
    driver.call("press", dlg, ALL)
    assert harness.wait_for(lambda: len(rows(driver, dlg)) == 4, 10)
    assert {r["found"] for r in rows(driver, dlg)} == {"4C 30 ?? 30 30 30 30"}
    harness.screenshot(display, "find_window_light", settle=0.5)
    # Another kind of find: the field holds that kind's own text (none for
    # a bad frame), and the pattern comes back with bytes.
    choose_look(driver, dlg, LOOK_SILENCE)
    assert driver.call("gettext", dlg, PATTERN) == [""]
    driver.call("settext", dlg, PATTERN, "50")
    choose_look(driver, dlg, LOOK_BAD)
    assert driver.call("gettext", dlg, PATTERN) == [""] and driver.call("enabled", dlg, PATTERN) == ["0"]
    choose_look(driver, dlg, LOOK_BYTES)
    assert driver.call("gettext", dlg, PATTERN) == ["4C 30 ?? 30 30 30 30"]
    choose_look(driver, dlg, LOOK_SILENCE)
    assert driver.call("gettext", dlg, PATTERN) == ["50"]
    choose_look(driver, dlg, LOOK_BYTES)

    # Both windows in the dark palette.
    harness.restart_in_theme(driver, q)
    driver.call("move", "main", 0, 0, 1000, 700)
    driver.command(182)
    driver.file_dialog(" ".join(f'"{n}"' for n in names))
    dlg = open_find(driver)
    driver.call("move", dlg, 0, 0, 1000, 600)
    query(driver, dlg, "4C 30 ?? 30 30 30 30", form=FORM_HEX)
    driver.call("press", dlg, ALL)
    assert harness.wait_for(lambda: len(rows(driver, dlg)) == 4, 10)
    driver.call("press", dlg, NEXT)
    assert harness.wait_for(lambda: marked(display, driver, "find_clear_dark") > MARKED, 10)
    harness.screenshot(display, "find_window_dark", settle=0.5)
    hwnd = go_to_time(driver, "11:00", gone=False)
    harness.screenshot(display, "go_to_time_outside_dark", settle=0.5)
    driver.call("click", hwnd, 2)



def test_the_list_headings_fit_in_every_language_and_scale(app, driver, display):
    """Each heading of the list fits its column, with the header's margins,
    in the four languages at 100 and 150 %."""
    desktop = r"Control Panel\Desktop"
    try:
        for dpi in (96, 144):
            driver.call("userdword", desktop, "LogPixels", str(dpi))
            for language in range(4):
                q = app({"moji_type": language, "rs_comport": 0, "rs_comport2": 0})
                driver.command(CMD_FIND)
                dlg, _ = driver.call("dialog", harness.texts()[527][language], 10000, timeout=20)
                columns = [tuple(map(int, c.split("|"))) for c in driver.call("columns", dlg, LIST)]
                margins = 12 * dpi // 96  # the header's text margins, both sides
                assert len(columns) == 7 and all(width >= text + margins for width, text in columns), \
                    (dpi, language, columns)
                if language in (0, 2):
                    harness.screenshot(display, f"find_headings_{dpi}_{language}", settle=0.5)
                driver.call("close", "main")
                q.wait_exit(20)
    finally:
        driver.call("userdword", desktop, "LogPixels", "96")


@pytest.fixture
def slave(com3):
    s = Slave(os.path.realpath(com3.link_peer), "rtu", harness.E2E / "find_slave.log", spoil=2)
    yield s
    s.stop()


def find_all(driver, dlg, look, pattern=""):
    query(driver, dlg, pattern, look=look)
    driver.call("press", dlg, ALL)
    done = re.compile("|".join([re.escape(text(558, 0)).replace("0", r"\d+"),
                                re.escape(text(560, 0, "T")).replace("0", r"\d+").replace("T", ".+"),
                                re.escape(text(546))]))
    assert harness.wait_for(lambda: done.fullmatch(status(driver, dlg)), 20), status(driver, dlg)
    return rows(driver, dlg)


def test_bad_frames_silences_and_events_in_both_palettes(app, driver, display, slave):
    q = app({"moji_type": 1, "rs_comport": 3, "rs_comport2": 4})
    harness.open_ports(driver)
    # Three exchanges with the pymodbus slave; its second answer leaves
    # with a spoiled CRC.
    monitor = open_monitor(driver)
    read_three_then_write(driver, slave, monitor)
    driver.call("move", "main", 0, 0, 1000, 700)
    driver.call("move", monitor, 1010, 0, 900, 500)
    dlg = open_find(driver)
    driver.call("move", dlg, 0, 720, 760, 500)
    # The two read requests, marked, in the light palette.
    query(driver, dlg, "01 03 00 00 00 03", form=FORM_HEX)
    driver.call("press", dlg, NEXT)
    wait_status(driver, dlg, text(544, 1, 2))
    assert harness.wait_for(lambda: marked(display, driver, "find_live_light") > MARKED, 10)
    driver.call("key", "main", VK_F3)
    wait_status(driver, dlg, text(544, 2, 2))
    harness.screenshot(display, "find_light", settle=0.5)
    # The spoiled answer alone: its request was answered, badly.
    found = find_all(driver, dlg, LOOK_BAD)
    assert [(r["direction"], r["found"]) for r in found] == [("RX", "BAD CRC")], found
    # Find Next goes on from the find marked (the second read request, whose
    # answer was spoiled): the spoiled answer; nothing lies before it.
    driver.call("press", dlg, NEXT)
    wait_status(driver, dlg, text(544, 1, 1))
    driver.call("press", dlg, PREVIOUS)
    wait_status(driver, dlg, text(547))
    # Every exchange waited for the monitor before the next: the requests
    # after the first follow a silence of more than 50 ms on the line.
    silences = find_all(driver, dlg, LOOK_SILENCE, "50")
    assert len(silences) >= 2 and all(r["channel"] == "CH1" for r in silences), silences
    assert all(r["found"].startswith("silence ") and float(r["found"].split()[1]) > 50 for r in silences)
    assert "TX" in {r["direction"] for r in silences}
    query(driver, dlg, "0", look=LOOK_SILENCE)
    driver.call("press", dlg, NEXT)
    wait_status(driver, dlg, text(550))
    harness.close_ports(driver)
    harness.save_log(driver, q, "exchanges")

    # In the dark palette: a loaded log, the bad CRC marked.
    harness.restart_in_theme(driver, q)
    driver.call("move", "main", 0, 0, 1000, 700)
    harness.load_log(driver, "exchanges.log")
    dlg = open_find(driver)
    driver.call("move", dlg, 0, 720, 760, 500)
    query(driver, dlg, "", look=LOOK_BAD)
    driver.call("key", "main", VK_F3)
    wait_status(driver, dlg, text(544, 1, 1))
    assert harness.wait_for(lambda: marked(display, driver, "find_dark_bad_crc") > MARKED, 10)
    harness.screenshot(display, "find_dark", settle=0.5)
    # Its line events: the ports opened and closed, in place order.
    events = find_all(driver, dlg, LOOK_EVENT)
    kinds = [r["found"] for r in events]
    assert kinds[:2] == ["opened", "opened"] and kinds[-2:] == ["closed", "closed"], kinds
    assert {r["channel"] for r in events} == {"CH1", "CH2"}


def big_recording(path, megabytes):
    """A recording of 4,000-byte chunks of 0x55 on CH1, 1 ms apart."""
    chunk = b"\x55" * 4000
    write_recording(path, (2026, 12, 9, 9, 0, 0), 1_000_000,
                    [(1, 1_000_000 + k * 1000, chunk) for k in range(megabytes * 250)])


def test_a_long_search_shows_progress_answers_and_cancels(app, driver, display):
    q = app(ENGLISH)
    folder = q.path("big")
    folder.mkdir()
    big_recording(folder / "quorrin-20261209-090000.qrec", 150)
    driver.command(182)
    driver.file_dialog(q.windows_path("big/quorrin-20261209-090000.qrec"))
    driver.command(176)  # the view's export: the recording's first window
    driver.file_dialog("view.csv")
    assert b",CH1,RX," in harness.written_file(driver, q.path("view.csv"))
    dlg = open_find(driver)
    # Bad Modbus frames: the decoder reads the recording a window at a time,
    # far slower than a byte search.
    query(driver, dlg, "", look=LOOK_BAD)
    driver.call("press", dlg, NEXT)
    searching = text(543, 0).split("0")[0]
    assert harness.wait_for(lambda: status(driver, dlg).startswith(searching) and status(driver, dlg) != text(543, 0),
                            20), status(driver, dlg)
    assert driver.call("gettext", dlg, CLOSE) == [text(41)]  # the one button: Cancel while searching
    harness.assert_answering(driver, [dlg, "main"], 0.5)
    driver.call("key", "main", VK_ESCAPE)
    cancelled = re.compile(re.escape(text(548, 0)).replace("0", r"\d+"))
    assert harness.wait_for(lambda: cancelled.fullmatch(status(driver, dlg)), 20), status(driver, dlg)
    assert driver.call("gettext", dlg, CLOSE) == [text(74)]
    # Bytes are searched whole: nothing, then a pattern found everywhere.
    query(driver, dlg, "AA BB", form=FORM_HEX)
    driver.call("press", dlg, ALL)
    wait_status(driver, dlg, text(546), 120)
    query(driver, dlg, "55 55 55", form=FORM_HEX)
    driver.call("press", dlg, NEXT)
    wait_status(driver, dlg, text(545, 1, 100000), 120)
