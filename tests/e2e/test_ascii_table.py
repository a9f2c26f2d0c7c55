"""The ASCII table window: a new independent window per command, the table
painted in the big font, and the description shown while the mouse button is
held on a control code."""
import subprocess

import harness
from test_appearance import screenshot, texts

CMD_ASCII = 173
WM_LBUTTONDOWN, WM_LBUTTONUP = 0x0201, 0x0202
DIALOG_BACK, BACKGROUND = (240, 240, 240), (255, 255, 255)  # light slots 6 and 1


class Shot:
    """One region of a screenshot, read once."""

    def __init__(self, path, x, y, w, h):
        ppm = subprocess.run(["convert", str(path), "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-depth", "8", "ppm:-"],
                             capture_output=True, check=True).stdout
        fields, pos = [], 0
        while len(fields) < 4:  # P6, width, height, maxval
            while ppm[pos:pos + 1].isspace():
                pos += 1
            end = pos
            while not ppm[end:end + 1].isspace():
                end += 1
            fields.append(ppm[pos:end])
            pos = end
        self.w, self.h = int(fields[1]), int(fields[2])
        self.data = ppm[pos + 1:]

    def at(self, x, y):
        i = 3 * (y * self.w + x)
        return tuple(self.data[i:i + 3])

    def count(self, x, y, w, h, test):
        return sum(1 for j in range(y, y + h) for i in range(x, x + w) if test(self.at(i, j)))


def ink(rgb):
    return sum(rgb) < 450


def tables(driver):
    title = texts()[106][1]
    return [w.split("|")[0] for w in driver.call("windows") if w.endswith("|" + title)]


def client_shot(display, driver, hwnd, name):
    path = screenshot(display, name)
    left, top, right, bottom = map(int, driver.call("client", hwnd))
    return Shot(path, left, top, right - left, bottom - top)


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

    shot = client_shot(display, driver, first, "ascii_table")
    assert shot.w >= 500 and shot.h >= 16 * 18
    # Eight columns, sixteen rows each: ink in every code's and every name's
    # place, and none below the sixteenth row.
    code_x = [0, 70, 140, 200, 260, 320, 380, 440]
    for col, x in enumerate(code_x):
        for row in range(16):
            y = 18 * row
            assert shot.count(x, y, 24, 18, ink) > 0, f"code text of {16 * col + row:02X}"
            assert shot.count(x + 30, y, 24, 18, ink) > 0 or (col, row) == (7, 15), f"name of {16 * col + row:02X}"
    assert shot.count(0, 16 * 18 + 2, shot.w, shot.h - 16 * 18 - 2, ink) == 0
    assert shot.at(shot.w - 3, shot.h - 3) == DIALOG_BACK
    # Control names take three letters (about three times the width of one character).
    def name_width(x, y, room):
        return len({i for i in range(x, x + room) for j in range(y, y + 18) if ink(shot.at(i, j))})
    assert name_width(30, 0, 38) > 2 * name_width(290, 18, 28) > 0  # NUL against A

    # Held at (75, 40): the description of 0x12 from (105, 40), in a box of slot 1.
    driver.call("send", first, WM_LBUTTONDOWN, 1, (40 << 16) | 75)
    shot = client_shot(display, driver, first, "ascii_table_description")
    box = white_run(shot, 49)
    assert box and box[0] == 105, box[:3]
    long_box = len(box)
    assert shot.count(105, 40, long_box, 18, ink) > 0
    driver.call("send", first, WM_LBUTTONUP, 0, (40 << 16) | 75)
    shot = client_shot(display, driver, first, "ascii_table_released")
    assert white_run(shot, 49) == []

    # Held on NUL: its own, shorter description at (35, 5).
    driver.call("send", first, WM_LBUTTONDOWN, 1, (5 << 16) | 5)
    shot = client_shot(display, driver, first, "ascii_table_nul")
    box = white_run(shot, 14)
    assert box and box[0] == 35 and 0 < len(box) < long_box, (box[:1], len(box), long_box)
    driver.call("send", first, WM_LBUTTONUP, 0, (5 << 16) | 5)

    # Printable columns have no description: a press there shows nothing.
    driver.call("send", first, WM_LBUTTONDOWN, 1, (40 << 16) | 300)
    shot = client_shot(display, driver, first, "ascii_table_printable_press")
    assert white_run(shot, 49) == []
    driver.call("send", first, WM_LBUTTONUP, 0, (40 << 16) | 300)

    # The close box destroys only that window.
    driver.call("close", first)
    assert harness.wait_for(lambda: tables(driver) == [second], 10)
    assert driver.call("alive")[0] == "1"
