"""Highlight rules read from highlights.txt colour the grid as bytes
arrive: the cells of ALARM received on CH1 take the rule's colour once its
last byte is in (none before), the bytes around it keep theirs; a line that
does not read is told at start with its number while the good rules still
colour; the Highlight Rules dialog adds a rule that is in highlights.txt
after OK. A loaded log and an open recording are coloured as the live capture is. Screenshots in
both palettes are kept for people to look at."""
import time

import harness
from test_data_view import CH1, box, client, color_file, load, shot, write_log

SETTINGS = {"moji_type": 1, "rs_comport": 3}
MAGENTA = (255, 0, 255)
CMD_HIGHLIGHT = 189


def rules_file(q, lines):
    q.path("highlights.txt").write_bytes(b"\xff\xfe" + "".join(line + "\r\n" for line in lines).encode("utf-16-le"))


def restart_with(app, driver, lines, settings=SETTINGS):
    """Quorrin with the role colours and these rules (both read at start)."""
    q = app(settings)
    driver.call("close", "main")
    q.wait_exit(20)
    color_file(q)
    rules_file(q, lines)
    q.start()
    q.hwnd = driver.main_window()
    return q


def alarm_coloured(app, driver, display, com3, name):
    """ALARM arriving in two pieces: nothing coloured while only "AL" is in,
    then its cells (and only they) in the rule's colour."""
    harness.open_ports(driver)
    area = client(driver)
    com3.write(b"xxAL")
    first = shot(display, f"{name}_before", lambda p: box(p, area, CH1) is not None)
    assert box(first, area, CH1) is not None
    assert box(first, area, MAGENTA) is None, "coloured before ALARM was whole"
    com3.write(b"ARMyy")
    after = shot(display, f"{name}_after", lambda p: box(p, area, MAGENTA) is not None)
    mark, text = box(after, area, MAGENTA), box(after, area, CH1)
    assert mark is not None, "ALARM not coloured"
    # CH1's own text colour stays on the x's before and the y's after; the
    # coloured cells carry white text on the rule's colour.
    assert text[0] < mark[0] and text[0] + text[2] > mark[0] + mark[2], (text, mark)
    return after


def test_alarm_is_coloured_once_whole_and_nothing_before(app, driver, display, com3):
    restart_with(app, driver, ["; what matters", "FF00FF\tT\t*\t*\tALARM"])
    alarm_coloured(app, driver, display, com3, "highlight_light")


def test_a_loaded_log_is_coloured_too(app, driver, display):
    q = restart_with(app, driver, ["FF00FF\tT\t*\t*\tALARM"])
    write_log(q.path("alarm.log"), [(1, b"xxAL"), (1, b"ARMyy")])
    load(driver, "alarm.log")
    area = client(driver)
    after = shot(display, "highlight_log", lambda p: box(p, area, MAGENTA) is not None)
    mark, text = box(after, area, MAGENTA), box(after, area, CH1)
    assert mark is not None and text[0] < mark[0] and text[0] + text[2] > mark[0] + mark[2], (text, mark)


def test_an_open_recording_is_coloured_too(app, driver, display):
    from test_recording import write_recording
    q = restart_with(app, driver, ["FF00FF\tT\t*\t*\tALARM"])
    folder = q.path("recordings")
    folder.mkdir()
    write_recording(folder / "quorrin-20261210-100000.qrec", (2026, 12, 10, 10, 0, 0), 5_000_000,
                    [(1, 5_000_000, b"xxAL"), (1, 5_200_000, b"ARMyy")])
    driver.command(182)
    driver.file_dialog("quorrin-20261210-100000.qrec")
    area = client(driver)
    after = shot(display, "highlight_recording", lambda p: box(p, area, MAGENTA) is not None)
    mark, text = box(after, area, MAGENTA), box(after, area, CH1)
    assert mark is not None and text[0] < mark[0] and text[0] + text[2] > mark[0] + mark[2], (text, mark)


def test_dark_palette_colours_too(app, driver, display, com3):
    q = restart_with(app, driver, ["FF00FF\tT\t*\t*\tALARM"])
    harness.restart_in_theme(driver, q, 1)
    harness.open_ports(driver)
    com3.write(b"xxALARMyy")
    area = client(driver)
    after = shot(display, "highlight_dark", lambda p: box(p, area, MAGENTA) is not None)
    assert box(after, area, MAGENTA) is not None


def test_a_bad_line_is_told_with_its_number_and_the_good_rules_colour(app, driver, display, com3):
    q = app(SETTINGS)
    driver.call("close", "main")
    q.wait_exit(20)
    color_file(q)
    rules_file(q, ["; comment", "ZZ0000\tT\t*\t*\tX", "FF00FF\tT\t*\t*\tALARM"])
    q.start()
    driver.main_window()
    text = driver.expect_message("FileError", timeout_ms=30000)
    assert harness.message(["kTextAnswerLineProblem"], 1, 2, harness.texts()[741][1]) in text, text
    alarm_coloured(app, driver, display, com3, "highlight_bad_line")


GREEN = (0, 255, 0)
LIST, COLOUR, PATTERN, SAMPLE, SAMPLE_RESULT, ADD = 501, 502, 506, 507, 407, 251


def rows(driver, dlg):
    return [row.split("|") for row in driver.call("rows", dlg, LIST)]


def test_the_dialog_adds_a_rule_that_is_in_the_file_after_ok(app, driver, display, com3):
    q = restart_with(app, driver, ["FF00FF\tT\t*\t*\tALARM"])
    harness.open_ports(driver)
    com3.write(b"xxALARMyy")
    area = client(driver)
    shot(display, "highlight_dialog_before", lambda p: box(p, area, MAGENTA) is not None)
    driver.command(CMD_HIGHLIGHT)
    dlg, _ = driver.call("dialog", "Highlight Rules", 10000, timeout=20)
    # The rule as read, on, with its one match on the screen.
    first = rows(driver, dlg)
    assert len(first) == 1 and first[0][0] == "1" and first[0][1] == "FF00FF" and first[0][5] == "ALARM", first
    assert first[0][6] == "1", first
    driver.call("settext", dlg, COLOUR, "00FF00")
    driver.call("settext", dlg, PATTERN, "xx")
    driver.call("settext", dlg, SAMPLE, "say xx")
    assert harness.wait_for(lambda: driver.call("gettext", dlg, SAMPLE_RESULT)[0] == "It matches")
    driver.call("settext", dlg, SAMPLE, "say x x")
    assert harness.wait_for(lambda: driver.call("gettext", dlg, SAMPLE_RESULT)[0] == "No match")
    driver.call("press", dlg, ADD)
    assert harness.wait_for(lambda: len(rows(driver, dlg)) == 2)
    driver.call("click", dlg, 1)
    path = q.path("highlights.txt")
    want = "FF00FF\tT\t*\t*\tALARM\r\n00FF00\tT\t*\t*\txx\r\n"
    assert harness.wait_for(lambda: path.read_bytes() == b"\xff\xfe" + want.encode("utf-16-le"), 10), path.read_bytes()
    after = shot(display, "highlight_dialog_after", lambda p: box(p, area, GREEN) is not None)
    assert box(after, area, GREEN) is not None and box(after, area, MAGENTA) is not None


def crc16_modbus(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return bytes([crc & 0xFF, crc >> 8])


def test_a_bad_modbus_frame_rule_colours_the_bad_frame_only(app, driver, display):
    """An F rule over a loaded log: the answer whose CRC is wrong takes the
    rule's colour (once the decode beside the window has read it), the good
    answer before it keeps CH1's."""
    q = restart_with(app, driver, ["FF00FF\tF\t*\t*\t"])
    good = bytes([1, 3, 2, 0, 10])
    bad = bytes([1, 3, 2, 0, 11])
    write_log(q.path("frames.log"), [(1, good + crc16_modbus(good)), (1, bad + b"\x00\x00")])
    load(driver, "frames.log")
    area = client(driver)
    after = shot(display, "highlight_bad_frame", lambda p: box(p, area, MAGENTA) is not None)
    mark, text = box(after, area, MAGENTA), box(after, area, CH1)
    assert mark is not None, "the bad frame not coloured"
    assert text is not None and text[0] < mark[0], (text, mark)
