"""The input character send window: typing, framing, control characters,
the send history and its file, end to end on pty-backed ports."""
import harness
from harness import dialog_closed, log_records, texts

CMD_SAVE, CMD_INPUT = 141, 150
SEND_CH1, SEND_CH2, CLR, HEX, CTRL_CH2, HIST_SAVE = 252, 253, 256, 312, 275, 298
FRAMED = {"moji_type": 1, "rs_stchar_on": 1, "rs_stchar": "02", "rs_spchar_on": 1, "rs_spchar": "03",
          "rs_scchar_on": 1, "rs_scchar_mode": 0, "rs_scchar_type": 0, "rs_incheck_on": 1, "rs_spcheck_on": 1,
          "rs_endchar_on": 3}


def open_window(driver):
    driver.command(CMD_INPUT)
    hwnd, title = driver.call("dialog", "*", 10000, timeout=20)
    return hwnd


def type_text(driver, window, text):
    driver.call("keys", window, 501, text)


def click(driver, window, button):
    """Presses a button and returns once the window has handled it."""
    driver.call("press", window, button)


def history_file(driver, q, window, name):
    click(driver, window, HIST_SAVE)
    driver.file_dialog(name)
    return harness.written_file(driver, q.path(name.rsplit(".", 1)[0] + ".txt"))


def history_lines(data):
    assert data[:2] == b"\xff\xfe"
    return [line for line in data[2:].decode("utf-16-le").split("\r\n") if line]


def test_framed_send_writes_the_frame_records_it_and_remembers_it(app, driver, display, com3):
    q = app(dict(FRAMED))
    harness.open_ports(driver)
    window = open_window(driver)
    type_text(driver, window, "ABC")
    click(driver, window, SEND_CH1)
    frame = bytes.fromhex("024142430334330D0A")
    assert com3.read(len(frame), timeout=5) == frame
    harness.screenshot(display, "input_send_light")
    click(driver, window, SEND_CH1)  # the same frame again: one history entry
    assert com3.read(len(frame), timeout=5) == frame
    data = history_file(driver, q, window, "log.dat")
    assert history_lines(data) == ["024142430334330D0A"]
    records = log_records(driver, q, "sent")
    assert [b for k, b in records if k == 2] == list(frame) * 2


def test_hex_entry_sends_bytes_on_ch2_as_kind_4(app, driver, com4):
    q = app({"moji_type": 1, "rs_comport": 0, "rs_comport2": 4})
    harness.open_ports(driver)
    window = open_window(driver)
    click(driver, window, HEX)
    driver.expect_message(texts()[96][1], texts()[98][1])
    type_text(driver, window, "0241")
    click(driver, window, SEND_CH2)
    assert com4.read(2, timeout=5) == b"\x02\x41"
    click(driver, window, CTRL_CH2 + 6)  # the seventh button sends ENQ
    assert com4.read(1, timeout=5) == b"\x05"
    records = log_records(driver, q, "hex")
    assert [b for k, b in records if k == 4] == [0x02, 0x41, 0x05]
    data = history_file(driver, q, window, "h")
    assert history_lines(data) == ["0241"]  # the control character is not remembered


def test_history_keeps_twenty_frames(app, driver, com3):
    q = app({"moji_type": 1})
    harness.open_ports(driver)
    window = open_window(driver)
    for i in range(21):
        click(driver, window, CLR)
        type_text(driver, window, "F%02d" % i)
        click(driver, window, SEND_CH1)
        assert com3.read(3, timeout=5) == ("F%02d" % i).encode()
    lines = history_lines(history_file(driver, q, window, "twenty"))
    assert len(lines) == 20
    assert lines[0] == b"F20".hex().upper() and lines[-1] == b"F01".hex().upper()


def test_line_monitor_send_leaves_the_capture_alone(app, driver, com3):
    app({"moji_type": 1, "lm_mode": 1})
    harness.open_ports(driver)
    window = open_window(driver)
    type_text(driver, window, "LM")
    click(driver, window, SEND_CH1)
    assert com3.read(2, timeout=5) == b"LM"
    driver.command(CMD_SAVE)
    driver.expect_message("CreateFile", "There is no data to save.")


def test_failed_send_reports_and_keeps_the_history(app, driver, com3):
    q = app({"moji_type": 1})
    harness.open_ports(driver)
    window = open_window(driver)
    type_text(driver, window, "OK")
    click(driver, window, SEND_CH1)
    assert com3.read(2, timeout=5) == b"OK"
    harness.close_ports(driver)  # the window's CH1 buttons stay enabled
    click(driver, window, CLR)
    type_text(driver, window, "NO")
    click(driver, window, SEND_CH1)
    driver.expect_message("Error", texts()[32][1])
    assert history_lines(history_file(driver, q, window, "after")) == [b"OK".hex().upper()]


def test_window_in_the_dark_theme(app, driver, display, com3):
    q = app({"moji_type": 0})
    harness.restart_in_theme(driver, q)
    harness.open_ports(driver)
    window = open_window(driver)
    type_text(driver, window, "Quorrin!")
    click(driver, window, SEND_CH1)
    assert com3.read(8, timeout=5) == b"Quorrin!"
    harness.screenshot(display, "input_send_dark")


BM_SETCHECK, WM_CLOSE = 0x00F1, 0x0010


def format_dialog(driver, window):
    driver.call("click", window, 265)
    hwnd, _ = driver.call("dialog", texts()[73][1], 10000, timeout=20)
    return hwnd


def test_send_format_dialog_sets_the_frame(app, driver, com3):
    app({"moji_type": 1})
    harness.open_ports(driver)
    window = open_window(driver)
    dlg = format_dialog(driver, window)
    for box in (231, 234, 235, 236, 240):  # start, end, checksum, terminator on; end in range
        driver.call("send", driver.call("child", dlg, box)[0], BM_SETCHECK, 1, 0)
    driver.call("settext", dlg, 321, "02")
    driver.call("settext", dlg, 323, "03")
    driver.call("settext", dlg, 324, "0D0A")
    driver.call("settext", dlg, 301, "CRC16")
    driver.call("click", dlg, 251)
    assert harness.wait_for(lambda: driver.call("alive") and dialog_closed(driver, texts()[73][1]), 10)
    type_text(driver, window, "ABC")
    click(driver, window, SEND_CH1)
    # CRC16 over 41 42 43 03 in ASC, low byte first, then CR LF.
    crc = 0xFFFF
    for b in b"ABC\x03":
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    expected = b"\x02ABC\x03" + ("%02X%02X" % (crc & 0xFF, crc >> 8)).encode() + b"\r\n"
    assert com3.read(len(expected), timeout=5) == expected

    # The close box drops what was changed.
    dlg = format_dialog(driver, window)
    driver.call("send", driver.call("child", dlg, 231)[0], BM_SETCHECK, 0, 0)
    driver.call("post", dlg, WM_CLOSE, 0, 0)
    assert harness.wait_for(lambda: dialog_closed(driver, texts()[73][1]), 10)
    click(driver, window, SEND_CH1)
    assert com3.read(len(expected), timeout=5) == expected


def test_send_format_fields_show_lower_case_hex_alike(app, driver, com3):
    # With lower-case hex chosen every byte field shows what is stored, the
    # start character as much as the end character and the terminator.
    app({"moji_type": 1, "hexasc_komoji": 1, "rs_stchar": "3A", "rs_spchar": "3B", "rs_endchar_on": 3})
    harness.open_ports(driver)
    window = open_window(driver)
    dlg = format_dialog(driver, window)
    fields = lambda: [driver.call("gettext", dlg, i)[0] for i in (321, 323, 324)]
    assert harness.wait_for(lambda: fields() == ["3a", "3b", "0d0a"], 5), fields()
    # Typed letters keep their case too.
    driver.call("settext", dlg, 321, "")
    driver.call("keys", dlg, 321, "7e")
    assert harness.wait_for(lambda: fields()[0] == "7e", 5), fields()
    driver.call("post", dlg, WM_CLOSE, 0, 0)
    assert harness.wait_for(lambda: dialog_closed(driver, texts()[73][1]), 10)
