"""The messages the program added for its file checks and input limits
speak the chosen language: a damaged log, a DCB field that is no number and
Modbus data that ASC entry cannot show, in Japanese, English and Korean.
The expected texts come from the message table the program is built from,
formatted with the same fields."""
import pytest

import harness
from harness import load_log

CMD_DCB_CH1, CMD_MODBUS = 163, 153
DCB_BAUD, DCB_OK, DCB_CANCEL = 331, 251, 252
MB_DATA, MB_DATA_ASC, MB_DATA_HEX, MB_CLOSE = 326, 311, 312, 256
WM_CLOSE = 0x0010


def gone(driver, title):
    try:
        driver.call("dialog", title, 0)
        return False
    except harness.DriverError:
        return True


@pytest.mark.parametrize("language", [0, 1, 2], ids=["japanese", "english", "korean"])
def test_added_messages_speak_the_chosen_language(app, driver, display, com3, language):
    q = app({"moji_type": language, "rs_comport2": 0})

    q.path("damaged.log").write_bytes(b"this is no log file at all")
    load_log(driver, "damaged.log")
    hwnd, caption, text = driver.message_box()
    driver.answer(hwnd, 1)
    lines = text.split("\n")
    assert caption == "ReadFile"
    assert "\n".join(lines[:2]) == harness.message(["kTextNotLog", "kTextCaptureUnchanged"], language), text
    assert lines[2].endswith("damaged.log")

    harness.open_ports(driver)
    title = "DCB&TIME_Setting for CH1"
    driver.command(CMD_DCB_CH1)
    dlg = driver.call("dialog", title, 10000, timeout=20)[0]
    driver.call("settext", dlg, DCB_BAUD, "96OO")
    driver.call("click", dlg, DCB_OK)
    driver.expect_message("Quorrin", harness.message(["kTextNotNumber"], language, "BaudRate", "96OO",
                                                     "-2147483648", "4294967295"))
    driver.call("click", dlg, DCB_CANCEL)
    assert harness.wait_for(lambda: gone(driver, title), 10)

    driver.command(CMD_MODBUS)
    dlg = driver.call("dialog", "Modbus", 10000, timeout=20)[0]
    driver.call("press", dlg, MB_DATA_HEX)
    driver.call("settext", dlg, MB_DATA, "000A")
    driver.call("click", dlg, MB_DATA_ASC)
    driver.message_box()  # up: picture it before it is answered
    harness.screenshot(display, f"modbus_input_error_{language}")
    driver.expect_message("Input Error", harness.message(["kTextModbusHasNul", "kTextModbusStaysHex"], language))
    assert driver.call("gettext", dlg, MB_DATA)[0] == "000A"
    driver.call("click", dlg, MB_CLOSE)
    assert harness.wait_for(lambda: gone(driver, "Modbus"), 10)
