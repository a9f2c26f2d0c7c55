"""The checksum calculator: typed input, the kind chosen in its second
dialog and kept in the settings, the answer line drawn by "結果", and the two
copies read back from the clipboard."""
import harness
from harness import Shot, dialog_closed, ink, texts

CMD_CHECKSUM, TOOLBAR_CHECKSUM = 172, 1109
CLOSE, RESULT, CLR, BS, KIND, COPY_ASC, COPY_HEX, KIND_NAME, FIELD = 251, 252, 256, 257, 258, 259, 260, 402, 502
VK_BACK, WM_CLOSE = 0x08, 0x0010
ANSWER_BACK = (100, 255, 100)  # light slot 15


def crc16(data):
    """The CRC-16/MODBUS as the calculator shows it: low byte first, in hex."""
    crc = harness.crc16_modbus(data)
    return "%02X%02X" % (crc & 0xFF, crc >> 8)


def open_calculator(driver, command=CMD_CHECKSUM):
    driver.command(command)
    hwnd, _ = driver.call("dialog", texts()[100][1], 10000, timeout=20)
    return hwnd


def choose_kind(driver, dlg, name, confirm=True):
    driver.call("click", dlg, KIND)
    kind, _ = driver.call("dialog", texts()[104][1], 10000, timeout=20)
    assert driver.call("gettext", kind, 301)[0] == driver.call("gettext", dlg, KIND_NAME)[0]
    driver.call("settext", kind, 301, name)
    if confirm:
        driver.call("click", kind, 251)
    else:
        driver.call("post", kind, WM_CLOSE, 0, 0)
    assert harness.wait_for(lambda: dialog_closed(driver, texts()[104][1]), 10)


def answer_width(display, driver, dlg, name, ready):
    """Width of the answer line's box drawn at (500, 86) and the ink in it,
    read from screenshots until ready(width, ink) holds (the answer is drawn
    by a paint that reaches the screen a little later)."""
    left, top, right, bottom = map(int, driver.call("client", dlg))
    path = harness.SCREENSHOTS / f"{name}.png"

    def read():
        shot = Shot(display.screenshot(path), left + 500, top + 86, right - left - 500, 12)
        row = [shot.at(x, 6) for x in range(shot.w)]
        width = next((x for x, rgb in enumerate(row) if rgb != ANSWER_BACK and not ink(rgb)), shot.w)
        return width, shot.count(0, 0, width, shot.h, ink)

    return harness.screen_until(read, lambda r: ready(*r))


def copy(driver, dlg, button):
    driver.call("clipboard", "before")
    driver.call("click", dlg, button)
    assert harness.wait_for(lambda: dialog_closed(driver, texts()[100][1]), 10)
    return driver.call("clipboard")[0]


def test_checksum_of_abc_drawn_and_copied(app, driver, display):
    q = app({"moji_type": 1, "dlg10_scchar_mode": 0})
    dlg = open_calculator(driver)
    assert copy(driver, dlg, COPY_ASC) == "before"  # no result yet: nothing copied, the dialog closes

    dlg = open_calculator(driver, TOOLBAR_CHECKSUM)
    assert driver.call("gettext", dlg, KIND_NAME)[0] == "XOR"
    driver.call("keys", dlg, FIELD, "abc")
    driver.call("press", dlg, RESULT)
    xor_width, xor_ink = answer_width(display, driver, dlg, "checksum_xor", lambda w, n: w > 100 and n > 50)
    assert xor_width > 100 and xor_ink > 50

    choose_kind(driver, dlg, "CRC16")
    assert harness.wait_for(lambda: driver.call("gettext", dlg, KIND_NAME)[0] == "CRC16", 5)
    choose_kind(driver, dlg, "LRC", confirm=False)  # the close box keeps the kind
    assert driver.call("gettext", dlg, KIND_NAME)[0] == "CRC16"
    driver.call("press", dlg, RESULT)
    crc_width, crc_ink = answer_width(display, driver, dlg, "checksum_crc16",
                                      lambda w, n: w > xor_width + 40 and n > xor_ink)
    assert crc_width > xor_width + 40 and crc_ink > xor_ink  # "49,57," and "34,39,35,37," are longer
    assert crc16(b"abc") == "4957"
    assert copy(driver, dlg, COPY_HEX) == "4957"

    # The input and the kind stay; the Backspace key does nothing, "BS" removes one unit.
    dlg = open_calculator(driver)
    field = driver.call("child", dlg, FIELD)[0]
    driver.call("key", field, VK_BACK)
    driver.call("press", dlg, RESULT)
    assert copy(driver, dlg, COPY_ASC) == b"4957".hex().upper()
    dlg = open_calculator(driver)
    driver.call("press", dlg, BS)
    driver.call("press", dlg, RESULT)
    assert copy(driver, dlg, COPY_HEX) == crc16(b"ab")

    driver.call("close", "main")
    q.wait_exit(20)
    assert ("dlg10_scchar_mode", "2") in harness.read_settings(q.path("quorrin.ini"))


def test_hex_entry_and_lower_case_option(app, driver):
    app({"moji_type": 1, "dlg10_scchar_mode": 0, "hexasc_komoji": 1})
    dlg = open_calculator(driver)
    driver.call("press", dlg, CLR)
    driver.call("click", dlg, 312)
    driver.expect_message(texts()[96][1], texts()[98][1])
    driver.call("keys", dlg, FIELD, "AB")
    driver.call("press", dlg, RESULT)
    assert copy(driver, dlg, COPY_ASC) == "6162"  # the result ab in lower case
