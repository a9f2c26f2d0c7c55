"""Review of Repeat: a write held on the line (output stopped on Quorrin's
pty, as XOFF would) past the beat; two windows' Repeat dialogs open at once."""
import contextlib
import os
import termios
import time

import harness
from harness import texts
from test_repeat import CMD_INPUT, CMD_STOP_REPEATS, CLOSE, COUNT, ENGLISH, EVERY, FRAME, FRAMED, REPEAT_OPEN, \
    START, Arrivals, close_dialog, counts, counts_say, gaps_ms, repeat_dialog, start_repeat


def repeating_input_window(app, driver, com3):
    q = app(dict(ENGLISH, **FRAMED))
    (q.dir / "mdata.txt").write_bytes(b"\xff\xfe" + "0241420D\r\n".encode("utf-16-le"))
    harness.open_ports(driver)
    driver.command(CMD_INPUT)
    window = driver.call("dialog", "*", 10000, timeout=20)[0]
    driver.call("keys", window, 501, "ABC")
    com3.drain(0.1)
    return window


@contextlib.contextmanager
def repeating_every_100ms(app, driver, com3, frames_first):
    """(window, arrivals, hold): a repeat running on CH1 with `frames_first`
    frames arrived, and a descriptor of Quorrin's pty to stop its output."""
    window = repeating_input_window(app, driver, com3)
    arrivals = Arrivals(com3)
    arrivals.start()
    hold = os.open(com3.app_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        close_dialog(driver, start_repeat(driver, window, 100, 0))
        assert harness.wait_for(lambda: len(arrivals.data()) >= frames_first * len(FRAME), 10), "nothing was repeated"
        yield window, arrivals, hold
    finally:
        termios.tcflow(hold, termios.TCOON)
        arrivals.stop()
        os.close(hold)


def test_a_write_held_past_the_beat_is_not_followed_by_a_frame_right_behind_it(app, driver, display, com3):
    with repeating_every_100ms(app, driver, com3, 3) as (_, arrivals, hold):
        # Held just after a frame came and freed 30 ms past a later beat, so
        # the beat after the free line is 70 ms away: one due before it would
        # be sent on its own beat, not behind the held write.
        n = len(arrivals.data())
        assert harness.wait_for(lambda: len(arrivals.data()) > n, 5, step=0.002)
        came = arrivals.pieces[-1][0]
        termios.tcflow(hold, termios.TCOOFF)
        time.sleep(max(0.0, came + 0.33 - time.monotonic()))  # the hold itself
        termios.tcflow(hold, termios.TCOON)
        before = len(arrivals.data())
        assert harness.wait_for(lambda: len(arrivals.data()) >= before + 4 * len(FRAME), 10)
        driver.command(CMD_STOP_REPEATS)
    times = arrivals.frame_times(len(FRAME))
    gaps = gaps_ms(times)
    assert arrivals.data()[:len(FRAME) * len(times)] == FRAME * len(times)
    assert max(gaps) > 250, f"the line was never held: {gaps}"
    # The held write goes when the line is free; the beats that came due
    # meanwhile are skipped, so the next frame waits for its own beat.
    assert min(gaps) > 50, f"a frame went right behind the held one: {[round(g) for g in gaps]} ms"


def test_a_write_held_across_stop_all_repeats_is_counted_with_the_sends(app, driver, display, com3):
    with repeating_every_100ms(app, driver, com3, 2) as (window, arrivals, hold):
        termios.tcflow(hold, termios.TCOOFF)
        time.sleep(0.25)  # a write is held on the line
        driver.command(CMD_STOP_REPEATS)
        assert harness.wait_for(lambda: counts_say(counts(driver, window), False), 5), counts(driver, window)
        termios.tcflow(hold, termios.TCOON)
        # The held write, if it still goes: the line quiet for half a second.
        for _ in range(10):
            n = len(arrivals.data())
            if harness.holds_for(lambda: len(arrivals.data()) == n, 0.5):
                break
    frames = len(arrivals.data()) // len(FRAME)
    # What crossed the line and what the window says was sent agree.
    assert counts_say(counts(driver, window), False)[0] == frames, (counts(driver, window), frames)


def test_the_repeat_dialog_of_one_window_still_repeats_that_window_after_another_ones_closed(app, driver, display,
                                                                                          com3):
    window = repeating_input_window(app, driver, com3)
    presets = harness.open_preset_window(driver)
    mine = repeat_dialog(driver, window)
    # The preset window is not the Repeat dialog's owner: its own Repeat...
    # opens a second dialog beside the first; the user closes it.
    driver.call("click", presets, REPEAT_OPEN)
    title = texts()[701][1]

    def second():
        for line in driver.call("windows"):
            hwnd, _, text = line.split("|", 2)
            if text == title and hwnd != mine:
                return hwnd
        return None
    other = harness.wait_for(second, 20)
    assert other, "the preset window's Repeat dialog did not open"
    driver.call("answer", other, CLOSE)
    # Back in the input send window's dialog: its Start repeats its frame.
    driver.call("settext", mine, EVERY, "100")
    driver.call("settext", mine, COUNT, "3")
    driver.call("press", mine, START)
    assert com3.read(3 * len(FRAME), timeout=5) == FRAME * 3, "Start did not repeat the input send window's frame"
