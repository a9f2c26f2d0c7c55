"""The line status dialog on the real program: its texts, the circles of the
three columns at their places, RESET and the DTR/RTS buttons, per channel.

Under Wine on a pty, ClearCommError reports no line errors and every hold
flag clear, and GetCommModemStatus and EscapeCommFunction fail (error 50):
every circle shows clear here. Which flags light which circle is proved with
all bits by tests/unit/line_status_test.cpp."""
import harness
from harness import client_shot, dialog_closed, dialog_shown, texts

CMD_CH1, CMD_CH2 = 165, 166
LIGHT_BACK, DARK_BACK = (240, 240, 240), (32, 32, 32)
CIRCLES = ([(10, 10 + 20 * i) for i in range(8)] + [(145, 10 + 20 * i) for i in range(7)]
           + [(305, 10 + 20 * i) for i in range(4)])


def title(channel, language=1):
    return f"{texts()[43][language]} (CH{channel})"


def open_dialog(driver, cmd, channel, language=1):
    driver.command(cmd)
    return driver.call("dialog", title(channel, language), 10000, timeout=20)[0]


def circle_states(shot, back):
    """Each circle as 'hollow' or 'filled' (the ring's bounding box in the
    text colour, and whether its middle is background), or what is wrong
    with the picture instead."""
    if shot.at(0, 0) != back:
        return f"the corner is {shot.at(0, 0)}, not the background"
    found = []
    for x, y in CIRCLES:
        ink = [(i, j) for i in range(x, x + 16) for j in range(y, y + 18)
               if sum(abs(a - b) for a, b in zip(shot.at(i, j), back)) > 120]
        if not ink:
            return f"no circle at ({x}, {y})"
        xs, ys = [p[0] for p in ink], [p[1] for p in ink]
        if max(xs) - min(xs) < 4 or max(ys) - min(ys) < 4:
            return f"circle at ({x}, {y}) too small"
        middle = shot.at((min(xs) + max(xs)) // 2, (min(ys) + max(ys)) // 2)
        found.append("hollow" if middle == back else "filled")
    # Right of the circles lie only the labels: the bottom right is background.
    if shot.at(shot.w - 3, shot.h - 3) != back:
        return "the bottom right is not background"
    return found


def circles(display, driver, dlg, name, back, want):
    """The circles' states, read from screenshots until they are `want` or
    the time is up (the dialog's paint reaches the screen a little later)."""
    return harness.screen_until(lambda: circle_states(client_shot(display, driver, dlg, name), back),
                                lambda found: found == want)


def test_line_status_texts_circles_and_buttons(app, driver, display):
    table = texts()
    q = app({"moji_type": 1, "rs_comport2": 4})
    driver.command(CMD_CH1)  # not open yet: refused
    driver.expect_message("Quorrin", table[3][1])
    harness.open_ports(driver)

    dlg = open_dialog(driver, CMD_CH1, 1)
    labels = {401 + i: table[44 + i][1] for i in range(10)}
    labels.update({412 + i: table[54 + i][1] for i in range(5)})
    labels.update({417: "CTS_ON", 418: "DSR_ON", 419: "RING_ON", 420: "RLSD_ON", 421: table[59][1]})
    labels.update({252: table[74][1], 253: "RESET", 254: "DTR ON ", 255: "DTR OFF", 256: "RTS ON ", 257: "RTS OFF"})
    for cid, text in labels.items():
        assert driver.call("gettext", dlg, cid)[0] == text, cid
    left, top, right, bottom = map(int, driver.call("rect", dlg))
    driver.call("move", dlg, 0, 0, right - left, bottom - top)
    assert circles(display, driver, dlg, "line_status_ch1", LIGHT_BACK, ["hollow"] * 19) == ["hollow"] * 19

    # Each line button acts once on the port; a failure there (a pty has no
    # modem lines) is not reported, and the dialog stays.
    for button in (254, 255, 256, 257, 253):
        driver.call("press", dlg, button)
        driver.no_message_box(300)
        assert dialog_shown(driver, title(1)), button
    assert driver.call("gettext", dlg, 401)[0] == table[44][1]  # RESET sets the texts again
    driver.call("click", dlg, 252)
    assert harness.wait_for(lambda: dialog_closed(driver, title(1)), 10)

    # CH2's dialog names its channel; the close box ends it.
    dlg = open_dialog(driver, CMD_CH2, 2)
    assert driver.call("gettext", dlg, 252)[0] == table[74][1]
    driver.call("close", dlg)
    assert harness.wait_for(lambda: dialog_closed(driver, title(2)), 10)

    # The line buttons changed nothing in the settings: the same file as a run
    # that only opened the ports.
    driver.call("close", "main")
    q.wait_exit(20)
    pressed = harness.read_settings(q.path("quorrin.ini"))
    q = app({"moji_type": 1, "rs_comport2": 4})
    harness.open_ports(driver)
    driver.call("close", "main")
    q.wait_exit(20)
    assert pressed == harness.read_settings(q.path("quorrin.ini"))


def test_line_status_circles_take_the_dark_background(app, driver, display):
    q = app({"rs_comport2": 4})  # Japanese, the default language
    harness.restart_in_theme(driver, q)
    harness.open_ports(driver)
    dlg = open_dialog(driver, CMD_CH2, 2, language=0)
    assert driver.call("gettext", dlg, 413)[0] == texts()[55][0]
    left, top, right, bottom = map(int, driver.call("rect", dlg))
    driver.call("move", dlg, 0, 0, right - left, bottom - top)
    assert circles(display, driver, dlg, "line_status_dark", DARK_BACK, ["hollow"] * 19) == ["hollow"] * 19
    driver.call("click", dlg, 252)
    assert harness.wait_for(lambda: dialog_closed(driver, title(2, 0)), 10)
