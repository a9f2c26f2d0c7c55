"""The macro dialog on the real program: macro files run line by line on
CH1 against a peer that answers like a device, the step and status labels,
the end messages, the load failures, stop and run again."""
import harness
from harness import CMD_MACRO, Device, dialog_closed, log_records, screenshot, texts
from harness import MACRO_NAME as NAME
from harness import MACRO_RUN as RUN
from harness import open_macro_dialog as open_dialog
from harness import run_macro_file as run_file

CLOSE, BROWSE, STOP, STEP, STATUS = 252, 253, 254, 402, 403


def write_macro(q, name, lines, encoding="utf-16-le"):
    text = "".join(line + "\r\n" for line in lines)
    data = (b"\xff\xfe" if encoding == "utf-16-le" else b"") + text.encode(encoding)
    q.path(name).write_bytes(data)
    return data


def gettext(driver, dlg, cid):
    return driver.call("gettext", dlg, cid)[0]


def test_only_line_sends_and_the_step_label_counts_code_units(app, driver, display, com3):
    q = app({"moji_type": 1})
    data = write_macro(q, "at.txt", ["SEND 'AT'0D"])
    assert len(data) == 28  # 14 code units with the byte-order mark
    harness.open_ports(driver)
    dlg = open_dialog(driver)
    table = texts()
    for cid, n in ((401, 83), (RUN, 84), (CLOSE, 85), (STOP, 86)):
        assert gettext(driver, dlg, cid) == table[n][1], cid
    assert gettext(driver, dlg, STEP) == "Step:000"
    assert gettext(driver, dlg, STATUS) == "********"
    run_file(driver, dlg, "at.txt")
    assert com3.read(3, timeout=5) == b"AT\r"
    # No PEND: the end of the macro is reported on the next tick.
    driver.expect_message("Quorrin", table[21][1])
    assert gettext(driver, dlg, STEP) == "Step:001/014"
    assert gettext(driver, dlg, STATUS) == "SEND 'AT'0D"
    assert com3.read(1, timeout=0.3) == b""
    harness.screenshot(display, "macro_dialog_after_run")
    driver.call("click", dlg, CLOSE)
    assert harness.wait_for(lambda: dialog_closed(driver, table[82][1]), 10)
    # The name is kept for the next run of the program.
    driver.call("close", "main")
    q.wait_exit(20)
    assert dict(harness.read_settings(q.path("quorrin.ini")))["macro_filename"] == "at.txt"


COUNTER_MACRO = [
    "; ask the device, count the answers in slot 02",
    "MOVE 02,'08'",
    ":LP1",
    "SEND 'REQ'0D",
    "READ 01,004,030",
    "CMPL 01,OK1,'ACK'",
    "SEND 'BAD'0D",
    "PEND",
    ":OK1",
    "MINC 02",
    "MSED 02",
    "CMPL 02,END,'10'",
    "GOTO LP1",
    ":END",
    "PEND",
]


def test_request_answer_compare_and_counter(app, driver, display, com3):
    q = app({"moji_type": 1})
    write_macro(q, "count.txt", COUNTER_MACRO)
    harness.open_ports(driver)
    dlg = open_dialog(driver)
    device = Device(com3, {b"REQ\r": b"ACK\r"})
    device.start()
    try:
        run_file(driver, dlg, "count.txt")
        driver.expect_message("Quorrin", texts()[22][1], timeout_ms=20000)
        assert device.received() == b"REQ\r09REQ\r10"
        screenshot(display, "macro_counter_done")
        assert gettext(driver, dlg, STATUS) == "PEND"
        # The same macro against a device that refuses takes the other branch.
        device.reset({b"REQ\r": b"NAK\r"})
        driver.call("click", dlg, RUN)
        driver.expect_message("Quorrin", texts()[22][1], timeout_ms=20000)
        assert device.received() == b"REQ\rBAD\r"
    finally:
        device.stop()
    # The capture holds what went out (kind 2) and what came back (kind 1).
    driver.call("click", dlg, CLOSE)
    assert harness.wait_for(lambda: dialog_closed(driver, texts()[82][1]), 10)
    records = log_records(driver, q, "macro")
    assert bytes(b for k, b in records if k == 2) == b"REQ\r09REQ\r10REQ\rBAD\r"
    assert bytes(b for k, b in records if k == 1) == b"ACK\rACK\rNAK\r"


def test_jump_to_a_missing_label_ends_on_the_next_tick(app, driver, display, com3):
    q = app({"moji_type": 1})
    data = write_macro(q, "jump.txt", ["GOTO XYZ", "SEND 'never'", ":XY", "PEND"])
    harness.open_ports(driver)
    dlg = open_dialog(driver)
    run_file(driver, dlg, "jump.txt")
    driver.expect_message("Quorrin", texts()[21][1])
    assert gettext(driver, dlg, STEP) == "Step:001/%03d" % (len(data) // 2)
    assert gettext(driver, dlg, STATUS) == "GOTO XYZ"
    assert com3.read(1, timeout=0.3) == b""

    # A send on CH2, which is not open, fails and the macro goes on.
    write_macro(q, "ch2.txt", ["SED2 41", "SEND 42", "PEND"])
    run_file(driver, dlg, "ch2.txt")
    driver.expect_message("Quorrin", texts()[32][1])
    assert com3.read(1, timeout=5) == b"B"
    driver.expect_message("Quorrin", texts()[22][1])

    # A line that cannot run stops the macro and says why.
    write_macro(q, "slot.txt", ["MOVE -1,41", "SEND 42", "PEND"])
    run_file(driver, dlg, "slot.txt")
    screenshot(display, "macro_stopped")
    driver.expect_message("Quorrin", "The macro stopped at Step:001.\nSlot number -1 is not 00 to 99.")
    assert com3.read(1, timeout=0.3) == b""
    driver.no_message_box(300)


def test_load_failures(app, driver, display, com3):
    q = app({"moji_type": 1})
    table = texts()
    write_macro(q, "utf8.txt", ["SEND 41"], encoding="utf-8")
    harness.open_ports(driver)
    dlg = open_dialog(driver)
    run_file(driver, dlg, "utf8.txt")
    driver.expect_message("CreateFile", table[23][1])
    run_file(driver, dlg, "ab")
    driver.expect_message("CreateFile", table[37][1])
    assert not q.path("ab").exists()
    run_file(driver, dlg, "new.txt")
    driver.expect_message("CreateFile", table[38][1])
    assert q.path("new.txt").exists() and q.path("new.txt").stat().st_size == 0
    # A name longer than a path may be is refused before anything is opened.
    run_file(driver, dlg, "x" * 300)
    driver.expect_message("CreateFile", "The file name is longer than 259 characters.")
    assert com3.read(1, timeout=0.3) == b""
    assert gettext(driver, dlg, STEP) == "Step:000"
    harness.screenshot(display, "macro_load_failures")


def test_stop_then_run_starts_at_the_top_with_the_slots_kept(app, driver, com3):
    q = app({"moji_type": 1})
    write_macro(q, "grow.txt", ["MOVE 04,'A'", "MADD 03,04", "MSED 03", ":LP1", "TIME 001", "GOTO LP1"])
    harness.open_ports(driver)
    dlg = open_dialog(driver)
    run_file(driver, dlg, "grow.txt")
    assert com3.read(1, timeout=5) == b"A"
    driver.call("press", dlg, STOP)
    labels = (gettext(driver, dlg, STEP), gettext(driver, dlg, STATUS))
    assert labels[1] in ("MSED 03", "TIME 001", "GOTO LP1")
    # Stopped: the labels stay as they are.
    assert harness.holds_for(lambda: (gettext(driver, dlg, STEP), gettext(driver, dlg, STATUS)) == labels, 0.3)
    assert com3.read(1, timeout=0.3) == b""
    driver.call("click", dlg, RUN)
    assert com3.read(2, timeout=5) == b"AA"  # slot 03 kept its A, the run began at the top
    driver.call("press", dlg, STOP)
    # Closing while running stops the macro as well.
    driver.call("click", dlg, RUN)
    assert com3.read(3, timeout=5) == b"AAA"
    driver.call("click", dlg, CLOSE)
    assert harness.wait_for(lambda: dialog_closed(driver, texts()[82][1]), 10)
    assert com3.read(1, timeout=0.5) == b""
    driver.no_message_box(300)


def test_refused_while_ch1_is_closed_and_browse(app, driver, display, com3, com4):
    q = app({"moji_type": 1, "rs_comport": 0, "rs_comport2": 4})
    harness.open_ports(driver)  # CH2 alone
    driver.command(1113)  # the toolbar button
    driver.expect_message("Quorrin", texts()[3][1])
    assert dialog_closed(driver, texts()[82][1])
    driver.call("close", "main")
    q.wait_exit(20)

    q = app({"moji_type": 1})
    write_macro(q, "picked.txt", ["SEND 'P'", "PEND"])
    harness.open_ports(driver)
    dlg = open_dialog(driver)
    driver.call("settext", dlg, NAME, "")
    driver.call("click", dlg, BROWSE)
    driver.file_dialog("picked.txt")
    chosen = q.windows_path("picked.txt")
    assert harness.wait_for(lambda: gettext(driver, dlg, NAME).lower() == chosen.lower(), 10)
    driver.call("click", dlg, RUN)
    assert com3.read(1, timeout=5) == b"P"
    driver.expect_message("Quorrin", texts()[22][1])
    driver.call("close", dlg)
    assert harness.wait_for(lambda: dialog_closed(driver, texts()[82][1]), 10)
    # The close box cleared the open flag: the dialog opens again, once.
    dlg = open_dialog(driver)
    assert gettext(driver, dlg, NAME).lower() == chosen.lower()
    driver.command(CMD_MACRO)
    driver.command(1113)
    harness.after_posted(driver)  # both commands have been handled
    title = texts()[82][1]
    dialogs = [w.split("|")[0] for w in driver.call("windows") if w.endswith("|" + title)]
    assert dialogs == [dlg]
    harness.screenshot(display, "macro_dialog_browse")
    driver.call("click", dlg, CLOSE)
    assert harness.wait_for(lambda: dialog_closed(driver, texts()[82][1]), 10)


def test_dialog_in_the_dark_theme_and_japanese(app, driver, display, com3):
    q = app({})
    write_macro(q, "dark.txt", ["SEND 'dark'", "PEND"])
    harness.restart_in_theme(driver, q)
    harness.open_ports(driver)
    driver.command(CMD_MACRO)
    table = texts()
    dlg = driver.call("dialog", table[82][0], 10000, timeout=20)[0]
    for cid, n in ((401, 83), (RUN, 84), (CLOSE, 85), (STOP, 86)):
        assert gettext(driver, dlg, cid) == table[n][0], cid
    run_file(driver, dlg, "dark.txt")
    assert com3.read(4, timeout=5) == b"dark"
    hwnd, caption, text = driver.message_box()
    assert (caption, text) == ("Quorrin", table[22][0])
    screenshot(display, "macro_dialog_dark")
    driver.answer(hwnd, 1)
    driver.call("click", dlg, CLOSE)
    assert harness.wait_for(lambda: dialog_closed(driver, table[82][0]), 10)
