"""The preset strings send window: "mdata.txt" read at each opening, ten
rows a page over 200 entries, CH1/CH2 sends of a row's exact bytes, reload,
loading another file, and what a bad file shows. The preset strings editor:
assembling typed input with the send format into the list, selecting,
moving and deleting rows, and saving and reading the list as a strings
file."""
import os

import harness
from harness import PRESET_CH1 as CH1
from harness import PRESET_CLOSE as CLOSE
from harness import Shot, dialog_closed, ink, press, screenshot, texts
from harness import open_preset_window as open_window

TOOLBAR_PRESET_SEND = 1112
CH2, BACK, NEXT, RELOAD, OTHER, NARROW, ROW1 = 261, 272, 273, 274, 275, 286, 401
ENGLISH = {"moji_type": 1, "rs_comport": 3, "rs_comport2": 4}
DIALOG_BACK = (240, 240, 240)  # light slot 6


def strings_file(path, lines, bom=True):
    data = "".join(line + "\r\n" for line in lines).encode("utf-16-le")
    path.write_bytes((b"\xff\xfe" if bom else b"") + data)


def labels(driver, window):
    return [driver.call("gettext", window, ROW1 + r)[0] for r in range(10)]


def rows_ink(display, driver, window, rows, name, ready):
    """Dark pixels in the cells of each of `rows` (right of the row's send
    buttons), read from screenshots until ready(counts) holds."""
    places = []
    for r in rows:
        left, top, right, bottom = map(int, driver.call("rect", driver.call("child", window, CH1 + r)[0]))
        _, _, _, below = map(int, driver.call("rect", driver.call("child", window, CH2 + r)[0]))
        places.append((right + 8, top, 400, below - top))
    path = harness.SCREENSHOTS / f"{name}.png"

    def read():
        display.screenshot(path)
        return [Shot(path, *place).count(0, 0, place[2], place[3], ink) for place in places]

    return harness.screen_until(read, ready)


def painted(display, driver, window):
    """True once the window's own paint is on the screen: the window's
    corner shows the dialog color and its first send button has its text."""
    left, top, right, bottom = map(int, driver.call("client", window))
    b_left, b_top, b_right, b_bottom = map(int, driver.call("rect", driver.call("child", window, CH1)[0]))
    path = display.screenshot(harness.SCREENSHOTS / "presets_painted.png")
    corner = Shot(path, right - 4, bottom - 4, 2, 2).at(0, 0)
    button = Shot(path, b_left, b_top, b_right - b_left, b_bottom - b_top)
    return corner == DIALOG_BACK and button.count(2, 2, button.w - 4, button.h - 4, ink) > 0


def test_rows_show_and_send_exactly_their_bytes(app, driver, display, com3, com4):
    q = app(dict(ENGLISH))
    strings_file(q.path("mdata.txt"), ["0241420D", '"Hi"0D0A', ""])
    harness.open_ports(driver)
    window = open_window(driver)
    driver.no_message_box(300)
    assert labels(driver, window) == ["%02d" % n for n in range(1, 11)]
    counts = rows_ink(display, driver, window, (0, 1, 2), "presets_rows", lambda c: c[0] > 20 and c[1] > 20)
    assert counts[0] > 20 and counts[1] > 20 and counts[2] == 0, counts

    press(driver, window, CH1 + 2)  # the empty row 03 sends nothing
    press(driver, window, CH1 + 1)
    assert com3.read(4, timeout=5) == b"Hi\r\n"
    assert com3.drain(0.3) == b""
    press(driver, window, CH2 + 0)
    assert com4.read(4, timeout=5) == b"\x02AB\r"
    assert com4.drain(0.3) == b"" and com3.drain(0.1) == b""


def test_missing_file_shows_message_34_and_an_empty_list(app, driver, display, com3):
    app(dict(ENGLISH))
    harness.open_ports(driver)
    window = open_window(driver, ("CreateFile", texts()[34][1]), command=TOOLBAR_PRESET_SEND)
    assert harness.wait_for(lambda: painted(display, driver, window), 10), "the window was not painted"
    assert rows_ink(display, driver, window, (0,), "presets_missing", lambda c: True) == [0]
    press(driver, window, CH1)
    assert com3.drain(0.5) == b""


def test_two_hundred_of_250_lines_and_paging_stops_at_190(app, driver, com3):
    q = app(dict(ENGLISH))
    strings_file(q.path("mdata.txt"), ["%04X" % (0x1000 + i) for i in range(250)])
    harness.open_ports(driver)
    window = open_window(driver)
    for _ in range(18):
        press(driver, window, NEXT)
    assert labels(driver, window)[0] == "181"
    press(driver, window, NEXT)
    assert labels(driver, window) == [str(n) for n in range(191, 201)]
    press(driver, window, NEXT)
    assert labels(driver, window)[0] == "191"
    press(driver, window, CH1 + 9)  # entry 200 is line 200
    assert com3.read(2, timeout=5) == bytes([0x10, 0xC7])
    press(driver, window, BACK)
    assert labels(driver, window)[0] == "181"
    press(driver, window, CH1)
    assert com3.read(2, timeout=5) == bytes([0x10, 0xB4])


def test_reload_other_file_and_bad_files(app, driver, display, com3):
    q = app(dict(ENGLISH))
    strings_file(q.path("mdata.txt"), ["'one'"])
    harness.open_ports(driver)
    window = open_window(driver)
    press(driver, window, CH1)
    assert com3.read(3, timeout=5) == b"one"

    # "再Load" reads the changed file again.
    strings_file(q.path("mdata.txt"), ["'two'"])
    press(driver, window, RELOAD)
    press(driver, window, CH1)
    assert com3.read(3, timeout=5) == b"two"

    # A file without the byte order mark is refused and the list stays.
    strings_file(q.path("ansi.txt"), ["'bad'"], bom=False)
    driver.call("click", window, OTHER)
    driver.file_dialog("ansi.txt")
    driver.expect_message("FileError", texts()[23][1])
    press(driver, window, CH1)
    assert com3.read(3, timeout=5) == b"two"

    # An over-long line is reported; the lines behind it keep their numbers.
    strings_file(q.path("other.txt"), ["'first'", "41" * 300, "'third'"])
    driver.call("click", window, OTHER)
    driver.file_dialog("other.txt")
    text = driver.expect_message("FileError")
    assert "line 2" in text, text
    press(driver, window, CH1 + 1)
    press(driver, window, CH1 + 2)
    assert com3.read(5, timeout=5) == b"third"
    assert com3.drain(0.3) == b""

    # Narrow and back; the setting is kept.
    left, top, right, bottom = map(int, driver.call("rect", window))
    press(driver, window, NARROW)
    l2, t2, r2, b2 = map(int, driver.call("rect", window))
    assert (r2 - l2, b2 - t2) == (155, bottom - top)
    screenshot(display, "presets_narrow")
    press(driver, window, NARROW)
    l3, t3, r3, b3 = map(int, driver.call("rect", window))
    assert (r3 - l3, b3 - t3) == (right - left, bottom - top)
    press(driver, window, NARROW)
    press(driver, window, CLOSE)
    driver.call("close", "main")
    q.wait_exit(20)
    assert ("dlg5_short", "1") in harness.read_settings(q.path("quorrin.ini"))


CMD_EDITOR, TOOLBAR_EDITOR = 155, 1124
E_CLOSE, ASSEMBLE, CLR, E_ROW1, E_BACK, E_NEXT = 251, 252, 256, 258, 268, 269
DOWN, UP, DELETE, READ, DELETE_ALL, SAVE = 293, 294, 295, 296, 297, 298
IDYES = 6
START_END = {"moji_type": 1, "rs_stchar_on": 1, "rs_stchar": "02", "rs_spchar_on": 1, "rs_spchar": "03",
             "rs_scchar_on": 0, "rs_endchar_on": 0, "rs_hdchar_on": 0}


def open_editor(driver, command=CMD_EDITOR):
    driver.command(command)
    hwnd, _ = driver.call("dialog", texts()[183][1], 10000, timeout=20)
    return hwnd


def assemble(driver, dlg, text):
    press(driver, dlg, CLR)
    driver.call("keys", dlg, 502, text)
    press(driver, dlg, ASSEMBLE)


def label(driver, dlg, row):
    return driver.call("gettext", dlg, E_ROW1 + row - 1)[0]


def save(driver, q, dlg, name):
    """Saves the list as name.txt and returns its lines (after the byte order mark)."""
    driver.call("click", dlg, SAVE)
    driver.file_dialog(name)
    data = harness.written_file(driver, q.path(name + ".txt"))
    assert data[:2] == b"\xff\xfe"
    return data[2:].decode("utf-16-le").split("\r\n")[:-1]


def test_assemble_select_move_save_and_read_back(app, driver, display):
    q = app(dict(START_END))
    dlg = open_editor(driver, TOOLBAR_EDITOR)
    assemble(driver, dlg, "ABC")
    press(driver, dlg, ASSEMBLE)  # the same entry again changes nothing
    screenshot(display, "preset_editor")
    assert save(driver, q, dlg, "one") == ["0241424303"]

    assemble(driver, dlg, "XY")
    assert save(driver, q, dlg, "two") == ["02585903", "0241424303"]

    # A row number selects and deselects its entry.
    press(driver, dlg, E_ROW1 + 2)
    assert label(driver, dlg, 3) == "<03>"
    press(driver, dlg, E_ROW1 + 2)
    assert label(driver, dlg, 3) == "03"
    press(driver, dlg, E_ROW1)
    press(driver, dlg, UP)  # row 01 cannot move up
    assert label(driver, dlg, 1) == "<01>"
    press(driver, dlg, DOWN)
    assert label(driver, dlg, 1) == "01"
    assert save(driver, q, dlg, "moved") == ["0241424303", "02585903"]

    # Moving the last entry down leaves a gap: the file ends there.
    press(driver, dlg, E_ROW1 + 1)
    press(driver, dlg, DOWN)
    assert save(driver, q, dlg, "gap") == ["0241424303"]

    # Reading a saved file restores the list exactly.
    driver.call("click", dlg, READ)
    driver.file_dialog("two.txt")  # the save below is posted after the read: it sees the read list
    assert save(driver, q, dlg, "again") == ["02585903", "0241424303"]
    assert q.path("again.txt").read_bytes() == q.path("two.txt").read_bytes()

    # Paging, then deleting the selected entry and deleting all.
    press(driver, dlg, E_NEXT)
    assert label(driver, dlg, 1) == "11"
    press(driver, dlg, E_BACK)
    press(driver, dlg, E_ROW1)
    driver.call("click", dlg, DELETE)
    driver.expect_message(texts()[20][1], texts()[36][1], button=IDYES)
    assert save(driver, q, dlg, "deleted") == ["0241424303"]

    # The list stays while the program runs; the selection does not.
    press(driver, dlg, E_ROW1)
    press(driver, dlg, E_CLOSE)
    assert harness.wait_for(lambda: dialog_closed(driver, texts()[183][1]), 10)
    dlg = open_editor(driver)
    assert label(driver, dlg, 1) == "01"
    press(driver, dlg, DOWN)  # nothing selected: nothing moves
    assert save(driver, q, dlg, "reopened") == ["0241424303"]
    driver.call("click", dlg, DELETE_ALL)
    driver.expect_message(texts()[20][1], texts()[36][1], button=IDYES)
    assert save(driver, q, dlg, "empty") == []
    press(driver, dlg, E_CLOSE)
    assert harness.wait_for(lambda: dialog_closed(driver, texts()[183][1]), 10)


def read_list(driver, dlg, name):
    driver.call("click", dlg, READ)
    driver.file_dialog(name)
    driver.no_message_box(500)


def test_quoted_text_is_saved_as_it_was_read(app, driver):
    q = app(dict(START_END))
    strings_file(q.path("mixed.txt"),
                 ['"\u3042\u3044\u3046"', '02"\u65e5\u672c\u8a9e"03', "0241420D", "'\ud55c\uae00 ok'0D0A", '"Hi"0D0A'])
    dlg = open_editor(driver)
    read_list(driver, dlg, "mixed.txt")
    # Characters above FF stay quoted text; entries of bytes only are hex
    # pairs, as every save has written them.
    expected = ['"\u3042\u3044\u3046"', '02"\u65e5\u672c\u8a9e"03', "0241420D", '"\ud55c\uae00 ok"0D0A', "48690D0A"]
    assert save(driver, q, dlg, "mixed_saved") == expected
    # What was saved reads back and saves again byte for byte.
    driver.call("click", dlg, DELETE_ALL)
    driver.expect_message(texts()[20][1], texts()[36][1], button=IDYES)
    read_list(driver, dlg, "mixed_saved.txt")
    assert save(driver, q, dlg, "mixed_again") == expected
    assert q.path("mixed_again.txt").read_bytes() == q.path("mixed_saved.txt").read_bytes()

    # An entry whose line would be too long for the reader is refused before
    # the file is touched: 128 pairs of a character and a double quote read
    # from one single-quoted run need 640 units written.
    keep = q.path("keep.txt")
    strings_file(keep, ["41"])
    before = keep.read_bytes()
    strings_file(q.path("wide.txt"), ["41", "'" + '\u3042"' * 128 + "'"])
    read_list(driver, dlg, "wide.txt")
    driver.call("click", dlg, SAVE)
    driver.file_dialog("keep")
    text = driver.expect_message("FileError")
    first, where = text.split("\n")
    assert first == harness.message(["kTextEntryTooLongForLine"], 1, 2, 512) and where.endswith("keep.txt"), text
    driver.no_message_box(500)
    assert keep.read_bytes() == before


def test_a_failed_write_is_reported(app, driver):
    # A file on a full disk: its name leads to /dev/full, where every write
    # fails for want of space.
    q = app(dict(START_END))
    os.symlink("/dev/full", q.path("full.txt"))
    dlg = open_editor(driver)
    assemble(driver, dlg, "ABC")
    driver.call("click", dlg, SAVE)
    driver.file_dialog("full")
    text = driver.expect_message("WriteFile")
    assert text.startswith("The strings file could not be written completely") and text.endswith("full.txt"), text
    driver.no_message_box(500)


def test_assembled_frame_longer_than_an_entry_is_refused(app, driver):
    q = app(dict(START_END))
    dlg = open_editor(driver)
    driver.call("keys", dlg, 502, "x" * 256)
    driver.call("click", dlg, ASSEMBLE)
    text = driver.expect_message("Error")
    assert "258 bytes" in text, text
    assert save(driver, q, dlg, "refused") == []
    driver.call("press", dlg, 257)  # BS twice: 254 units, and the frame fills an entry exactly
    driver.call("press", dlg, 257)
    driver.call("press", dlg, ASSEMBLE)
    assert save(driver, q, dlg, "fits") == ["02" + "78" * 254 + "03"]
    # Its line of 512 hex digits reads back whole.
    driver.call("click", dlg, DELETE_ALL)
    driver.expect_message(texts()[20][1], texts()[36][1], button=IDYES)
    driver.call("click", dlg, READ)
    driver.file_dialog("fits.txt")
    driver.no_message_box(500)
    assert save(driver, q, dlg, "fits_again") == ["02" + "78" * 254 + "03"]
