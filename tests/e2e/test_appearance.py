"""Menu bar, toolbar, status bar, palettes, theme file and the language
dialog, on the real program."""
from pathlib import Path

import harness
from harness import colors_in, main_background_sample, pixel, screenshot, shot_until, status_bar_sample, texts

ROOT = Path(__file__).resolve().parents[2]
LIGHT = {7: (255, 255, 255), 8: (128, 255, 255), 9: (128, 255, 128), 10: (255, 180, 180), 1: (255, 255, 255)}
DARK = {7: (0, 0, 0), 1: (0, 0, 0)}


def menu(driver, which="bar"):
    """The menu bar (or the window menu, which="system") as (depth, id,
    state, text, has_bitmap) rows, read inside Quorrin."""
    path = driver.call("menu", which, timeout=30)[0]
    linux = Path(path[2:].replace("\\", "/"))  # Z:\... is the Linux root
    rows = []
    for line in linux.read_text(encoding="utf-8").splitlines():
        depth, cmd, state, rest = line.split("\t", 3)
        text, bitmap = rest.rsplit("\t", 1)  # a window menu text holds a tab before its key
        rows.append((int(depth), int(cmd), state, text, bitmap == "1"))
    return rows


def item_state(rows, cmd):
    return next(r[2] for r in rows if r[1] == cmd)


def bitmap_colors(name):
    return colors_in(ROOT / "resources" / name, 0, 0, 544, 16)


def painted(display, driver, name, ready):
    """Screenshots of the main window at a known place until
    ready(background, status bar, toolbar colors) holds; returns the last
    screenshot and those three."""
    driver.call("move", "main", 0, 0, 1000, 700)
    background, status = main_background_sample(driver), status_bar_sample(driver)
    toolbar = driver.call("child", "main", 1000)[0]
    left, top, right, bottom = map(int, driver.call("rect", toolbar))

    def read(shot):
        return (shot, pixel(shot, *background), pixel(shot, *status),
                colors_in(shot, left, top, min(right - left, 34 * 24), bottom - top))

    path = harness.SCREENSHOTS / f"{name}.png"
    return harness.screen_until(lambda: read(display.screenshot(path)), lambda r: ready(*r[1:]))


def status_color(display, driver, name, want):
    """The status bar's color in part 2, once it is `want` or the time is up."""
    driver.call("move", "main", 0, 0, 1000, 700)
    at = status_bar_sample(driver)
    shot = shot_until(display, name, lambda p: pixel(p, *at) == want)
    return pixel(shot, *at)


def assert_painted_in(display, driver, name, theme):
    """The main window's background and status bar take the palette of the
    theme ("light" or "dark"), and its toolbar shows that theme's images
    (colors the other theme's bitmap lacks)."""
    palette, other = (LIGHT, "dark") if theme == "light" else (DARK, "light")
    only = bitmap_colors(f"toolbar_{theme}.bmp") - bitmap_colors(f"toolbar_{other}.bmp")
    _, background, status, seen = painted(display, driver, name,
                                          lambda b, s, seen: (b, s) == (palette[1], palette[7]) and seen & only)
    assert background == palette[1]
    assert status == palette[7]
    assert seen & only, f"the toolbar shows the {theme} images"


def test_light_defaults_menu_bar_toolbar_and_status_bar(app, driver, display):
    app(env=harness.JAPANESE_USER)
    table = texts()
    rows = menu(driver)
    titles = [r[3] for r in rows if r[0] == 0]
    assert titles == [table[n][0] for n in range(200, 207)]  # Japanese, a Japanese user's first start
    items = [r for r in rows if r[1] > 0]
    assert sorted(r[1] for r in items) == ([n for n in range(141, 176) if n != 154] + list(range(176, 194)))
    # Export capture, save as macro, record to disk, open recording (a file,
    # a folder), back to live (File), find, find next and previous, go to
    # time, highlight rules, plot (View), send and receive file, stop all repeats (Send), link statistics, Modbus
    # monitor, auto answer (Tools): no toolbar button
    menu_only = {176: 300, 177: 315, 178: 312, 179: 313, 180: 314, 181: 498, 182: 509, 183: 523, 184: 524, 185: 525,
                 186: 526, 187: 510, 188: 787, 189: 740, 190: 650, 191: 651, 192: 715, 193: 569}
    assert all(r[4] for r in items if r[1] not in menu_only), "every menu item with a toolbar twin carries its image"
    for command, text in menu_only.items():
        row = next(r for r in rows if r[1] == command)
        assert row[3] == table[text][0] and not row[4], row
    assert next(r[3] for r in rows if r[1] == 141) == table[210][0]
    assert [r[3] for r in rows if r[1] in (161, 162)] == ["CH1(&F)", "CH2(&S)"]

    assert_painted_in(display, driver, "light_defaults", "light")


def test_window_menu_keeps_what_the_system_set(app, driver):
    app()
    # Opening the window menu: the system grays Restore for a window that is
    # not maximized; the main window must not enable it again, nor touch
    # Close, while it still grays its own commands (ports closed).
    SC_RESTORE, SC_CLOSE, CMD_CLOSE_PORTS = 0xF120, 0xF060, 159
    rows = menu(driver, "system")
    assert item_state(rows, SC_RESTORE) == "gray", rows
    assert item_state(rows, SC_CLOSE) == "on", rows
    assert item_state(menu(driver), CMD_CLOSE_PORTS) == "gray"


def test_dark_theme_without_menu_bar(app, driver, display, wine):
    q = app()
    harness.restart_in_theme(driver, q, 3)
    assert menu(driver) == []
    assert_painted_in(display, driver, "dark_no_menu", "dark")


def test_dark_theme_with_menu_keeps_light_menu_images(app, driver, display):
    q = app()
    harness.restart_in_theme(driver, q)
    rows = menu(driver)
    assert len([r for r in rows if r[0] == 0]) == 7
    assert all(r[4] for r in rows if r[1] > 0 and r[1] < 176)  # the menu-only commands have no toolbar twin
    screenshot(display, "dark_with_menu")


def test_language_dialog_switches_the_menu_and_is_kept(app, driver, display):
    q = app(env=harness.JAPANESE_USER)  # starts in Japanese
    table = texts()
    driver.command(169)
    hwnd, title = driver.call("dialog", "*", 10000, timeout=20)
    combo = driver.call("child", hwnd, 301)[0]
    driver.call("send", combo, 0x014E, 1, 0)  # CB_SETCURSEL: English
    harness.screenshot(display, "language_dialog")
    driver.call("click", hwnd, 251)
    assert harness.wait_for(lambda: [r[3] for r in menu(driver) if r[0] == 0][0] == table[200][1], 10)
    rows = menu(driver)
    assert [r[3] for r in rows if r[0] == 0] == [table[n][1] for n in range(200, 207)]
    screenshot(display, "language_english")
    driver.call("close", "main")
    q.wait_exit(20)
    assert dict(harness.read_settings(q.path("quorrin.ini")))["moji_type"] == "1"
    q.start()
    driver.main_window()
    assert [r[3] for r in menu(driver) if r[0] == 0][0] == table[200][1]


def test_language_dialog_closed_by_its_box_changes_nothing(app, driver):
    app({"moji_type": 2})
    driver.command(169)
    hwnd, _ = driver.call("dialog", "*", 10000, timeout=20)
    driver.call("post", hwnd, 0x0010, 0, 0)  # WM_CLOSE
    assert harness.wait_for(lambda: not any(w.startswith(hwnd + "|") for w in driver.call("windows")), 10)
    assert [r[3] for r in menu(driver) if r[0] == 0][0] == texts()[200][2]


toolbar_enabled = harness.toolbar_enabled


def test_states_and_status_colors_follow_the_channels(app, driver, display, com3, com4):
    app({"rs_comport2": 4})
    rows = menu(driver)
    assert item_state(rows, 158) == "on" and item_state(rows, 159) == "gray"
    assert item_state(rows, 150) == "gray" and item_state(rows, 161) == "gray"
    assert toolbar_enabled(driver, 1116) and not toolbar_enabled(driver, 1117)
    assert not toolbar_enabled(driver, 1111)

    harness.open_ports(driver)
    rows = menu(driver)
    assert item_state(rows, 158) == "gray" and item_state(rows, 159) == "on"
    assert item_state(rows, 150) == "on" and item_state(rows, 160) == "gray"
    assert item_state(rows, 162) == "on" and item_state(rows, 166) == "on"
    assert not toolbar_enabled(driver, 1116) and toolbar_enabled(driver, 1117)
    assert toolbar_enabled(driver, 1111) and toolbar_enabled(driver, 1119)
    assert status_color(display, driver, "status_both_open", LIGHT[9]) == LIGHT[9]


def test_status_color_for_one_channel_and_line_monitor(app, driver, display, com3, com4):
    q = app({"rs_comport2": 0})
    harness.open_ports(driver)
    assert status_color(display, driver, "status_one_open", LIGHT[8]) == LIGHT[8]
    driver.call("close", "main")
    q.wait_exit(20)

    app({"rs_comport2": 4, "lm_mode": 1})
    harness.open_ports(driver)
    rows = menu(driver)
    assert all(item_state(rows, c) == "gray" for c in (150, 151, 152, 153))
    assert not toolbar_enabled(driver, 1111)
    assert status_color(display, driver, "status_line_monitor", LIGHT[10]) == LIGHT[10]


def test_color_file_sets_the_light_palette(app, driver, display):
    q = app()
    driver.call("close", "main")
    q.wait_exit(20)
    lines = ["[Setting]", "rbgLs[1].r=10", "rbgLs[1].g=20", "rbgLs[1].b=30",
             "rbgLs[7].r=300", "rbgLs[7].g=40", "rbgLs[7].b=50"]
    q.path("color.ini").write_text("\r\n".join(lines) + "\r\n", encoding="ascii")
    q.start()
    driver.main_window()
    want = ((10, 20, 30), (300 & 0xFF, 40, 50))
    _, background, status, _ = painted(display, driver, "color_file", lambda b, s, seen: (b, s) == want)
    assert (background, status) == want
