"""The ASCII table window: a new independent window per command, the table
painted in the big font, and the description shown while the mouse button is
held on a control code."""
import harness
from harness import client_shot, ink, texts

CMD_ASCII = 173
WM_LBUTTONDOWN, WM_LBUTTONUP = 0x0201, 0x0202
DIALOG_BACK, BACKGROUND = (240, 240, 240), (255, 255, 255)  # light slots 6 and 1


def tables(driver):
    title = texts()[106][1]
    return [w.split("|")[0] for w in driver.call("windows") if w.endswith("|" + title)]


CODE_X = [0, 70, 140, 200, 260, 320, 380, 440]


def table_problems(shot):
    """What the painted table lacks: ink in every code's and every name's
    place of eight columns of sixteen rows, none below the sixteenth row,
    the dialog's color in the bottom right corner."""
    if shot.w < 500 or shot.h < 16 * 18:
        return [f"client area {shot.w} x {shot.h}"]
    problems = []
    for col, x in enumerate(CODE_X):
        for row in range(16):
            y = 18 * row
            if shot.count(x, y, 24, 18, ink) == 0:
                problems.append(f"code text of {16 * col + row:02X}")
            if shot.count(x + 30, y, 24, 18, ink) == 0 and (col, row) != (7, 15):
                problems.append(f"name of {16 * col + row:02X}")
    if shot.count(0, 16 * 18 + 2, shot.w, shot.h - 16 * 18 - 2, ink) != 0:
        problems.append("ink below the table")
    if shot.at(shot.w - 3, shot.h - 3) != DIALOG_BACK:
        problems.append("the corner is not the dialog's color")
    return problems


def white_run(shot, y):
    """Columns of row y in the slot-1 background (the description's box)."""
    return [x for x in range(shot.w) if shot.at(x, y) == BACKGROUND]


def test_ascii_table_windows_table_and_descriptions(app, driver, display):
    app({"moji_type": 1})
    driver.command(CMD_ASCII)
    first = driver.call("dialog", texts()[106][1], 10000)[0]
    driver.command(CMD_ASCII)
    assert harness.wait_for(lambda: len(tables(driver)) == 2, 10), "every command makes a new window"
    second = next(h for h in tables(driver) if h != first)
    # Side by side at their own size (340 x 220 dialog units).
    for hwnd, x in ((second, 600), (first, 0)):
        left, top, right, bottom = map(int, driver.call("rect", hwnd))
        driver.call("move", hwnd, x, 0, right - left, bottom - top)

    def picture(name):
        return lambda: client_shot(display, driver, first, name)

    shot = harness.screen_until(picture("ascii_table"), lambda s: not table_problems(s))
    assert table_problems(shot) == []
    # Control names take three letters (about three times the width of one character).
    def name_width(x, y, room):
        return len({i for i in range(x, x + room) for j in range(y, y + 18) if ink(shot.at(i, j))})
    assert name_width(30, 0, 38) > 2 * name_width(290, 18, 28) > 0  # NUL against A

    # Held at (75, 40): the description of 0x12 from (105, 40), in a box of slot 1.
    driver.call("send", first, WM_LBUTTONDOWN, 1, (40 << 16) | 75)
    shot = harness.screen_until(picture("ascii_table_description"), lambda s: white_run(s, 49))
    box = white_run(shot, 49)
    assert box and box[0] == 105, box[:3]
    long_box = len(box)
    assert shot.count(105, 40, long_box, 18, ink) > 0
    driver.call("send", first, WM_LBUTTONUP, 0, (40 << 16) | 75)
    shot = harness.screen_until(picture("ascii_table_released"), lambda s: not white_run(s, 49))
    assert white_run(shot, 49) == []

    # Held on NUL: its own, shorter description at (35, 5).
    driver.call("send", first, WM_LBUTTONDOWN, 1, (5 << 16) | 5)
    shot = harness.screen_until(picture("ascii_table_nul"), lambda s: white_run(s, 14))
    box = white_run(shot, 14)
    assert box and box[0] == 35 and 0 < len(box) < long_box, (box[:1], len(box), long_box)
    driver.call("send", first, WM_LBUTTONUP, 0, (5 << 16) | 5)
    shot = harness.screen_until(picture("ascii_table_nul_released"), lambda s: not white_run(s, 14))
    assert white_run(shot, 14) == []

    # Printable columns have no description: a press there shows nothing,
    # in any picture taken within a second.
    driver.call("send", first, WM_LBUTTONDOWN, 1, (40 << 16) | 300)
    take = picture("ascii_table_printable_press")
    assert harness.holds_for(lambda: white_run(take(), 49) == [], 1.0)
    driver.call("send", first, WM_LBUTTONUP, 0, (40 << 16) | 300)

    # The close box destroys only that window.
    driver.call("close", first)
    assert harness.wait_for(lambda: tables(driver) == [second], 10)
    assert driver.call("alive")[0] == "1"
