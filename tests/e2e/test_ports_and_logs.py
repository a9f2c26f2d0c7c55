"""Ports, the receive engine and log files, end to end on pty-backed ports."""
import time

import harness
from harness import load_log, parse_log, save_log

ENGLISH = {"moji_type": 1}
CMD_SAVE, CMD_CLEAR, CMD_OPEN = 141, 145, 158
CMD_CONFIG_CH1 = 161


def chunks_of(records):
    """Splits records into (kind, bytes, positions, gap digits) chunks."""
    out, i = [], 0
    while i < len(records):
        kind = records[i][0]
        data, positions = [], []
        while i < len(records) and records[i][0] < 128:
            assert records[i][0] == kind
            data.append(records[i][2])
            positions.append(records[i][4])
            i += 1
        markers = records[i:i + 3]
        assert [m[0] for m in markers] == [128, 129, 130]
        assert markers[0][2:4] == b"t="
        gap = (markers[1][2:4] + markers[2][2:4]).decode("ascii")
        assert all(m[4] == 0 and m[1] == 0 and m[5:] == b"\0\0\0" for m in markers)
        out.append((kind, bytes(data), positions, gap))
        i += 3
    return out


def received_at_least(kind, count):
    """A ready test for harness.save_log_when: `count` bytes of a kind are in the capture."""
    return lambda records: len(harness.received(records, kind)) >= count


def test_received_bytes_are_saved_and_loaded_as_records(app, driver, com3):
    q = app(dict(ENGLISH))
    harness.open_ports(driver)
    com3.write(b"A\r\n")
    time.sleep(1.0)  # a second of silence on the line, which the gap digits must show
    payload = bytes(range(250))
    com3.write(payload)

    path = harness.save_log_when(driver, q, "capture", received_at_least(1, 3 + len(payload)))
    data = path.read_bytes()
    header, count, records = parse_log(data)
    assert header == "%015d\r" % count
    assert len(data) == 32 + 8 * count

    chunks = chunks_of(records)
    kind, first, positions, gap = chunks[0]
    assert (kind, first, positions) == (1, b"A\r\n", [0, 1, 2])
    assert 8 <= int(gap) <= 20, gap  # about one second of silence
    rest = chunks[1:]
    assert len(rest) >= 3
    assert b"".join(c[1] for c in rest) == payload
    for kind, chunk, positions, _ in rest:
        assert kind == 1 and 1 <= len(chunk) <= 100
        assert positions == list(range(len(chunk)))
    assert all(int(c[3]) <= 3 for c in rest[:-1])  # the pieces came back to back

    # Clear (answering Yes), then load the file: the same records come back.
    driver.command(CMD_CLEAR)
    driver.expect_message("Message", "Clear all captured data?", button=6)
    driver.command(CMD_SAVE)
    driver.expect_message("CreateFile", "There is no data to save.")
    load_log(driver, path.name)
    again = save_log(driver, q, "again")
    _, count2, records2 = parse_log(again.read_bytes())
    assert count2 >= count
    assert records2[:count] == records


def test_clear_answered_no_keeps_the_capture(app, driver, com3):
    q = app(dict(ENGLISH))
    harness.open_ports(driver)
    com3.write(b"xyz")
    harness.save_log_when(driver, q, "before", received_at_least(1, 3))
    driver.command(CMD_CLEAR)
    driver.expect_message("Message", "Clear all captured data?", button=7)
    path = save_log(driver, q, "kept")
    _, count, records = parse_log(path.read_bytes())
    assert chunks_of(records)[0][1] == b"xyz"


def test_port_number_out_of_range_and_missing_port(app, driver, com4):
    first = app(dict(ENGLISH, rs_comport=300, rs_comport2=4))
    driver.command(CMD_OPEN)
    driver.expect_message("Port_No.", "No. Error (CH1)")
    driver.expect_message("Message", "The port is not open.")
    # CH2 was still tried, and opened.
    assert harness.wait_for(lambda: harness.toolbar_enabled(driver, 1117), 10)
    harness.close_ports(driver)
    driver.call("close", "main")
    first.wait_exit(20)

    q = app(dict(ENGLISH, rs_comport=9, rs_comport2=4))
    driver.command(CMD_OPEN)
    driver.expect_message("CreateFile", "COM Open Error No.2 (CH1)")
    driver.expect_message("Message", "The port is not open.")
    assert harness.wait_for(lambda: harness.toolbar_enabled(driver, 1117), 10)
    com4.write(b"on CH2")
    path = harness.save_log_when(driver, q, "ch2", received_at_least(3, 6))
    _, _, records = parse_log(path.read_bytes())
    assert chunks_of(records)[0][:2] == (3, b"on CH2")


def test_both_channels_receive_and_close_returns_at_once(app, driver, com3, com4):
    q = app(dict(ENGLISH, rs_comport2=4))
    harness.open_ports(driver)
    com3.write(b"one")
    harness.save_log_when(driver, q, "one", received_at_least(1, 3))  # CH1's chunk first
    com4.write(b"two")
    harness.save_log_when(driver, q, "two", received_at_least(3, 3))
    # Both receive threads are waiting on an idle line now. The close command
    # grays the toolbar's close button once both threads have ended.
    started = time.time()
    harness.close_ports(driver)
    assert time.time() - started < 2.0
    com3.write(b"late")
    time.sleep(0.5)  # half a second in which nothing may reach the capture
    path = save_log(driver, q, "both")
    _, _, records = parse_log(path.read_bytes())
    assert [(c[0], c[1]) for c in chunks_of(records)] == [(1, b"one"), (3, b"two")]


def test_vanished_port_is_closed_and_the_other_channel_goes_on(app, driver, wine, com3, com4):
    q = app(dict(ENGLISH, rs_comport2=4))
    harness.open_ports(driver)
    name = harness.remove_serial_port(wine, "COM3")
    try:
        driver.expect_message("CH1 Comport", "Unable to connect", timeout_ms=8000)
        com4.write(b"still here")
        path = harness.save_log_when(driver, q, "after", lambda records: harness.received(records, 3)
                                     .endswith(b"still here"))
        _, _, records = parse_log(path.read_bytes())
        assert chunks_of(records)[-1][:2] == (3, b"still here")
    finally:
        harness.restore_serial_port(wine, name, "COM3")


def test_log_files_that_do_not_fit_are_refused_or_cut(app, driver):
    q = app(dict(ENGLISH))
    record = bytes([1, 0, 0x41, 0, 0, 0, 0, 0])
    q.path("notlog.log").write_bytes("hello world".encode("utf-16-le").ljust(32, b"\0") + record)
    q.path("negative.log").write_bytes("-00000000000005\r".encode("utf-16-le") + record * 5)
    q.path("short.log").write_bytes("000000000000999\r".encode("utf-16-le") + record * 10 + b"\1\2\3")
    big = 200000
    q.path("big.log").write_bytes(("%015d\r" % big).encode("utf-16-le") + record * big)

    for name in ("notlog.log", "negative.log"):
        load_log(driver, name)
        _, caption, text = driver.message_box()
        driver.call("answer", _, 1)
        assert caption == "ReadFile" and "is not a log file" in text
    driver.command(CMD_SAVE)
    driver.expect_message("CreateFile", "There is no data to save.")

    load_log(driver, "short.log")
    # One notice tells all: the log is short, and so its times are not there.
    driver.expect_message("ReadFile", "The log file declares 999 records but holds only 10.\nThose 10 records were loaded."
                          "\nPrecise times are unknown; silences come from the gap digits.")
    path = save_log(driver, q, "short_again")
    _, count, records = parse_log(path.read_bytes())
    assert count == 10 and records == [record] * 10

    load_log(driver, "big.log")
    driver.expect_message("ReadFile", harness.message(["kTextLogCut", "kTextLogCutLoaded", "kTextTimesUnknownLoaded"], 1,
                                                      200000, 130816, 130816))
    path = save_log(driver, q, "big_again")
    assert harness.wait_for(lambda: path.stat().st_size == 32 + 8 * 130816, 10)


def test_file_chooser_gives_names_the_log_extension(app, driver, com3):
    q = app(dict(ENGLISH))
    harness.open_ports(driver)
    com3.write(b"x")
    harness.save_log_when(driver, q, "first", received_at_least(1, 1))
    (q.dir / "my.logs").mkdir()
    for typed, expected in (("data.bin", "data.log"), ("trace.LOG", "trace.LOG"),
                            (q.windows_path("my.logs") + "\\data", "my.logs/data.log")):
        driver.command(CMD_SAVE)
        title = driver.file_dialog(typed)
        assert title == "Save log file"
        assert harness.wait_for(lambda: q.path(expected).exists(), 10), expected
    assert not q.path("data.bin").exists()


def test_notepad_scratch_file_is_made_once(app, driver):
    q = app(dict(ENGLISH))
    driver.command(156)
    scratch = q.path("temp.txt")
    assert harness.wait_for(scratch.exists, 10)
    assert scratch.read_bytes() == b"\xff\xfe"
    driver.call("exists", "Notepad", 15000, timeout=25)
    driver.call("closeclass", "Notepad")
    scratch.write_bytes(b"\xff\xfe" + "edited".encode("utf-16-le"))
    driver.command(156)
    driver.call("exists", "Notepad", 15000, timeout=25)
    assert scratch.read_bytes() == b"\xff\xfe" + "edited".encode("utf-16-le")


def test_system_configuration_dialog_needs_an_open_channel(app, driver, com3):
    q = app(dict(ENGLISH, rs_speed=9600))
    driver.command(CMD_CONFIG_CH1)
    driver.expect_message("Message", "This channel is not open.")
    harness.open_ports(driver)
    driver.command(CMD_CONFIG_CH1)
    hwnd, title = driver.call("dialog", "*", 10000, timeout=20)
    assert "COM3" in title
    driver.answer(hwnd, 2)  # cancel: the unchanged DCB is applied and read back
    driver.no_message_box(1000)
    driver.call("close", "main")
    q.wait_exit(20)
    settings = dict(harness.read_settings(q.path("quorrin.ini")))
    assert settings["rs_speed"] == "9600"
    assert settings["rs_flow"] == "0"
