"""Repeat: a frame sent on a steady beat from the input send window, a
preset row and the Modbus builder, on pty-backed ports. What crossed the
line is read at the pty's far end with its arrival times; the counts are
read from the windows."""
import os
import select
import threading
import time

import harness
from harness import texts
from test_reconnect import held, port_back, port_gone

ENGLISH = {"moji_type": 1, "rs_comport": 3, "rs_comport2": 4}
FRAMED = {"rs_stchar_on": 1, "rs_stchar": "02", "rs_spchar_on": 1, "rs_spchar": "03", "rs_scchar_on": 1,
          "rs_scchar_mode": 0, "rs_scchar_type": 0, "rs_incheck_on": 1, "rs_spcheck_on": 1, "rs_endchar_on": 3}
FRAME = bytes.fromhex("024142430334330D0A")  # "ABC" framed as FRAMED says
CMD_INPUT, CMD_MODBUS, CMD_STOP_REPEATS = 150, 153, 192
REPEAT_OPEN, REPEAT_COUNTS = 720, 721
START, STOP, CLOSE, ROW, EVERY, COUNT, CHANNEL = 251, 252, 253, 501, 502, 503, 504
CB_SETCURSEL = 0x014E
MB_ASSEMBLE = 251


class Arrivals(threading.Thread):
    """Reads a pty's far end, noting when each piece arrived."""

    def __init__(self, pair):
        super().__init__(daemon=True)
        self.fd, self.pieces, self.done = pair.fd, [], threading.Event()

    def run(self):
        while not self.done.is_set():
            if select.select([self.fd], [], [], 0.05)[0]:
                try:
                    data = os.read(self.fd, 4096)
                except BlockingIOError:
                    continue
                self.pieces.append((time.monotonic(), data))

    def data(self):
        return b"".join(d for _, d in self.pieces)

    def frame_times(self, size):
        """The arrival time of each frame's first byte."""
        times, at = [], 0
        for t, d in list(self.pieces):
            for _ in range(at, at + len(d)):
                if at % size == 0:
                    times.append(t)
                at += 1
        return times

    def stop(self):
        self.done.set()
        self.join(2)


def repeat_dialog(driver, window):
    driver.call("click", window, REPEAT_OPEN)
    return driver.call("dialog", texts()[701][1], 10000, timeout=20)[0]


def start_repeat(driver, window, every, count, channel=1, row=None):
    dlg = repeat_dialog(driver, window)
    if row is not None:
        driver.call("settext", dlg, ROW, str(row))
    driver.call("settext", dlg, EVERY, str(every))
    driver.call("settext", dlg, COUNT, str(count))
    driver.call("send", driver.call("child", dlg, CHANNEL)[0], CB_SETCURSEL, channel - 1, 0)
    driver.call("press", dlg, START)
    return dlg


def close_dialog(driver, dlg):
    driver.call("answer", dlg, CLOSE)


def counts(driver, window):
    return driver.call("gettext", window, REPEAT_COUNTS)[0]


def counts_say(text, running):
    """Parses a counts line: (sent, skipped) when it is of the kind asked."""
    form = texts()[708 if running else 709][1]
    head = form.split("%")[0]
    if not text.startswith(head):
        return None
    numbers = [int(w.strip(",")) for w in text[len(head):].replace(",", " ").split() if w.strip(",").isdigit()]
    return tuple(numbers) if len(numbers) == 2 else None


def gaps_ms(times):
    return [1000 * (b - a) for a, b in zip(times, times[1:])]


def test_a_repeat_every_100ms_sends_50_frames_on_the_beat(app, driver, display, ports):
    com3 = ports["COM3"]
    app(dict(ENGLISH, **FRAMED))
    harness.open_ports(driver)
    driver.command(CMD_INPUT)
    window = driver.call("dialog", "*", 10000, timeout=20)[0]
    driver.call("keys", window, 501, "ABC")
    com3.drain(0.1)
    arrivals = Arrivals(com3)
    arrivals.start()
    try:
        dlg = start_repeat(driver, window, 100, 50)
        harness.screenshot(display, "repeat_dialog_light")
        close_dialog(driver, dlg)
        # The window answers at once all along (the repeat is not its thread's).
        slowest, deadline = 0, time.monotonic() + 15
        while len(arrivals.data()) < 50 * len(FRAME) and slowest < 50 and time.monotonic() < deadline:
            slowest = max(slowest, harness.answer_ms(driver, window))
        assert slowest < 50, f"the window took {slowest} ms to answer while repeating"
        assert harness.wait_for(lambda: counts_say(counts(driver, window), False), 5), counts(driver, window)
        time.sleep(0.3)  # nothing more may come: a 51st frame would be due by now
    finally:
        arrivals.stop()
    assert arrivals.data() == FRAME * 50
    gaps = gaps_ms(arrivals.frame_times(len(FRAME)))
    assert min(gaps) > 50, f"frames bunched: {sorted(gaps)[:5]} ms"
    assert 4.6 < sum(gaps) / 1000 < 5.4, sum(gaps)  # 49 beats of 100 ms, not a drift of whole beats
    assert counts_say(counts(driver, window), False) == (50, 0)
    harness.screenshot(display, "repeat_input_send_light")


def test_a_lost_port_skips_beats_and_the_repeat_goes_on_when_it_is_back(app, driver, display, ports):
    holders = []
    try:
        app(dict(ENGLISH, **FRAMED, rs_comport=5), args=["/reconnect", "/open"])
        assert harness.wait_for(lambda: held(driver, ports["COM5"]), 10), "/open opened nothing"
        driver.command(CMD_INPUT)
        window = driver.call("dialog", "*", 10000, timeout=20)[0]
        driver.call("keys", window, 501, "ABC")
        close_dialog(driver, start_repeat(driver, window, 100, 0))
        assert ports["COM5"].read(len(FRAME), timeout=5) == FRAME, "nothing was repeated"
        port_gone(ports)
        # Lost: the beats pass skipped; the window answers.
        assert harness.wait_for(lambda: (counts_say(counts(driver, window), True) or (0, 0))[1] >= 10, 10), \
            counts(driver, window)
        assert harness.answer_ms(driver, window) < 50
        pair = port_back(ports, holders)
        arrivals = Arrivals(pair)
        arrivals.start()
        try:
            assert harness.wait_for(lambda: len(arrivals.data()) >= 10 * len(FRAME), 15), \
                "the repeat did not go on once the port was back"

        finally:
            arrivals.stop()
        # The window's line shows both (it is refreshed every 250 ms).
        assert harness.wait_for(lambda: (counts_say(counts(driver, window), True) or (0, 0))[0] >= 11, 5), \
            counts(driver, window)
        assert counts_say(counts(driver, window), True)[1] >= 10
        # What came once it was back: whole frames on the beat, no burst of
        # the ones skipped while it was away.
        data, times = arrivals.data(), arrivals.frame_times(len(FRAME))
        assert data == FRAME * len(times) and min(gaps_ms(times)) > 50, (data[:40], gaps_ms(times)[:5])
        harness.screenshot(display, "repeat_lost_port")
        # Close Ports stops it: opened again, nothing more comes.
        harness.close_ports(driver)
        assert harness.wait_for(lambda: counts_say(counts(driver, window), False), 5), counts(driver, window)
        ports["COM5"].drain(0.3)  # what it sent before the close
        harness.open_ports(driver)
        assert harness.wait_for(lambda: held(driver, ports["COM5"]), 10)
        assert ports["COM5"].drain(0.5) == b""
        assert counts_say(counts(driver, window), False) is not None
    finally:
        for fd in holders:
            os.close(fd)


def test_preset_and_modbus_repeats_run_together_and_stop_all_stops_both(app, driver, display, com3, com4):
    q = app(dict(ENGLISH))
    (q.dir / "mdata.txt").write_bytes(b"\xff\xfe" + "0241420D\r\n\"Hi\"0D0A\r\n".encode("utf-16-le"))
    harness.open_ports(driver)
    presets = harness.open_preset_window(driver)
    # Bad fields are refused with a message and start nothing.
    dlg = start_repeat(driver, presets, 5, 0, channel=2, row=2)
    driver.expect_message("Quorrin", texts()[710][1])
    driver.call("settext", dlg, EVERY, "100")
    driver.call("settext", dlg, ROW, "0")
    driver.call("press", dlg, START)
    driver.expect_message("Quorrin", texts()[712][1])
    assert com4.drain(0.3) == b""
    driver.call("settext", dlg, ROW, "2")
    driver.call("press", dlg, START)
    harness.screenshot(display, "repeat_preset_dialog")
    close_dialog(driver, dlg)
    assert com4.read(8, timeout=5) == b"Hi\r\nHi\r\n"
    driver.command(CMD_MODBUS)
    builder = driver.call("dialog", "Modbus", 10000, timeout=20)[0]
    driver.call("press", builder, MB_ASSEMBLE)
    frame = b":010300010001FA\r\n"
    close_dialog(driver, start_repeat(driver, builder, 50, 0, channel=1))
    assert com3.read(3 * len(frame), timeout=5) == frame * 3
    assert counts_say(counts(driver, builder), True) is not None
    assert counts_say(counts(driver, presets), True) is not None
    harness.screenshot(display, "repeat_modbus_light")
    driver.call("answer", builder, 256)  # the builder's Close: its repeat goes on
    assert len(com3.read(len(frame), timeout=3)) == len(frame)
    driver.command(CMD_STOP_REPEATS)
    assert harness.wait_for(lambda: counts_say(counts(driver, presets), False), 5), counts(driver, presets)
    com3.drain(0.3)
    com4.drain(0.3)
    assert com3.drain(0.5) == b"" and com4.drain(0.1) == b""
    # The same windows in the dark palette, for the eye (screenshots).
    harness.restart_in_theme(driver, q)
    harness.open_ports(driver)
    presets = harness.open_preset_window(driver)
    dlg = start_repeat(driver, presets, 200, 3, channel=2, row=1)
    assert com4.read(3 * 4, timeout=5) == b"\x02AB\r" * 3
    harness.screenshot(display, "repeat_preset_dark")
    close_dialog(driver, dlg)
    assert harness.wait_for(lambda: counts_say(counts(driver, presets), False) == (3, 0), 5), counts(driver, presets)
