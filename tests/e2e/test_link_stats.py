"""The link statistics window: its figures of real traffic on pty-backed
ports (requests sent from the input send window, answered by the peer;
line monitor data from two peers), its copy on the clipboard, its one
window per run, and its charts in the light and the dark palette."""
import harness
from harness import client_shot, dialog_closed, texts

CMD_LINK_STATS, CMD_INPUT, CMD_CLEAR = 177, 150, 145
COPY, CLOSE = 251, 252
STREAM_NAMES, CHUNKS, BYTES, RATE = 404, 431, 435, 439
SILENCE_COUNT, FIGURE_VALUE, LATENCY_MODE, PRECISION = 443, 448, 415, 421
CH1_RX, CH1_TX, CH2_RX, CH2_TX = 0, 1, 2, 3
INPUT_FIELD, SEND_CH1, SEND_CH2, INPUT_CLR = 501, 252, 253, 256
# Bar colours of the default palettes: silences in the gap text colour,
# latencies in the CH2 text colour.
LIGHT_BARS = ((0, 0, 255), (255, 0, 0))
DARK_BARS = ((128, 255, 255), (255, 128, 128))
LIGHT_DIALOG, DARK_DIALOG = (240, 240, 240), (32, 32, 32)


def title():
    return texts()[316][1]


def open_stats(driver):
    driver.command(CMD_LINK_STATS)
    hwnd, _ = driver.call("dialog", title(), 10000, timeout=20)
    return hwnd


def stats_windows(driver):
    return [w for w in driver.call("windows") if w.split("|")[-1] == title()]


def text(driver, dlg, id):
    return driver.call("gettext", dlg, id)[0]


def stream(driver, dlg, k):
    """(chunks, bytes, rate) of stream k as the window shows them."""
    return tuple(text(driver, dlg, base + k) for base in (CHUNKS, BYTES, RATE))


def latency(driver, dlg):
    """Count, minimum, median, 95th percentile and maximum as shown."""
    return [text(driver, dlg, FIGURE_VALUE + k) for k in range(5)]


def shows(driver, dlg, k, chunks, count):
    """For wait_for: stream k shows these chunks and bytes."""
    return stream(driver, dlg, k)[:2] == (str(chunks), str(count))


def place(driver, dlg, x, y):
    left, top, right, bottom = map(int, driver.call("rect", dlg))
    driver.call("move", dlg, x, y, right - left, bottom - top)


def copied(driver, dlg):
    """The window's copy, read back from the clipboard as lines of fields."""
    driver.call("clipboard", "before")
    driver.call("press", dlg, COPY)
    got = harness.wait_for(lambda: (lambda t: t if t != "before" else None)(driver.call("clipboard")[0]), 10)
    assert got, "Copy put nothing on the clipboard"
    assert got.endswith("\r\n")
    return [line.split("\t") for line in got[:-2].split("\r\n")]


def longest_run(shot, colour):
    """The longest row of pixels of one colour in the shot: a bar, not the
    thin strokes of text."""
    best = 0
    for y in range(shot.h):
        run = 0
        for x in range(shot.w):
            run = run + 1 if shot.at(x, y) == colour else 0
            best = max(best, run)
    return best


def charts_drawn(shot, background, colours):
    """The window's own background and a bar of each colour are there."""
    return shot.at(3, 3) == background and all(longest_run(shot, c) >= 20 for c in colours)


def send(driver, window, button, data):
    driver.call("press", window, INPUT_CLR)
    driver.call("keys", window, INPUT_FIELD, data)
    driver.call("press", window, button)


def test_sent_requests_and_their_answers_counted_shown_and_copied(app, driver, display, com3, com4):
    app({"moji_type": 1, "rs_comport2": 4})
    harness.open_ports(driver)
    dlg = open_stats(driver)
    assert latency(driver, dlg) == ["0", "-", "-", "-", "-"]
    assert text(driver, dlg, PRECISION) == texts()[327][1] % 25
    assert text(driver, dlg, LATENCY_MODE) == texts()[338][1]

    # Three requests on CH1, each answered by the peer; one on CH2. Each
    # answer is counted before the next request goes, so every request
    # meets its own answer.
    driver.command(CMD_INPUT)
    window, _ = driver.call("dialog", texts()[60][1], 10000, timeout=20)
    for i in range(3):
        send(driver, window, SEND_CH1, "REQ%d" % i)
        assert com3.read(4, timeout=5) == b"REQ%d" % i
        com3.write(b"ANSWER%d\r\n" % i)
        assert harness.wait_for(lambda: shows(driver, dlg, CH1_RX, i + 1, 9 * (i + 1)), 10), stream(driver, dlg, CH1_RX)
    send(driver, window, SEND_CH2, "Q")
    assert com4.read(1, timeout=5) == b"Q"
    com4.write(b"OK")
    assert harness.wait_for(lambda: shows(driver, dlg, CH2_RX, 1, 2), 10), stream(driver, dlg, CH2_RX)
    assert harness.wait_for(lambda: latency(driver, dlg)[0] == "4", 5), latency(driver, dlg)

    assert stream(driver, dlg, CH1_TX)[:2] == ("3", "12")
    assert stream(driver, dlg, CH2_TX)[:2] == ("1", "1")
    assert stream(driver, dlg, CH2_RX)[2] == "-"  # one chunk spans no time
    assert float(stream(driver, dlg, CH1_TX)[2]) > 0
    figures = latency(driver, dlg)
    low, median, p95, high = (float(v) for v in figures[1:])
    # Each answer came after its request; the peer answers at once, but
    # Wine's polling and this busy machine may add some. A pty has no line
    # time: an answer back within the request's own time on the line (4
    # characters at 9600 baud) stands after it at its time, 0.
    assert 0 <= low <= median <= p95 <= high < 2000
    assert all(len(v.split(".")[1]) == 3 for v in figures[1:])
    # Seven silences between the eight chunks.
    assert sum(int(text(driver, dlg, SILENCE_COUNT + k)) for k in range(5)) == 7

    # Closing the input send window lets Wine put the main window over it;
    # a second command brings it forward instead of opening another.
    driver.call("close", window)
    assert harness.wait_for(lambda: dialog_closed(driver, texts()[60][1]), 10)
    driver.command(CMD_LINK_STATS)
    place(driver, dlg, 40, 60)
    shot = harness.screen_until(lambda: client_shot(display, driver, dlg, "link_stats_light"),
                                lambda s: charts_drawn(s, LIGHT_DIALOG, LIGHT_BARS))
    assert charts_drawn(shot, LIGHT_DIALOG, LIGHT_BARS), "the window and its bar charts are not on the screen"
    harness.after_posted(driver)
    assert len(stats_windows(driver)) == 1

    lines = copied(driver, dlg)
    assert lines[0] == [title()]
    assert lines[1] == ["", texts()[317][1], texts()[318][1], texts()[319][1]]
    for k in range(4):
        assert lines[2 + k] == [texts()[334 + k][1], *stream(driver, dlg, k)]
    assert lines[6] == [texts()[320][1]]
    for k in range(5):
        assert lines[7 + k] == [texts()[329 + k][1], text(driver, dlg, SILENCE_COUNT + k)]
    assert lines[12] == [texts()[321][1]] and lines[13] == [texts()[338][1]]
    for k in range(5):
        assert lines[14 + k] == [texts()[322 + k][1], figures[k]]
    assert lines[19] == [texts()[462][1], "0"] and lines[20] == [texts()[463][1], "0.000"]
    assert lines[21] == [text(driver, dlg, PRECISION)] and len(lines) == 22


    # A cleared capture shows nothing again, at the next tick.
    driver.command(CMD_CLEAR)
    driver.expect_message(texts()[4][1], texts()[5][1], button=6)  # Yes
    assert harness.wait_for(lambda: shows(driver, dlg, CH1_RX, 0, 0), 5), stream(driver, dlg, CH1_RX)
    assert latency(driver, dlg)[0] == "0"
    driver.call("press", dlg, CLOSE)
    assert harness.wait_for(lambda: dialog_closed(driver, title()), 10)


def test_line_monitor_times_ch1_data_to_the_next_ch2_data_in_the_dark_palette(app, driver, display, com3, com4):
    q = app({"moji_type": 1, "rs_comport2": 4, "lm_mode": 1})
    harness.restart_in_theme(driver, q, 1)
    harness.open_ports(driver)
    dlg = open_stats(driver)
    assert text(driver, dlg, LATENCY_MODE) == texts()[339][1]
    # A tap on each direction of a polled line: CH1 hears the requests,
    # CH2 the answers.
    for i in range(2):
        com3.write(b"POLL%d" % i)
        assert harness.wait_for(lambda: shows(driver, dlg, CH1_RX, i + 1, 5 * (i + 1)), 10), stream(driver, dlg, CH1_RX)
        com4.write(b"DATA%d!" % i)
        assert harness.wait_for(lambda: shows(driver, dlg, CH2_RX, i + 1, 6 * (i + 1)), 10), stream(driver, dlg, CH2_RX)
    assert harness.wait_for(lambda: latency(driver, dlg)[0] == "2", 5), latency(driver, dlg)
    assert stream(driver, dlg, CH1_TX)[:2] == ("0", "0")

    lines = copied(driver, dlg)
    assert lines[13] == [texts()[339][1]]
    assert lines[14] == [texts()[322][1], "2"]

    place(driver, dlg, 40, 60)
    shot = harness.screen_until(lambda: client_shot(display, driver, dlg, "link_stats_dark"),
                                lambda s: charts_drawn(s, DARK_DIALOG, DARK_BARS))
    assert charts_drawn(shot, DARK_DIALOG, DARK_BARS), "the window and its bar charts are not on the screen"
