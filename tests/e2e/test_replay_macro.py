"""File > Save Capture as Macro on the real program: an exchange with a
device on CH1 is recorded, saved as a macro, and the macro is run against
the device again: it ends at its last PEND when the device answers as
recorded, and at the failure label of the first answer that differs."""
import re
import time

import harness
from harness import Device, dialog_closed, texts, written_file
from harness import MACRO_RUN as RUN
from harness import open_macro_dialog, run_macro_file

CMD_CLEAR, CMD_SAVE_AS_MACRO = 145, 179
STEP, STATUS, CLOSE = 402, 403, 252
ENGLISH = {"moji_type": 1}
ANSWERS = {b"REQ1\r": b"ANS1\r\n", b"REQ2\r": b"ANS2\r\n", b"REQ3\r": b"ANS3\r\n"}
# The device takes its time, so that twice the recorded latency leaves room
# for a loaded machine when the macro waits for the answers again.
DELAY_S = 0.5

RECORDING = [
    "; ask the device three times, with a pause before the last",
    "SEND 'REQ1'0D",
    "READ 01,006,030",
    "SEND 'REQ2'0D",
    "READ 01,006,030",
    "TIME 004",
    "SEND 'REQ3'0D",
    "READ 01,006,030",
    "PEND",
]


def write_macro(q, name, lines):
    q.path(name).write_bytes(b"\xff\xfe" + "".join(line + "\r\n" for line in lines).encode("utf-16-le"))


def macro_lines(data):
    """The lines of a macro file with the code unit at which each begins
    (unit 0 is the byte-order mark), as the dialog's step label counts."""
    assert data.startswith(b"\xff\xfe")
    text = data[2:].decode("utf-16-le")
    assert text.endswith("\r\n") and "\n" not in text.replace("\r\n", "")
    lines, unit = [], 1
    for line in text.split("\r\n")[:-1]:
        lines.append((unit, line))
        unit += len(line) + 2
    return lines, 1 + len(text)


def run_to_end(driver, dlg, name):
    """Runs macro `name` and returns the step label once it has finished."""
    run_macro_file(driver, dlg, name)
    driver.expect_message("Quorrin", texts()[22][1], timeout_ms=30000)
    assert driver.call("gettext", dlg, STATUS)[0] == "PEND"
    return driver.call("gettext", dlg, STEP)[0]


def step_label(unit, length):
    return "Step:%03d/%03d" % (unit, length)


def test_recorded_exchange_replays_and_fails_at_the_first_differing_answer(app, driver, com3):
    q = app(dict(ENGLISH))
    write_macro(q, "record.txt", RECORDING)
    harness.open_ports(driver)
    device = Device(com3, dict(ANSWERS), DELAY_S)
    device.start()
    try:
        dlg = open_macro_dialog(driver)
        run_to_end(driver, dlg, "record.txt")
        assert device.received() == b"REQ1\rREQ2\rREQ3\r"
        driver.call("click", dlg, CLOSE)
        assert harness.wait_for(lambda: dialog_closed(driver, texts()[82][1]), 10)
        harness.save_log_when(driver, q, "recorded",
                              lambda r: harness.received(r, 1) == b"ANS1\r\nANS2\r\nANS3\r\n")

        driver.command(CMD_SAVE_AS_MACRO)
        driver.file_dialog("replay.txt")
        lines, length = macro_lines(written_file(driver, q.path("replay.txt"), 15))
        text = [line for _, line in lines]
        assert text[0].startswith(";"), "the first line is a comment, so no label sits on it"
        sends = [line for line in text if line.startswith("SEND ")]
        assert sends == ['SEND "REQ1"0D', 'SEND "REQ2"0D', 'SEND "REQ3"0D']
        # The pause before the third request (the TIME line and the wait for
        # the second answer's end) comes back as at least as many units.
        between = text[text.index(sends[1]):text.index(sends[2])]
        pauses = [int(m.group(1)) for m in (re.match(r"TIME (\d{3})$", line) for line in between) if m]
        assert pauses and sum(pauses) >= 4, between
        for n, answer in ((1, "ANS1"), (2, "ANS2"), (3, "ANS3")):
            assert any(line.startswith("CMPL 01,P%02d," % n) and '"%s"0D0A' % answer in line for line in text), n
        failure = {n: next(unit for unit, line in lines[lines.index(next(x for x in lines if x[1] == ":F%02d" % n)):]
                           if line == "PEND") for n in (1, 2, 3)}
        last_pend = lines[-1]
        assert last_pend[1] == "PEND"

        # The device answers as recorded: the macro ends at its last PEND
        # with the same requests on the wire, in the same order.
        driver.command(CMD_CLEAR)
        driver.expect_message("Message", "Clear all captured data?", button=6)
        device.reset(dict(ANSWERS))
        dlg = open_macro_dialog(driver)
        assert run_to_end(driver, dlg, "replay.txt") == step_label(last_pend[0], length)
        assert device.received() == b"REQ1\rREQ2\rREQ3\r"

        # The second answer differs: the macro stops at step 02's failure
        # label and never sends the third request.
        device.reset({b"REQ1\r": b"ANS1\r\n", b"REQ2\r": b"ANSX\r\n", b"REQ3\r": b"ANS3\r\n"})
        assert run_to_end(driver, dlg, "replay.txt") == step_label(failure[2], length)
        assert device.received() == b"REQ1\rREQ2\r"

        # No answer at all to the first request fails at step 01.
        device.reset({})
        driver.call("click", dlg, RUN)
        driver.expect_message("Quorrin", texts()[22][1], timeout_ms=30000)
        assert driver.call("gettext", dlg, STEP)[0] == step_label(failure[1], length)
        assert device.received() == b"REQ1\r"
    finally:
        device.stop()


class PacedDevice(Device):
    """A device whose answers take their time on the line, as at `baud`
    (ten bits a character): a pty itself passes bytes at once."""

    def __init__(self, pty, answers, delay, baud):
        super().__init__(pty, answers, delay)
        self.char_s = 10.0 / baud

    def answer(self, answer):
        began = time.monotonic()
        for i in range(0, len(answer), 8):
            # Each piece leaves when the line would have carried it.
            wait = began + i * self.char_s - time.monotonic()
            if wait > 0:
                time.sleep(wait)
            self.pty.write(answer[i:i + 8])


LONG = bytes(0x21 + (i * 7) % 90 for i in range(243)) + b"\r\n"
PACED = {b"DUMP\r": LONG, b"NEXT\r": b"DONE\r\n"}


def test_a_long_answer_at_9600_baud_replays_to_the_end(app, driver, com3):
    # 245 bytes at 9600 baud take a quarter of a second on the line and come
    # in as three chunks, the last one after the read interval time-out.
    q = app(dict(ENGLISH, rs_speed=9600))
    write_macro(q, "record.txt", ["; a long answer, then a short one",
                                  "SEND 'DUMP'0D", "READ 01,245,050", "SEND 'NEXT'0D", "READ 01,006,030", "PEND"])
    harness.open_ports(driver)
    device = PacedDevice(com3, dict(PACED), 0.02, 9600)
    device.start()
    try:
        dlg = open_macro_dialog(driver)
        run_to_end(driver, dlg, "record.txt")
        driver.call("click", dlg, CLOSE)
        assert harness.wait_for(lambda: dialog_closed(driver, texts()[82][1]), 10)
        harness.save_log_when(driver, q, "recorded", lambda r: harness.received(r, 1) == LONG + b"DONE\r\n")

        driver.command(CMD_SAVE_AS_MACRO)
        driver.file_dialog("replay.txt")
        lines, length = macro_lines(written_file(driver, q.path("replay.txt"), 15))
        text = [line for _, line in lines]
        reads = [line for line in text if line.startswith(("READ ", "ZRED "))]
        assert [r[:12] for r in reads] == ["ZRED 01,245,", "ZRED 01,006,"], reads
        failure = next(unit for unit, line in lines[lines.index(next(x for x in lines if x[1] == ":F01")):]
                       if line == "PEND")

        driver.command(CMD_CLEAR)
        driver.expect_message("Message", "Clear all captured data?", button=6)
        device.reset(dict(PACED))
        dlg = open_macro_dialog(driver)
        assert run_to_end(driver, dlg, "replay.txt") == step_label(lines[-1][0], length)
        assert device.received() == b"DUMP\rNEXT\r"

        # One byte of the long answer differs: step 01 fails.
        wrong = LONG[:200] + b"?" + LONG[201:]
        device.reset({b"DUMP\r": wrong, b"NEXT\r": b"DONE\r\n"})
        assert run_to_end(driver, dlg, "replay.txt") == step_label(failure, length)
        assert device.received() == b"DUMP\r"
    finally:
        device.stop()


def test_an_empty_capture_is_refused(app, driver, com3):
    q = app(dict(ENGLISH))
    driver.command(CMD_SAVE_AS_MACRO)
    driver.expect_message("Quorrin", texts()[308][1])
    assert not q.path("replay.txt").exists()


def saved_macro(driver, q, name):
    driver.command(CMD_SAVE_AS_MACRO)
    driver.file_dialog(name)
    return [line for _, line in macro_lines(written_file(driver, q.path(name), 15))[0]]


def test_a_drag_over_the_cells_saves_only_the_selected_exchange(app, driver, display):
    # The colors of the roles tell CH1's cells from CH2's on the screen.
    from test_data_view import CH2, EOF_BACK, box, client, load, shot, start, write_log
    q = start(app, driver, dict(ENGLISH))
    write_log(q.path("two.log"), [(2, b"AB"), (1, b"cd"), (4, b"EF"), (3, b"gh"), (2, b"IJ"), (1, b"kl")])
    load(driver, "two.log")
    area = client(driver)

    def painted_to_the_end(p):
        # The end marker stands after the last record once the whole log is painted.
        ch2, end = box(p, area, CH2), box(p, area, EOF_BACK)
        return ch2 and end and end[0] > ch2[0] + ch2[2]
    before = shot(display, "select_before", painted_to_the_end)
    x, y, w, h = box(before, area, CH2)
    # From CH2's first sent byte (lower strip) to its last received byte
    # (upper strip): the drag selects CH2's exchange and nothing of CH1's.
    driver.call("drag", "main", x + 2, y + h - 3, x + w - 3, y + 3)
    # The selected cells are drawn in CH2's color as background.
    selected = shot(display, "select_after",
                    lambda p: box(p, area, CH2) and box(p, area, CH2)[2] * box(p, area, CH2)[3] > 2 * w * h)
    assert box(selected, area, CH2)[0] <= x + 1
    lines = saved_macro(driver, q, "part.txt")
    assert lines[0].endswith("records 10 to 16"), lines[0]
    assert [line for line in lines if line.startswith(("SEND ", "SED2 "))] == ['SED2 "EF"']
    assert any(line.startswith("CMPL 01,P01,") and line.endswith('"gh"') for line in lines), lines
    assert not any('"cd"' in line or '"kl"' in line for line in lines)

    # A click without a drag takes the selection away: the whole capture.
    driver.call("drag", "main", x + 2, y + h - 3, x + 2, y + h - 3)
    shot(display, "select_cleared", lambda p: box(p, area, CH2) == (x, y, w, h))
    lines = saved_macro(driver, q, "all.txt")
    assert [line for line in lines if line.startswith(("SEND ", "SED2 "))] == ['SEND "AB"', 'SED2 "EF"', 'SEND "IJ"']
