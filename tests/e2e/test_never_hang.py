"""The program keeps answering whatever a macro or a port does: the windows
answer while a macro waits in READ and TIME, stop and close end a waiting
macro at once, a send that flow control holds fails in bounded time, and
closing the ports while both lines stream always returns."""
import os
import select
import threading
import time

import harness
from harness import XOFF, XON, assert_answering, dialog_closed, texts

CMD_MACRO, CMD_OPEN, CMD_CLOSE = 152, 158, 159
TB_CLOSE = 1117
NAME, RUN, CLOSE, STOP, STATUS = 321, 251, 252, 254, 403
WM_CLOSE = 0x0010


def write_macro(q, name, lines):
    q.path(name).write_bytes(b"\xff\xfe" + "".join(line + "\r\n" for line in lines).encode("utf-16-le"))


def start_macro(driver, q, name, lines):
    """Opens the macro dialog, runs the file and returns the dialog."""
    write_macro(q, name, lines)
    driver.command(CMD_MACRO)
    dlg = driver.call("dialog", texts()[82][1], 10000, timeout=20)[0]
    driver.call("settext", dlg, NAME, name)
    driver.call("click", dlg, RUN)
    return dlg


def status(driver, dlg):
    return driver.call("gettext", dlg, STATUS)[0]


def test_windows_answer_during_waits_and_stop_and_close_end_them(app, driver, com3):
    q = app({"moji_type": 1})
    harness.open_ports(driver)
    # Stop during a READ that nobody answers: the TIME and SEND after it never run.
    dlg = start_macro(driver, q, "read.txt", ["READ 01,005,030", "TIME 005", "SEND 41", "PEND"])
    assert harness.wait_for(lambda: status(driver, dlg) == "READ 01,005,030", 5)
    assert_answering(driver, ["main", dlg])
    driver.call("click", dlg, STOP)
    assert com3.read(1, timeout=4.5) == b""  # the send would have come after 3.5 s
    driver.no_message_box(300)

    # The close button during a TIME wait closes the dialog at once.
    driver.call("settext", dlg, NAME, "time.txt")
    write_macro(q, "time.txt", ["TIME 040", "SEND 42", "PEND"])
    driver.call("click", dlg, RUN)
    assert harness.wait_for(lambda: status(driver, dlg) == "TIME 040", 5)
    assert_answering(driver, ["main", dlg])
    closed_at = time.time()
    driver.call("click", dlg, CLOSE)
    assert harness.wait_for(lambda: dialog_closed(driver, texts()[82][1]), 2.0)
    assert time.time() - closed_at < 2.0
    assert com3.read(1, timeout=3.5) == b""

    # The close box during a READ does the same.
    dlg = start_macro(driver, q, "read2.txt", ["READ 01,001,040", "SEND 43", "PEND"])
    assert harness.wait_for(lambda: status(driver, dlg) == "READ 01,001,040", 5)
    driver.call("post", dlg, WM_CLOSE, 0, 0)
    assert harness.wait_for(lambda: dialog_closed(driver, texts()[82][1]), 2.0)
    assert com3.read(1, timeout=4.5) == b""
    assert_answering(driver, ["main"], 0.3)


def test_a_send_held_by_flow_control_fails_in_bounded_time(app, driver, com3):
    # Xon/Xoff on CH1: the device's XOFF stops the port's output, so the
    # write cannot complete until XON.
    q = app({"moji_type": 1, "rs_flow": 1})
    harness.open_ports(driver)
    com3.write(XOFF)
    began = time.time()
    dlg = start_macro(driver, q, "held.txt", ["SEND 41", "SEND 42", "PEND"])
    hwnd, caption, text = driver.message_box(timeout_ms=15000)
    held = time.time() - began
    assert (caption, text) == ("Quorrin", texts()[32][1])
    assert held < 10, f"the held send took {held:.1f} s to fail"
    assert_answering(driver, ["main"], 0.5)
    com3.write(XON)
    driver.answer(hwnd, 1)
    # The cancelled send left nothing behind; the next one goes out whole.
    assert com3.read(2, timeout=5) == b"B"
    driver.expect_message("Quorrin", texts()[22][1])
    assert status(driver, dlg) == "PEND"


def test_closing_while_both_lines_stream_always_returns(app, driver, com3, com4):
    # Close and open again and again while both devices send without pause,
    # so a close often comes while a receive thread is between its turns.
    app({"moji_type": 1, "rs_comport2": 4})
    stop = threading.Event()

    def stream(pty):
        while not stop.is_set():
            try:
                pty.write(b"0123456789" * 20)
            except TimeoutError:
                pass
            time.sleep(0.01)

    senders = [threading.Thread(target=stream, args=(p,), daemon=True) for p in (com3, com4)]
    for t in senders:
        t.start()
    try:
        for _ in range(12):
            harness.open_ports(driver)
            driver.command(CMD_CLOSE)
            assert harness.wait_for(lambda: not harness.toolbar_enabled(driver, TB_CLOSE), 5.0), \
                "the close did not finish"
            assert harness.answer_ms(driver, "main") < harness.ANSWER_MS
    finally:
        stop.set()
        for t in senders:
            t.join(15)
        # What was sent while the ports were closed must not reach the next test.
        for pty in (com3, com4):
            drain_app_end(pty)
    driver.no_message_box(300)


def drain_app_end(pty, quiet=0.3):
    fd = os.open(pty.app_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        while select.select([fd], [], [], quiet)[0]:
            try:
                os.read(fd, 65536)
            except BlockingIOError:
                pass
    finally:
        os.close(fd)
