"""The main window's caption buttons show Wine's Marlett glyphs: a bar for
minimize, a box for maximize, a cross for close. A prefix without the font
draws its character codes instead, the letters "0", "1" and "r"."""
import harness

WM_NCHITTEST = 0x0084
HTMINBUTTON, HTMAXBUTTON, HTCLOSE = 8, 9, 20


def hit(driver, x, y):
    return int(driver.call("send", "main", WM_NCHITTEST, 0, (y << 16) | x)[0])


def caption_cells(driver):
    """{hit code: (left, top, right, bottom)} of the three buttons, inclusive,
    as the window's own hit test places them."""
    left, top, right, _ = map(int, driver.call("rect", "main"))
    columns = {}
    for x in range(right - 120, right):
        code = hit(driver, x, top + 12)
        if code in (HTMINBUTTON, HTMAXBUTTON, HTCLOSE):
            columns.setdefault(code, []).append(x)
    assert sorted(columns) == [HTMINBUTTON, HTMAXBUTTON, HTCLOSE], columns
    cells = {}
    for code, xs in columns.items():
        middle = xs[len(xs) // 2]
        ys = [y for y in range(top, top + 40) if hit(driver, middle, y) == code]
        cells[code] = (xs[0], ys[0], xs[-1], ys[-1])
    return cells


def glyph(shot, cell):
    """The dark pixels inside a button, within its raised frame (3 pixels in
    at the top and left, 4 at the bottom and right), as (x, y) from the
    inner area's corner."""
    x0, y0, x1, y1 = cell
    return {(x - x0 - 3, y - y0 - 3) for y in range(y0 + 3, y1 - 3) for x in range(x0 + 3, x1 - 3)
            if harness.ink(shot.at(x, y))}


def box(ink):
    xs, ys = [x for x, _ in ink], [y for _, y in ink]
    return min(xs), min(ys), max(xs), max(ys)


def is_bar(ink):
    """Minimize: one flat stroke in the lower half."""
    if not ink:
        return False
    left, top, right, bottom = box(ink)
    return bottom - top <= 2 and right - left >= 4 and top >= 5


def is_box(ink):
    """Maximize: a hollow square with a full top edge."""
    if not ink:
        return False
    left, top, right, bottom = box(ink)
    w, h = right - left + 1, bottom - top + 1
    top_edge = sum(1 for x in range(left, right + 1) if (x, top) in ink)
    cx, cy = (left + right) // 2, (top + bottom) // 2
    return w >= 6 and h >= 6 and top_edge >= 0.8 * w and (cx, cy) not in ink


def is_cross(ink):
    """Close: two diagonals, alike in a mirror, meeting in the middle."""
    if len(ink) < 8:
        return False
    left, top, right, bottom = box(ink)
    mirrored = sum(1 for x, y in ink if (left + right - x, y) in ink)
    corners = [(left, top), (right, top), (left, bottom), (right, bottom)]
    near = lambda cx, cy: any(abs(x - cx) <= 1 and abs(y - cy) <= 1 for x, y in ink)
    return (mirrored >= 0.9 * len(ink) and all(near(*c) for c in corners)
            and near((left + right) / 2, (top + bottom) / 2) and right - left >= 4 and bottom - top >= 4)


def test_caption_buttons_show_the_marlett_glyphs(app, driver, display):
    app({"moji_type": "1"})
    driver.call("move", "main", 0, 0, 1000, 700)
    cells = caption_cells(driver)
    path = harness.SCREENSHOTS / "caption_buttons.png"

    def take():
        display.screenshot(path)
        x0 = min(c[0] for c in cells.values())
        y0 = min(c[1] for c in cells.values())
        x1 = max(c[2] for c in cells.values())
        y1 = max(c[3] for c in cells.values())
        shot = harness.Shot(path, x0, y0, x1 - x0 + 1, y1 - y0 + 1)
        local = {code: (l - x0, t - y0, r - x0, b - y0) for code, (l, t, r, b) in cells.items()}
        return {code: glyph(shot, cell) for code, cell in local.items()}

    def right(ink):
        return is_bar(ink[HTMINBUTTON]) and is_box(ink[HTMAXBUTTON]) and is_cross(ink[HTCLOSE])

    ink = harness.screen_until(take, right)
    assert is_bar(ink[HTMINBUTTON]), f"minimize shows {sorted(ink[HTMINBUTTON])} ({path})"
    assert is_box(ink[HTMAXBUTTON]), f"maximize shows {sorted(ink[HTMAXBUTTON])} ({path})"
    assert is_cross(ink[HTCLOSE]), f"close shows {sorted(ink[HTCLOSE])} ({path})"
