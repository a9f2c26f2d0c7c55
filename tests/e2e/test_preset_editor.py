"""The preset strings editor: assembling typed input with the send format
into the list, selecting, moving and deleting rows, and saving and reading
the list as a strings file."""
import time

import harness
from test_appearance import screenshot, texts

CMD_EDITOR = 155
CLOSE, ASSEMBLE, CLR, ROW1, BACK, NEXT = 251, 252, 256, 258, 268, 269
DOWN, UP, DELETE, READ, DELETE_ALL, SAVE = 293, 294, 295, 296, 297, 298
IDYES = 6
START_END = {"moji_type": 1, "rs_stchar_on": 1, "rs_stchar": "02", "rs_spchar_on": 1, "rs_spchar": "03",
             "rs_scchar_on": 0, "rs_endchar_on": 0, "rs_hdchar_on": 0}


def open_editor(driver):
    driver.command(CMD_EDITOR)
    hwnd, _ = driver.call("dialog", texts()[183][1], 10000, timeout=20)
    return hwnd


def press(driver, dlg, button):
    driver.call("press", dlg, button)


def assemble(driver, dlg, text):
    press(driver, dlg, CLR)
    driver.call("keys", dlg, 502, text)
    press(driver, dlg, ASSEMBLE)


def label(driver, dlg, row):
    return driver.call("gettext", dlg, ROW1 + row - 1)[0]


def save(driver, q, dlg, name):
    """Saves the list as name.txt and returns its lines (after the byte order mark)."""
    path = q.path(name + ".txt")
    driver.call("click", dlg, SAVE)
    driver.file_dialog(name)
    assert harness.wait_for(lambda: path.exists() and path.stat().st_size >= 2, 10), path
    size = harness.wait_for(lambda: _settled(path), 5)
    data = path.read_bytes()
    assert data[:2] == b"\xff\xfe" and size
    return data[2:].decode("utf-16-le").split("\r\n")[:-1]


def _settled(path):
    first = path.stat().st_size
    time.sleep(0.2)
    return path.stat().st_size == first


def test_assemble_select_move_save_and_read_back(app, driver, display):
    q = app(dict(START_END))
    dlg = open_editor(driver)
    assemble(driver, dlg, "ABC")
    press(driver, dlg, ASSEMBLE)  # the same entry again changes nothing
    screenshot(display, "preset_editor")
    assert save(driver, q, dlg, "one") == ["0241424303"]

    assemble(driver, dlg, "XY")
    assert save(driver, q, dlg, "two") == ["02585903", "0241424303"]

    # A row number selects and deselects its entry.
    press(driver, dlg, ROW1 + 2)
    assert label(driver, dlg, 3) == "<03>"
    press(driver, dlg, ROW1 + 2)
    assert label(driver, dlg, 3) == "03"
    press(driver, dlg, ROW1)
    press(driver, dlg, UP)  # row 01 cannot move up
    assert label(driver, dlg, 1) == "<01>"
    press(driver, dlg, DOWN)
    assert label(driver, dlg, 1) == "01"
    assert save(driver, q, dlg, "moved") == ["0241424303", "02585903"]

    # Moving the last entry down leaves a gap: the file ends there.
    press(driver, dlg, ROW1 + 1)
    press(driver, dlg, DOWN)
    assert save(driver, q, dlg, "gap") == ["0241424303"]

    # Reading a saved file restores the list exactly.
    driver.call("click", dlg, READ)
    driver.file_dialog("two.txt")
    harness.wait_for(lambda: label(driver, dlg, 1) == "01", 5)
    assert save(driver, q, dlg, "again") == ["02585903", "0241424303"]
    assert q.path("again.txt").read_bytes() == q.path("two.txt").read_bytes()

    # Paging, then deleting the selected entry and deleting all.
    press(driver, dlg, NEXT)
    assert label(driver, dlg, 1) == "11"
    press(driver, dlg, BACK)
    press(driver, dlg, ROW1)
    driver.call("click", dlg, DELETE)
    driver.expect_message(texts()[20][1], texts()[36][1], button=IDYES)
    assert save(driver, q, dlg, "deleted") == ["0241424303"]
    driver.call("click", dlg, DELETE_ALL)
    driver.expect_message(texts()[20][1], texts()[36][1], button=IDYES)
    assert save(driver, q, dlg, "empty") == []
    press(driver, dlg, CLOSE)
    assert harness.wait_for(lambda: not _editor_open(driver), 10)


def _editor_open(driver):
    try:
        driver.call("dialog", texts()[183][1], 0)
        return True
    except harness.DriverError:
        return False
