"""The Modbus frame builder end to end: frames assembled in the dialog and
sent on CH1, checked on the wire at the pty peer and answered by a real
Modbus slave (Debian's pymodbus, tests/e2e/modbus_slave.py) whose answers
land in Quorrin's capture as received records."""
import os
import select
import subprocess
from pathlib import Path

import pytest

import harness
from harness import texts

ENGLISH = {"moji_type": 1}
CMD_MODBUS = 153
ASSEMBLE, SEND_CH1, SEND_CH2, LEFT, RIGHT, CLOSE = 251, 252, 253, 254, 255, 256
FUNCTION, RATIO = 301, 302
DATA_ASC, DATA_HEX, MODE_ASC, MODE_RTU, MODE_TCP = 311, 312, 313, 314, 315
SLAVE, ADDRESS, COUNT, DATA = 322, 324, 325, 326
START_LABEL = 401
WM_COMMAND, CBN_SELCHANGE, CBN_EDITCHANGE, BM_GETCHECK = 0x0111, 1, 5, 0x00F0
CB_GETCOUNT, CB_SETCURSEL = 0x0146, 0x014E
SLAVE_SCRIPT = Path(__file__).with_name("modbus_slave.py")


def open_builder(driver):
    driver.command(CMD_MODBUS)
    hwnd, _ = driver.call("dialog", "Modbus", 10000, timeout=20)
    return hwnd


def press(driver, dlg, button):
    """Presses a button and returns once the dialog has handled it."""
    driver.call("press", dlg, button)


def enabled(driver, dlg, control):
    return driver.call("enabled", dlg, control)[0] == "1"


def choose_function(driver, dlg, text):
    """Types a function into the combo box's field; the dialog reads it
    300 ms after the last change and applies its field rule."""
    combo = driver.call("child", dlg, FUNCTION)[0]
    driver.call("settext", dlg, FUNCTION, text)
    driver.call("post", dlg, WM_COMMAND, (CBN_EDITCHANGE << 16) | FUNCTION, int(combo, 16))


def fill(driver, dlg, **fields):
    ids = {"slave": SLAVE, "address": ADDRESS, "count": COUNT, "data": DATA, "ratio": RATIO}
    for name, value in fields.items():
        driver.call("settext", dlg, ids[name], value)


def write_registers_rtu(driver, dlg):
    """Function 0x10, registers 1 and 2, ratio x2, the HEX data 00 0A 01 02."""
    choose_function(driver, dlg, "10 Write Multiple Registers")
    assert harness.wait_for(lambda: enabled(driver, dlg, RATIO), 5), "the field rule of 0x10 was not applied"
    press(driver, dlg, DATA_HEX)
    fill(driver, dlg, address="1", count="2", ratio="x2", data="000A0102")


def crc16(data):
    """The CRC-16/MODBUS as an RTU frame carries it: low byte first."""
    crc = harness.crc16_modbus(data)
    return bytes([crc & 0xFF, crc >> 8])


class Slave:
    """tests/e2e/modbus_slave.py on the peer end of COM3; with `spoil` it
    spoils the check of that answer (1 for the first), with `count` its
    holding register 0 counts up."""

    def __init__(self, peer, mode, log, spoil=None, count=False):
        self.log = open(log, "wb")
        extra = ["--spoil", str(spoil)] if spoil else ["--count"] if count else []
        self.proc = subprocess.Popen(["/usr/bin/python3", str(SLAVE_SCRIPT), peer, mode] + extra,
                                     stdout=subprocess.PIPE, stderr=self.log)
        assert self.line(15) == "ready", "the Modbus slave did not start"

    def line(self, timeout):
        r, _, _ = select.select([self.proc.stdout], [], [], timeout)
        return self.proc.stdout.readline().decode().strip() if r else None

    def stop(self):
        self.proc.terminate()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait(5)
        self.proc.stdout.close()
        self.log.close()


@pytest.fixture
def slave(com3):
    started = []

    def start(mode):
        peer = os.path.realpath(com3.link_peer)
        s = Slave(peer, mode, harness.E2E / f"modbus_slave_{mode}.log")
        started.append(s)
        return s

    yield start
    for s in started:
        s.stop()


def test_ascii_defaults_build_the_frame(app, driver, com3):
    app(dict(ENGLISH))
    harness.open_ports(driver)
    dlg = open_builder(driver)
    assert not enabled(driver, dlg, SEND_CH2)  # CH2 is not open
    assert not enabled(driver, dlg, RATIO)
    assert driver.call("gettext", dlg, ADDRESS)[0] == "0001"
    press(driver, dlg, ASSEMBLE)
    press(driver, dlg, SEND_CH1)
    frame = b":010300010001FA\r\n"
    assert len(frame) == 17
    assert com3.read(len(frame) + 1, timeout=3) == frame


def test_rtu_read_and_write_frames_of_the_examples(app, driver, com3):
    app(dict(ENGLISH))
    harness.open_ports(driver)
    dlg = open_builder(driver)
    press(driver, dlg, MODE_RTU)
    fill(driver, dlg, address="0", count="10")
    press(driver, dlg, ASSEMBLE)
    press(driver, dlg, SEND_CH1)
    assert com3.read(9, timeout=3) == bytes.fromhex("01 03 00 00 00 0A C5 CD")
    write_registers_rtu(driver, dlg)
    press(driver, dlg, ASSEMBLE)
    press(driver, dlg, SEND_CH1)
    assert com3.read(14, timeout=3) == bytes.fromhex("01 10 00 01 00 02 04 00 0A 01 02 92 30")


def test_tcp_frames_carry_the_mbap_header_and_count_their_transactions(app, driver, display, com3):
    app(dict(ENGLISH))
    harness.open_ports(driver)
    dlg = open_builder(driver)
    press(driver, dlg, MODE_TCP)
    assert not enabled(driver, dlg, START_LABEL)  # the start and end codes are ASCII's
    fill(driver, dlg, address="0", count="10")
    press(driver, dlg, ASSEMBLE)
    press(driver, dlg, SEND_CH1)
    # Transaction 1, protocol 0, 6 bytes follow: the unit, then the PDU without a CRC.
    assert com3.read(12, timeout=3) == bytes.fromhex("00 01 00 00 00 06 01 03 00 00 00 0A")
    write_registers_rtu(driver, dlg)
    press(driver, dlg, ASSEMBLE)
    press(driver, dlg, SEND_CH1)
    assert com3.read(17, timeout=3) == bytes.fromhex("00 02 00 00 00 0B 01 10 00 01 00 02 04 00 0A 01 02")
    harness.screenshot(display, "modbus_builder_tcp")


@pytest.mark.parametrize("mode", ["rtu", "ascii"])
def test_slave_answers_read_and_write_requests(app, driver, slave, mode):
    q = app(dict(ENGLISH))
    device = slave(mode)
    harness.open_ports(driver)
    dlg = open_builder(driver)
    if mode == "rtu":
        press(driver, dlg, MODE_RTU)
    write_registers_rtu(driver, dlg)
    press(driver, dlg, ASSEMBLE)
    press(driver, dlg, SEND_CH1)
    assert device.line(10) == "answer 10", "no normal answer to the write"
    choose_function(driver, dlg, "03 Read Holding Registers")
    assert harness.wait_for(lambda: not enabled(driver, dlg, DATA), 5)
    fill(driver, dlg, address="1", count="3")
    press(driver, dlg, ASSEMBLE)
    press(driver, dlg, SEND_CH1)
    assert device.line(10) == "answer 03", "no normal answer to the read"
    press(driver, dlg, CLOSE)
    # Registers 1 and 2 hold what was written, register 3 what the slave
    # started with (0x1000 + 3).
    if mode == "rtu":
        write_answer = bytes.fromhex("01 10 00 01 00 02")
        read_answer = bytes.fromhex("01 03 06 00 0A 01 02 10 03")
        want = write_answer + crc16(write_answer) + read_answer + crc16(read_answer)
    else:
        want = b":011000010002EC\r\n" + b":010306000A01021003D6\r\n"
    # The answers reach the capture once CH1's receive thread has taken them.
    path = harness.save_log_when(driver, q, "answers", lambda records: len(harness.received(records, 1)) >= len(want))
    assert harness.received(harness.parse_log(path.read_bytes())[2], 1) == want


def test_three_character_slave_address_is_refused(app, driver, com3):
    app(dict(ENGLISH))
    harness.open_ports(driver)
    dlg = open_builder(driver)
    fill(driver, dlg, slave="001")
    driver.call("click", dlg, ASSEMBLE)
    t = texts()
    driver.expect_message("Input Error", t[152][1] + "\r\n" + t[146][1])
    assert harness.wait_for(lambda: driver.call("gettext", dlg, SLAVE)[0] == "01", 5)
    # The assembly went on with the stored address.
    press(driver, dlg, SEND_CH1)
    assert com3.read(18, timeout=3) == b":010300010001FA\r\n"


def test_send_without_assembling_sends_the_old_frame(app, driver, com3):
    q = app(dict(ENGLISH))
    harness.open_ports(driver)
    dlg = open_builder(driver)
    press(driver, dlg, ASSEMBLE)
    fill(driver, dlg, count="5")
    press(driver, dlg, SEND_CH1)
    assert com3.read(18, timeout=3) == b":010300010001FA\r\n"
    assert driver.call("gettext", dlg, COUNT)[0] == "0005"  # read and stored all the same
    press(driver, dlg, ASSEMBLE)
    press(driver, dlg, SEND_CH1)
    assert com3.read(18, timeout=3) == b":010300010005F6\r\n"
    # Closing and opening again shows the stored values and the last frame.
    press(driver, dlg, CLOSE)
    dlg = open_builder(driver)
    assert driver.call("gettext", dlg, COUNT)[0] == "0005"
    press(driver, dlg, SEND_CH1)
    assert com3.read(18, timeout=3) == b":010300010005F6\r\n"
    press(driver, dlg, CLOSE)
    driver.call("close", "main")
    q.wait_exit(20)
    saved = dict(harness.read_settings(q.path("quorrin.ini")))
    assert (saved["dlg13_slave_char"], saved["dlg13_fanction"], saved["dlg13_conut"]) == ("01", "3", "5")


def test_refused_frames_keep_the_previous_one(app, driver, display, com3):
    app(dict(ENGLISH))
    harness.open_ports(driver)
    dlg = open_builder(driver)
    press(driver, dlg, ASSEMBLE)
    # A write of a single register whose data fills the store would make
    # an ASCII frame of 257 units.
    choose_function(driver, dlg, "06")
    assert harness.wait_for(lambda: not enabled(driver, dlg, COUNT), 5)
    fill(driver, dlg, data="A" * 244)
    driver.call("click", dlg, ASSEMBLE)
    driver.expect_message("Error", harness.message(["kTextModbusFrameTooLong", "kTextModbusNotAssembled"], 1,
                                                   257, 256))
    # 0x10 with 200 registers of 2 bytes: a byte count of 400.
    choose_function(driver, dlg, "10")
    assert harness.wait_for(lambda: enabled(driver, dlg, RATIO), 5)
    fill(driver, dlg, count="200", ratio="x2")
    driver.call("click", dlg, ASSEMBLE)
    driver.expect_message("Error", harness.message(["kTextModbusByteCount", "kTextModbusNotAssembled"], 1, 400))
    press(driver, dlg, SEND_CH1)
    assert com3.read(18, timeout=3) == b":010300010001FA\r\n"
    # 70 units in the preview: shown from unit 32, "<" shows it from 0.
    choose_function(driver, dlg, "06")
    assert harness.wait_for(lambda: not enabled(driver, dlg, COUNT), 5)
    fill(driver, dlg, data="0123456789" * 5 + "ABCDEFG")
    press(driver, dlg, ASSEMBLE)
    harness.screenshot(display, "modbus_preview_from_32")
    press(driver, dlg, LEFT)
    harness.screenshot(display, "modbus_preview_from_0")
    press(driver, dlg, SEND_CH1)
    frame = com3.read(71, timeout=3)
    assert len(frame) == 70 and frame.startswith(b":01060001" + b"0123456789") and frame.endswith(b"\r\n")


def test_data_entry_switch(app, driver, com3):
    app(dict(ENGLISH))
    harness.open_ports(driver)
    dlg = open_builder(driver)
    fill(driver, dlg, data="AB")
    press(driver, dlg, DATA_HEX)
    assert driver.call("gettext", dlg, DATA)[0] == "4142"
    press(driver, dlg, DATA_ASC)
    assert driver.call("gettext", dlg, DATA)[0] == "AB"
    press(driver, dlg, DATA_HEX)
    fill(driver, dlg, data="000A")
    driver.call("click", dlg, DATA_ASC)
    driver.expect_message("Input Error", harness.message(["kTextModbusHasNul", "kTextModbusStaysHex"]))
    assert driver.call("gettext", dlg, DATA)[0] == "000A"
    assert int(driver.call("send", driver.call("child", dlg, DATA_HEX)[0], BM_GETCHECK, 0, 0)[0]) == 1
    # In HEX entry a single register's data is its bytes, in RTU as in ASCII.
    choose_function(driver, dlg, "06")
    assert harness.wait_for(lambda: not enabled(driver, dlg, COUNT), 5)
    press(driver, dlg, MODE_RTU)
    press(driver, dlg, ASSEMBLE)
    press(driver, dlg, SEND_CH1)
    assert com3.read(9, timeout=3) == bytes.fromhex("01 06 00 01 00 0A 58 0D")
    press(driver, dlg, MODE_ASC)  # assembles again in the new mode
    press(driver, dlg, SEND_CH1)
    assert com3.read(18, timeout=3) == b":01060001000AEE\r\n"


def test_function_codes_without_fields(app, driver, com3):
    app({"moji_type": 0, "rs_comport2": 4})
    harness.open_ports(driver)
    driver.call("post", "main", WM_COMMAND, 1114, 0)  # the toolbar button
    dlg, _ = driver.call("dialog", "Modbus", 10000, timeout=20)
    assert enabled(driver, dlg, SEND_CH2)
    # The list holds the 19 function texts; choosing one applies its rule.
    combo = driver.call("child", dlg, FUNCTION)[0]
    assert driver.call("send", combo, CB_GETCOUNT, 0, 0)[0] == "19"
    driver.call("send", combo, CB_SETCURSEL, 15, 0)
    driver.call("post", dlg, WM_COMMAND, (CBN_SELCHANGE << 16) | FUNCTION, int(combo, 16))
    assert harness.wait_for(lambda: enabled(driver, dlg, RATIO), 5)
    assert driver.call("gettext", dlg, FUNCTION)[0] == texts()[176][0]
    choose_function(driver, dlg, "0B")
    assert harness.wait_for(lambda: not enabled(driver, dlg, ADDRESS), 5)
    assert not enabled(driver, dlg, COUNT) and not enabled(driver, dlg, DATA)
    press(driver, dlg, ASSEMBLE)
    press(driver, dlg, SEND_CH1)
    assert com3.read(10, timeout=3) == b":010BF4\r\n"
    choose_function(driver, dlg, "08")
    assert harness.wait_for(lambda: enabled(driver, dlg, ADDRESS), 5)
    assert driver.call("gettext", dlg, 404)[0] == texts()[158][0]


def test_builder_in_the_dark_theme(app, driver, display, com3):
    q = app(dict(ENGLISH))
    harness.restart_in_theme(driver, q)
    harness.open_ports(driver)
    dlg = open_builder(driver)
    press(driver, dlg, MODE_RTU)
    assert not enabled(driver, dlg, 401) and not enabled(driver, dlg, 417)
    assert driver.call("gettext", dlg, 321)[0] == "" and driver.call("gettext", dlg, 327)[0] == ""
    write_registers_rtu(driver, dlg)
    press(driver, dlg, ASSEMBLE)
    press(driver, dlg, SEND_CH1)
    assert com3.read(14, timeout=3) == bytes.fromhex("01 10 00 01 00 02 04 00 0A 01 02 92 30")
    harness.screenshot(display, "modbus_dark")
