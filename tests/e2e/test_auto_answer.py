"""The auto answer window playing a device on CH1 against a real pty peer:
answers within 100 ms on the peer's clock (also to a match split over two
writes), recorded in the capture as sent, rules switched off stay silent,
fire counts, answers.txt problems with their line numbers, a saved file
that loads again, line monitor mode, and the window in both palettes."""
import time

import harness
from harness import XOFF, XON, assert_answering, texts

CMD_AUTO_ANSWER, CMD_DCB_CH1, READ_INTERVAL = 180, 163, 335
ADD, CHANGE, DELETE, LOAD, SAVE, CLOSE = 251, 252, 253, 254, 255, 256
STATUS, NOTICE, LIST, CHANNEL, MATCH, DELAY, ANSWER = 405, 406, 501, 502, 503, 504, 505
LVIS_CHECKED, LVIS_UNCHECKED, LVIS_STATEIMAGEMASK = 0x2000, 0x1000, 0xF000


def utf16_file(lines):
    return b"\xff\xfe" + "".join(line + "\r\n" for line in lines).encode("utf-16-le")


def open_window(driver):
    driver.command(CMD_AUTO_ANSWER)
    hwnd, _ = driver.call("dialog", texts()[375][1], 10000, timeout=20)
    return hwnd


def rows(driver, dlg):
    """Per rule: (on, channel, match, delay, answer, fired) as the list shows it."""
    out = []
    for row in driver.call("rows", dlg, LIST):
        on, *cells = row.split("|")
        out.append((on == "1", *cells))
    return out


def status(driver, dlg):
    return driver.call("gettext", dlg, STATUS)[0]


def add_rule(driver, dlg, match, delay, answer):
    for id, text in ((MATCH, match), (DELAY, delay), (ANSWER, answer)):
        driver.call("settext", dlg, id, text)
    before = len(rows(driver, dlg))
    driver.call("press", dlg, ADD)
    assert harness.wait_for(lambda: len(rows(driver, dlg)) == before + 1, 10), rows(driver, dlg)


def short_read_interval(driver):
    """CH1's read interval time-out down to 5 ms in the DCB and timeouts
    dialog: a received chunk reaches the capture once the line has been
    quiet that long (100 ms by default), so a device answering within
    100 ms runs with a shorter one, as a user playing one would set it."""
    driver.command(CMD_DCB_CH1)
    dlg = driver.call("dialog", "DCB&TIME_Setting for CH1", 10000, timeout=20)[0]
    driver.call("settext", dlg, READ_INTERVAL, "5")
    driver.call("click", dlg, 251)
    assert harness.wait_for(lambda: harness.dialog_closed(driver, "DCB&TIME_Setting for CH1"), 10)


def answered_in(com3, request, answer, pause=None):
    """Writes the request (in two pieces with `pause` s between them when
    given) and returns the seconds from its last byte to the whole answer,
    on this clock."""
    if pause is None:
        com3.write(request)
    else:
        com3.write(request[:2])
        time.sleep(pause)  # the gap the matcher must bridge, not a wait for an effect
        com3.write(request[2:])
    start = time.monotonic()
    got = com3.read(len(answer), timeout=5)
    assert got == answer, got
    elapsed = time.monotonic() - start
    print("answer %r after %.1f ms" % (answer, elapsed * 1000))
    return elapsed


def test_answers_in_time_recorded_as_sent_counted_and_switched_off(app, driver, display, com3):
    q = app({"moji_type": 1})
    harness.open_ports(driver)
    short_read_interval(driver)
    dlg = open_window(driver)
    assert rows(driver, dlg) == []
    assert status(driver, dlg) == texts()[387][1]
    add_rule(driver, dlg, '"PING"', "0", '"PONG"')
    add_rule(driver, dlg, '"HELLO"0D', "20", '"WORLD"0D0A')
    assert harness.wait_for(lambda: status(driver, dlg) == texts()[386][1] % (2, 2), 5), status(driver, dlg)
    assert rows(driver, dlg) == [(True, "CH1", '"PING"', "0", '"PONG"', "0"),
                                 (True, "CH1", '"HELLO"0D', "20", '"WORLD"0D0A', "0")]

    # Whole, and split with a pause between the pieces.
    assert answered_in(com3, b"PING", b"PONG") < 0.1
    assert answered_in(com3, b"PING", b"PONG", pause=0.03) < 0.1
    # The delay is kept: the answer comes no earlier than 20 ms after.
    assert answered_in(com3, b"HELLO\r", b"WORLD\r\n") >= 0.02
    assert harness.wait_for(lambda: [r[5] for r in rows(driver, dlg)] == ["2", "1"], 5), rows(driver, dlg)

    # Switched off, the first rule stays silent; the other still answers.
    driver.call("rowstate", dlg, LIST, 0, LVIS_UNCHECKED, LVIS_STATEIMAGEMASK)
    assert harness.wait_for(lambda: status(driver, dlg) == texts()[386][1] % (1, 2), 5), status(driver, dlg)
    assert rows(driver, dlg)[0][0] is False
    com3.write(b"PING")
    assert com3.read(4, timeout=0.5) == b""
    assert answered_in(com3, b"HELLO\r", b"WORLD\r\n") < 1
    assert harness.wait_for(lambda: [r[5] for r in rows(driver, dlg)] == ["2", "2"], 5), rows(driver, dlg)

    # The capture holds every answer as sent on CH1, after its request; an
    # answer is recorded once its write has completed, which the window
    # looks at on its ticks.
    sent = b"PONG" * 2 + b"WORLD\r\n" * 2
    path = harness.save_log_when(driver, q, "answers", lambda records: harness.received(records, 2) == sent)
    _, _, records = harness.parse_log(path.read_bytes())
    assert harness.received(records, 2) == sent
    assert harness.received(records, 1) == b"PINGPINGHELLO\rPINGHELLO\r"

    # Closing the window stops answering.
    driver.call("press", dlg, CLOSE)
    assert harness.wait_for(lambda: harness.dialog_closed(driver, texts()[375][1]), 10)
    com3.write(b"HELLO\r")
    assert com3.read(7, timeout=0.5) == b""


def test_answers_file_problems_reported_and_saved_file_loads_again(app, driver, display, com3):
    q = app({"moji_type": 1})
    q.path("answers.txt").write_bytes(utf16_file([
        'CH1\t"PING"\t0\t"PONG"',
        'CH3\t"X"\t0\t"Y"',
        'off\tCH1\t"A"0D\t5\t"B"',
        'CH1\t"Q"\t70000\t"R"',
        'CH1\tonly three',
    ]))
    harness.open_ports(driver)
    short_read_interval(driver)
    driver.command(CMD_AUTO_ANSWER)
    box, caption, text = driver.message_box(15000)
    driver.answer(box, 1)
    lines = text.split("\n")
    assert caption == "FileError"
    assert lines[0] == texts()[389][1] % 3
    assert lines[1:4] == [texts()[390][1] % (2, texts()[393][1]),
                          texts()[390][1] % (4, texts()[395][1]),
                          texts()[390][1] % (5, texts()[392][1])]
    assert lines[4].endswith("answers.txt")
    dlg, _ = driver.call("dialog", texts()[375][1], 10000, timeout=20)
    assert harness.wait_for(lambda: len(rows(driver, dlg)) == 2, 10), rows(driver, dlg)
    assert rows(driver, dlg) == [(True, "CH1", '"PING"', "0", '"PONG"', "0"),
                                 (False, "CH1", "410D", "5", "42", "0")]
    assert answered_in(com3, b"PING", b"PONG") < 0.1

    # Changed, added and saved: the file is the writer's, and loads again.
    driver.call("rowstate", dlg, LIST, 1, 0x3, 0x3)  # selected and focused: its fields fill in
    assert harness.wait_for(lambda: driver.call("gettext", dlg, MATCH)[0] == "410D", 5)
    driver.call("settext", dlg, DELAY, "250")
    driver.call("press", dlg, CHANGE)
    assert harness.wait_for(lambda: rows(driver, dlg)[1][3] == "250", 5), rows(driver, dlg)
    add_rule(driver, dlg, "0103", "0", '"ok"09FF')
    saved = q.path("answers.txt")
    old = saved.read_bytes()
    driver.call("press", dlg, SAVE)
    assert harness.wait_for(lambda: saved.read_bytes() != old, 10)
    assert saved.read_bytes() == utf16_file([
        'CH1\t"PING"\t0\t"PONG"',
        'off\tCH1\t410D\t250\t42',
        'CH1\t0103\t0\t"ok"09FF',
    ])
    driver.call("rowstate", dlg, LIST, 0, 0x3, 0x3)
    driver.call("press", dlg, DELETE)
    assert harness.wait_for(lambda: len(rows(driver, dlg)) == 2, 5)
    driver.call("press", dlg, LOAD)
    assert harness.wait_for(lambda: len(rows(driver, dlg)) == 3, 10), rows(driver, dlg)
    assert rows(driver, dlg)[2] == (True, "CH1", "0103", "0", '"ok"09FF', "0")
    driver.no_message_box(500)


def test_line_monitor_sends_nothing_and_says_so(app, driver, display, com3, com4):
    q = app({"moji_type": 1, "rs_comport2": 4, "lm_mode": 1})
    q.path("answers.txt").write_bytes(utf16_file(['CH1\t"PING"\t0\t"PONG"']))
    harness.open_ports(driver)
    dlg = open_window(driver)
    assert harness.wait_for(lambda: len(rows(driver, dlg)) == 1, 10)
    assert status(driver, dlg) == texts()[388][1]
    com3.write(b"PING")
    assert harness.wait_for(lambda: rows(driver, dlg)[0][5] == "1", 5), rows(driver, dlg)
    assert com3.read(4, timeout=0.5) == b""
    harness.shot_until(display, "auto_answer_light", lambda path: path.exists(), driver=driver)

    main = harness.restart_in_theme(driver, q)
    assert main
    dlg = open_window(driver)
    assert harness.wait_for(lambda: len(rows(driver, dlg)) == 1, 10)
    harness.shot_until(display, "auto_answer_dark", lambda path: path.exists(), driver=driver)


def test_a_held_line_drops_answers_with_one_notice_and_never_blocks(app, driver, display, com3):
    # Xon/Xoff on CH1: the device's XOFF stops the port's output, so an
    # answer's write cannot complete until XON.
    q = app({"moji_type": 1, "rs_flow": 1})
    harness.open_ports(driver)
    short_read_interval(driver)
    dlg = open_window(driver)
    # Typed without quotes, PING is no notation: refused with its reason,
    # never taken as other bytes.
    for id, text in ((MATCH, "PING"), (DELAY, "0"), (ANSWER, '"PONG"')):
        driver.call("settext", dlg, id, text)
    driver.call("press", dlg, ADD)
    box, caption, text = driver.message_box(10000)
    driver.answer(box, 1)
    assert (caption, text) == ("Error", texts()[431][1])
    assert rows(driver, dlg) == []
    add_rule(driver, dlg, "50 49 4E 47", "0", '"PONG"')
    assert rows(driver, dlg)[0][2] == '"PING"'

    com3.write(XOFF)
    for _ in range(3):
        com3.write(b"PING")
        # The window answers at once while the held write waits.
        assert_answering(driver, [dlg, "main"], 0.3)
    notice = texts()[433][1].split("%d")[0]  # "CH"
    assert harness.wait_for(
        lambda: driver.call("gettext", dlg, NOTICE)[0].startswith(notice), 15), driver.call("gettext", dlg, NOTICE)
    assert harness.holds_for(lambda: harness.no_message_box(driver), 1.0)
    assert com3.read(4, timeout=0.3) == b""
    com3.write(XON)
    assert answered_in(com3, b"PING", b"PONG") < 1
