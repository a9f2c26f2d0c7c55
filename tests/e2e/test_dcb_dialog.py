"""The DCB and timeouts dialog on the real program, on pty-backed ports.

What the port holds is read two ways, independent of the dialog: inside
Quorrin by the driver's hook (GetCommState and GetCommTimeouts on Quorrin's
own handle, so the time-outs are the handle's), and from Linux as the
pty's terminal settings (speed, data bits, parity, XON/XOFF).

Wine 8 keeps only part of a DCB on a pty: it reports XonLim and XoffLim as
10, ErrorChar as ff, EvtChar as 0 and RTS control as 1 whatever was set, so
for those fields the dialog is checked against what the port reports; the
standard state's own values are proved by tests/unit/dcb_fields_test.cpp.
Linux keeps a pty at eight data bits without parity, so ByteSize and Parity
written by the dialog cannot be seen here either."""
import os
import termios

import harness
from harness import dialog_closed, dialog_shown, screenshot, texts

CMD_CH1, CMD_CH2 = 163, 164
TOOLBAR_CH1, TOOLBAR_CH2 = 1120, 1121
EDITS = list(range(321, 340))
CHECK_BITS = {201: 0x0001, 202: 0x0004, 203: 0x0008, 204: 0x0040, 205: 0x0080, 206: 0x0100, 207: 0x0200,
              208: 0x0400, 209: 0x0800, 210: 0x4000, 211: 0x0002}
BM_GETCHECK, BM_SETCHECK = 0x00F0, 0x00F1
STATE_KEYS = ["baud", "flags", "xon_lim", "xoff_lim", "byte_size", "parity", "stop_bits", "xon", "xoff", "error",
              "eof", "evt", "ri", "rtm", "rtc", "wtm", "wtc"]


def title(channel):
    return f"DCB&TIME_Setting for CH{channel}"


def open_dialog(driver, cmd, channel):
    driver.command(cmd)
    return driver.call("dialog", title(channel), 10000, timeout=20)[0]


def port_state(driver, pty):
    """The DCB and time-outs of Quorrin's handle on this pty."""
    for line in driver.call("comm"):
        path, *numbers = line.split("|")
        if path.replace("\\\\?\\Z:", "").replace("\\", "/") == pty.app_path:
            return dict(zip(STATE_KEYS, map(int, numbers)))
    raise AssertionError(f"Quorrin holds no port on {pty.app_path}")


def terminal(pty):
    """Speed, character size, parity and XON/XOFF flags of the pty as Wine set them."""
    fd = os.open(pty.app_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        iflag, _, cflag, _, ispeed, ospeed, cc = termios.tcgetattr(fd)
    finally:
        os.close(fd)
    return {"speed": ospeed, "csize": cflag & termios.CSIZE, "parity": cflag & (termios.PARENB | termios.PARODD),
            "cstopb": cflag & termios.CSTOPB, "ixon": iflag & termios.IXON, "ixoff": iflag & termios.IXOFF,
            "vstart": cc[termios.VSTART], "vstop": cc[termios.VSTOP]}


def signed(v):
    return v - (1 << 32) if v >= 1 << 31 else v


def expected_texts(s):
    """The dialog's texts for a port state, written out field by field."""
    return {321: str((s["flags"] >> 4) & 3), 322: str((s["flags"] >> 12) & 3), 323: str(s["flags"] >> 15),
            324: str(s["xon_lim"]), 325: str(s["xoff_lim"]), 326: f"{s['xon']:x}", 327: f"{s['xoff']:x}",
            328: f"{s['error']:x}", 329: f"{s['eof']:x}", 330: f"{s['evt']:x}", 331: str(signed(s["baud"])),
            332: str(s["byte_size"]), 333: str(s["parity"]), 334: str(s["stop_bits"]), 335: str(signed(s["ri"])),
            336: str(signed(s["rtm"])), 337: str(signed(s["rtc"])), 338: str(signed(s["wtm"])),
            339: str(signed(s["wtc"]))}


def shown(driver, dlg):
    return {cid: driver.call("gettext", dlg, cid)[0] for cid in EDITS}


def ticked(driver, dlg):
    return {cid for cid in CHECK_BITS if driver.call("send", driver.call("child", dlg, cid)[0], BM_GETCHECK, 0, 0)[0] == "1"}


def expected_ticks(s):
    return {cid for cid, bit in CHECK_BITS.items() if s["flags"] & bit}


def test_dcb_ok_leaves_an_opened_port_unchanged(app, driver, display, com3):
    app({"moji_type": 1, "rs_comport2": 4})
    driver.command(CMD_CH1)  # not open yet: refused
    driver.expect_message(texts()[4][1], texts()[7][1])
    harness.open_ports(driver)
    before, tty_before = port_state(driver, com3), terminal(com3)
    assert (before["baud"], before["byte_size"], before["parity"], before["stop_bits"]) == (19200, 8, 0, 0)
    assert (before["ri"], before["rtm"], before["rtc"], before["wtm"], before["wtc"]) == (100, 2, 100, 10, 1000)

    dlg = open_dialog(driver, CMD_CH1, 1)
    assert driver.call("gettext", dlg, 252)[0] == texts()[41][1]
    assert driver.call("gettext", dlg, 253)[0] == texts()[42][1]
    assert shown(driver, dlg) == expected_texts(before)
    assert ticked(driver, dlg) == expected_ticks(before) == {201}
    assert shown(driver, dlg)[326] == "11" and shown(driver, dlg)[327] == "13"
    left, top, right, bottom = map(int, driver.call("rect", dlg))
    driver.call("move", dlg, 0, 0, right - left, bottom - top)
    screenshot(display, "dcb_dialog_ch1")
    driver.call("click", dlg, 251)
    assert harness.wait_for(lambda: dialog_closed(driver, title(1)), 10)
    driver.no_message_box(300)
    assert port_state(driver, com3) == before
    assert terminal(com3) == tty_before


def test_dcb_edits_reach_the_port_and_bad_numbers_change_nothing(app, driver, com3):
    app({"moji_type": 1, "rs_comport2": 0})
    harness.open_ports(driver)
    dlg = open_dialog(driver, CMD_CH1, 1)
    before = port_state(driver, com3)

    # A number that is no number: a message naming the field, the dialog stays.
    driver.call("settext", dlg, 331, "96OO")
    driver.call("click", dlg, 251)
    driver.expect_message("Quorrin", 'BaudRate: "96OO" is not a number from -2147483648 to 4294967295.')
    driver.call("settext", dlg, 331, "38400")
    driver.call("settext", dlg, 326, "1g")
    driver.call("click", dlg, 251)
    driver.expect_message("Quorrin", 'XonChar: "1g" is not a hexadecimal number from 0 to ff.')
    driver.call("settext", dlg, 326, "11")
    driver.call("settext", dlg, 332, "300")
    driver.call("click", dlg, 251)
    driver.expect_message("Quorrin", 'ByteSize: "300" is not a number from 0 to 255.')
    assert dialog_shown(driver, title(1))
    assert port_state(driver, com3) == before

    # Good numbers, XON/XOFF ticked, a time-out of -1: all reach the port.
    for cid, text in ((332, "8"), (334, "2"), (335, "50"), (339, "-1"), (327, "0x14")):
        driver.call("settext", dlg, cid, text)
    for cid in (206, 207):
        driver.call("send", driver.call("child", dlg, cid)[0], BM_SETCHECK, 1, 0)
    driver.call("click", dlg, 251)
    assert harness.wait_for(lambda: dialog_closed(driver, title(1)), 10)
    driver.no_message_box(300)
    after = port_state(driver, com3)
    assert (after["baud"], after["stop_bits"]) == (38400, 2)
    assert after["flags"] & 0x0300 == 0x0300 and after["xoff"] == 0x14
    assert (after["ri"], after["wtc"]) == (50, 0xFFFFFFFF)
    tty = terminal(com3)
    assert tty["speed"] == termios.B38400 and tty["cstopb"]
    assert tty["ixon"] and tty["ixoff"] and tty["vstop"] == b"\x14"

    # Opened again, the dialog shows what the port now holds: -1 for the
    # all-ones time-out, the boxes of XON/XOFF ticked.
    dlg = open_dialog(driver, CMD_CH1, 1)
    assert shown(driver, dlg) == expected_texts(after)
    assert shown(driver, dlg)[339] == "-1"
    assert {206, 207} <= ticked(driver, dlg)
    driver.call("click", dlg, 252)  # cancel writes nothing
    assert harness.wait_for(lambda: dialog_closed(driver, title(1)), 10)
    assert port_state(driver, com3) == after


def test_dcb_standard_state_on_ch2_stays_after_cancel(app, driver, display, com4):
    app({"moji_type": 1, "rs_comport": 0, "rs_comport2": 4, "rs_speed2": 115200, "rs_flow2": 1})
    harness.open_ports(driver)
    assert port_state(driver, com4)["baud"] == 115200
    dlg = open_dialog(driver, TOOLBAR_CH2, 2)
    assert {206, 207} <= ticked(driver, dlg)  # XON/XOFF as the open set it
    driver.call("press", dlg, 253)
    state = port_state(driver, com4)
    texts_now = shown(driver, dlg)
    assert texts_now == expected_texts(state)
    assert [texts_now[i] for i in (331, 332, 333, 334, 321)] == ["9600", "8", "0", "0", "1"]
    assert [texts_now[i] for i in (326, 327, 329)] == ["11", "13", "0"]
    assert [texts_now[i] for i in range(335, 340)] == ["100", "2", "100", "10", "1000"]
    assert ticked(driver, dlg) == {201}
    left, top, right, bottom = map(int, driver.call("rect", dlg))
    driver.call("move", dlg, 0, 0, right - left, bottom - top)
    screenshot(display, "dcb_dialog_standard_state")
    driver.call("click", dlg, 252)
    assert harness.wait_for(lambda: dialog_closed(driver, title(2)), 10)
    assert port_state(driver, com4) == state
    tty = terminal(com4)
    assert tty["speed"] == termios.B9600 and tty["csize"] == termios.CS8 and not tty["parity"]
    assert not tty["ixon"] and not tty["ixoff"] and not tty["cstopb"]


def test_dcb_dialog_on_a_port_that_vanished_writes_nothing(app, driver, wine, com3, com4):
    """Timer 2 closes CH1's port while its dialog is open: OK then says the
    channel is not open and ends. The port number dialog then lists only the
    ports the system's serial port list still holds."""
    app({"moji_type": 1, "rs_comport": 3, "rs_comport2": 4})
    harness.open_ports(driver)
    dlg = open_dialog(driver, TOOLBAR_CH1, 1)
    name = harness.remove_serial_port(wine, "COM3")
    try:
        driver.expect_message("CH1 Comport", "Unable to connect", timeout_ms=8000)
        driver.call("click", dlg, 251)
        driver.expect_message(texts()[4][1], texts()[7][1])
        assert harness.wait_for(lambda: dialog_closed(driver, title(1)), 10)
        port_state(driver, com4)  # CH2 goes on
        harness.close_ports(driver)  # close CH2 as well
        driver.command(160)
        ports = driver.call("dialog", "PortNo.Setting", 10000, timeout=20)[0]
        none = texts()[0][1]
        assert driver.call("items", ports, 301) == \
            [none, "COM4:[Test Virtual Port ]\n", "COM5:[Test Virtual Port ]\n"]
        # CH1 keeps port 3, which is no longer listed: its list shows no entry.
        assert [driver.call("gettext", ports, cid)[0] for cid in (321, 301, 302)] == \
            ["3", "", "COM4:[Test Virtual Port ]\n"]
        driver.call("close", ports)
    finally:
        harness.restore_serial_port(wine, name, "COM3")
