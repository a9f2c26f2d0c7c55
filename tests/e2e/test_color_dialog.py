"""The color setting dialog (125) on the real program: its texts, the
working palettes behind "Set Color", the color file written by "Rewrite
and close", what "Cancel and close" and the close box leave, the system
color chooser, and the preview it paints."""
import harness
from harness import colors_in as colors
from harness import open_color_dialog as open_dialog
from harness import pixel

SET, REWRITE, CANCEL, LIGHT, DARK = 286, 285, 250, 311, 312
BM_GETCHECK, BM_CLICK, WM_CLOSE = 0x00F0, 0x00F5, 0x0010

LIGHT_DEFAULTS = [(0, 0, 0), (255, 255, 255), (200, 200, 255), (200, 255, 200), (255, 200, 255), (255, 255, 200),
                  (240, 240, 240), (255, 255, 255), (128, 255, 255), (128, 255, 128), (255, 180, 180),
                  (255, 255, 255), (0, 0, 255), (0, 0, 0), (150, 255, 150), (100, 255, 100), (0, 0, 255),
                  (230, 230, 230), (0, 0, 0), (255, 0, 0)]
DARK_DEFAULTS = [(255, 255, 255), (0, 0, 0), (100, 100, 0), (100, 0, 100), (0, 100, 0), (0, 0, 100), (32, 32, 32),
                 (0, 0, 0), (128, 0, 0), (128, 0, 128), (0, 100, 100), (255, 255, 255), (0, 0, 255),
                 (255, 255, 255), (20, 150, 20), (0, 60, 0), (128, 255, 255), (42, 42, 42), (255, 255, 255),
                 (255, 128, 128)]
ROW_SLOTS = [2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15, 16, 18, 19]
ENGLISH = {"moji_type": 1}
LABELS = ["ASC back color1", "ASC back color2", "HEX back color1", "HEX back color2", "Dialog back color",
          "StatusBer CH1", "StatusBer CH1-2", "StatusBer LM", "EOF text color", "EOF back color", "AscHex text color",
          "AscHex back color", "Answer back color", "Waiting time text", "CH1 char color", "CH2 char color"]


def edit_id(row, component):
    return 318 + 3 * row + component


def row_values(driver, dlg, row):
    return tuple(driver.call("gettext", dlg, edit_id(row, k))[0] for k in range(3))


def set_row(driver, dlg, row, values):
    for k, v in enumerate(values):
        driver.call("settext", dlg, edit_id(row, k), str(v))


def choose(driver, dlg, radio):
    """Clicks a radio button as the mouse would (the button ticks itself)."""
    button = driver.call("child", dlg, radio)[0]
    driver.call("send", button, BM_CLICK, 0, 0)


def checked(driver, dlg, radio):
    return int(driver.call("send", driver.call("child", dlg, radio)[0], BM_GETCHECK, 0, 0)[0]) == 1


def gone(driver, dlg):
    return harness.wait_for(lambda: not any(w.startswith(dlg + "|") for w in driver.call("windows")), 10)


def color_keys(path):
    return harness.read_settings(path)


def expected_keys(light, dark):
    keys = []
    for name, palette in (("rbgLs", light), ("rbgDs", dark)):
        for slot, rgb in enumerate(palette):
            for component, value in zip("rgb", rgb):
                keys.append((f"{name}[{slot}].{component}", str(value)))
    return keys


def shoot(display, driver, dlg, name, ready):
    """Screenshots with the dialog at a known place until ready(path, left,
    top) holds; returns the last and the screen position of the dialog's
    client area."""
    w_left, w_top, w_right, w_bottom = map(int, driver.call("rect", dlg))
    driver.call("move", dlg, 0, 0, w_right - w_left, w_bottom - w_top)
    left, top, _, _ = map(int, driver.call("client", dlg))
    return harness.shot_until(display, name, lambda p: ready(p, left, top)), left, top


def test_texts_follow_the_language(app, driver):
    q = app(env=harness.JAPANESE_USER)  # language 0
    dlg = open_dialog(driver, "色設定")
    assert driver.call("gettext", dlg, CANCEL)[0] == "キャンセルして閉じる"
    assert driver.call("gettext", dlg, REWRITE)[0] == "書き換えて閉じる"
    assert driver.call("gettext", dlg, SET)[0] == "色をセット"
    assert all(driver.call("gettext", dlg, 250 + k)[0] == "色" for k in range(1, 17))
    assert driver.call("gettext", dlg, LIGHT)[0] == "Light mode"
    assert driver.call("gettext", dlg, DARK)[0] == "Drrk mode"
    assert [driver.call("gettext", dlg, 400 + k)[0] for k in range(1, 17)] == LABELS
    driver.call("post", dlg, WM_CLOSE, 0, 0)
    assert gone(driver, dlg)
    driver.call("close", "main")
    q.wait_exit(20)

    app(ENGLISH)
    dlg = open_dialog(driver)
    assert [driver.call("gettext", dlg, i)[0] for i in (CANCEL, REWRITE, SET, 251, 266)] == [
        "Cancel and close", "Rewrite and close", "Set Color", "color", "color"]


def test_edits_show_the_light_palette_and_the_radio_switches(app, driver):
    app(ENGLISH)
    dlg = open_dialog(driver)
    assert checked(driver, dlg, LIGHT) and not checked(driver, dlg, DARK)
    for row, slot in enumerate(ROW_SLOTS, 1):
        assert row_values(driver, dlg, row) == tuple(str(v) for v in LIGHT_DEFAULTS[slot]), row
    choose(driver, dlg, DARK)
    assert checked(driver, dlg, DARK)
    for row, slot in enumerate(ROW_SLOTS, 1):
        assert row_values(driver, dlg, row) == tuple(str(v) for v in DARK_DEFAULTS[slot]), row


def test_dark_mode_starts_on_the_dark_palette(app, driver, display):
    q = app(ENGLISH)
    harness.restart_in_theme(driver, q)
    dlg = open_dialog(driver)
    assert checked(driver, dlg, DARK) and not checked(driver, dlg, LIGHT)
    assert row_values(driver, dlg, 5) == ("32", "32", "32")
    shot, x, y = shoot(display, driver, dlg, "color_dialog_dark_mode",
                       lambda p, x, y: pixel(p, x + 300, y + 55) == (0, 0, 0))
    assert pixel(shot, x + 300, y + 55) == (0, 0, 0)  # the dark working palette's title bar


def test_set_color_stores_the_low_byte(app, driver, display):
    q = app(ENGLISH)
    dlg = open_dialog(driver)
    set_row(driver, dlg, 1, (300, 10, 20))  # ASC back color1: slot 2, the odd cells
    driver.call("press", dlg, SET)
    # The edits keep what was typed until they are filled again.
    assert row_values(driver, dlg, 1) == ("300", "10", "20")
    shot, left, top = shoot(display, driver, dlg, "color_dialog_set_color",
                            lambda p, x, y: pixel(p, x + 50 + 5 * 18 + 9, y + 99) == (44, 10, 20)
                            and pixel(p, x + 55 + 18 + 9, y + 249) == (44, 10, 20))
    assert pixel(shot, left + 50 + 5 * 18 + 9, top + 99) == (44, 10, 20)  # READ ASCII cell 5
    assert pixel(shot, left + 55 + 18 + 9, top + 249) == (44, 10, 20)  # send window ASCII cell 1
    choose(driver, dlg, DARK)
    choose(driver, dlg, LIGHT)
    assert row_values(driver, dlg, 1) == ("44", "10", "20")
    driver.call("press", dlg, REWRITE)
    assert gone(driver, dlg)
    saved = dict(color_keys(q.path("color.ini")))
    assert (saved["rbgLs[2].r"], saved["rbgLs[2].g"], saved["rbgLs[2].b"]) == ("44", "10", "20")


def test_rewrite_writes_both_palettes_light_first(app, driver):
    q = app(ENGLISH)
    dlg = open_dialog(driver)
    set_row(driver, dlg, 5, (5, 240, 240))      # light dialog back color: slot 6
    set_row(driver, dlg, 16, (1, 2, 3))         # light CH2 char color: slot 19
    driver.call("press", dlg, SET)
    choose(driver, dlg, DARK)
    set_row(driver, dlg, 5, (250, 20, 30))      # dark dialog back color
    set_row(driver, dlg, 6, (7, 8, -1))         # dark StatusBer CH1: slot 8
    driver.call("press", dlg, SET)
    driver.call("press", dlg, REWRITE)
    assert gone(driver, dlg)

    light, dark = list(LIGHT_DEFAULTS), list(DARK_DEFAULTS)
    light[6], light[19], dark[6], dark[8] = (5, 240, 240), (1, 2, 3), (250, 20, 30), (7, 8, 255)
    light[17] = (251, 230, 230)  # the button face follows the dialog back color, wrapping as bytes
    dark[17] = (4, 30, 40)
    keys = color_keys(q.path("color.ini"))
    assert len(keys) == 120
    assert keys == expected_keys(light, dark)

    # The program's palettes hold the new colors: the dialog opens on them.
    dlg = open_dialog(driver)
    assert row_values(driver, dlg, 5) == ("5", "240", "240")
    choose(driver, dlg, DARK)
    assert row_values(driver, dlg, 6) == ("7", "8", "255")


def test_typing_without_set_color_is_not_kept(app, driver):
    q = app(ENGLISH)
    dlg = open_dialog(driver)
    set_row(driver, dlg, 1, (11, 12, 13))
    driver.call("press", dlg, SET)
    set_row(driver, dlg, 1, (99, 98, 97))       # typed, never set
    set_row(driver, dlg, 15, (50, 60, 70))
    driver.call("press", dlg, REWRITE)
    assert gone(driver, dlg)
    light = list(LIGHT_DEFAULTS)
    light[2] = (11, 12, 13)
    assert color_keys(q.path("color.ini")) == expected_keys(light, DARK_DEFAULTS)


def test_cancel_and_close_box_keep_file_and_palettes(app, driver):
    q = app(ENGLISH)
    dlg = open_dialog(driver)
    set_row(driver, dlg, 3, (1, 1, 1))
    driver.call("press", dlg, SET)
    driver.call("press", dlg, CANCEL)
    assert gone(driver, dlg)
    assert not q.path("color.ini").exists()
    dlg = open_dialog(driver)
    assert row_values(driver, dlg, 3) == ("255", "200", "255")
    driver.call("post", dlg, WM_CLOSE, 0, 0)
    assert gone(driver, dlg)
    driver.call("close", "main")
    q.wait_exit(20)

    before = "[Setting]\r\nrbgLs[4].r=9\r\nrbgDs[19].b=300\r\n"
    q.path("color.ini").write_bytes(before.encode("ascii"))
    q.start()
    driver.main_window()
    dlg = open_dialog(driver)
    assert row_values(driver, dlg, 3)[0] == "9"
    set_row(driver, dlg, 3, (2, 2, 2))
    driver.call("press", dlg, SET)
    driver.call("post", dlg, WM_CLOSE, 0, 0)  # the close box
    assert gone(driver, dlg)
    assert q.path("color.ini").read_bytes() == before.encode("ascii")
    dlg = open_dialog(driver)
    choose(driver, dlg, DARK)
    assert row_values(driver, dlg, 16) == ("255", "128", str(300 & 0xFF))


def test_row_button_opens_the_system_color_chooser(app, driver, display):
    q = app(ENGLISH)
    dlg = open_dialog(driver)
    driver.call("click", dlg, 266)  # CH2 char color: the chooser is modal, so posted
    chooser = harness.wait_for(
        lambda: next((w.split("|")[0] for w in driver.call("windows")
                      if w.split("|")[1] == "#32770" and not w.startswith(dlg + "|")), None), 10)
    assert chooser, "no color chooser"
    harness.screenshot(display, "color_dialog_chooser")
    # Wine's chooser: red, green and blue edits 706, 707 and 708.
    assert [driver.call("gettext", chooser, i)[0] for i in (706, 707, 708)] == ["255", "0", "0"]
    for i, v in zip((706, 707, 708), ("12", "34", "56")):
        driver.call("settext", chooser, i, v)
    driver.call("answer", chooser, 1)
    assert harness.wait_for(lambda: row_values(driver, dlg, 16) == ("12", "34", "56"), 10), row_values(driver, dlg, 16)
    driver.call("press", dlg, CANCEL)
    assert gone(driver, dlg)
    assert not q.path("color.ini").exists()

    # Cancelled, the chooser leaves the slot as it was.
    dlg = open_dialog(driver)
    driver.call("click", dlg, 266)
    chooser = harness.wait_for(
        lambda: next((w.split("|")[0] for w in driver.call("windows")
                      if w.split("|")[1] == "#32770" and not w.startswith(dlg + "|")), None), 10)
    driver.call("settext", chooser, 706, "99")
    driver.call("answer", chooser, 2)
    assert harness.holds_for(lambda: row_values(driver, dlg, 16) == ("255", "0", "0"), 0.5)


def test_preview_in_the_light_and_the_dark_working_palette(app, driver, display):
    app(ENGLISH)
    dlg = open_dialog(driver)
    # Controls stay right of the preview.
    left, top, right, bottom = map(int, driver.call("client", dlg))
    assert right - left >= 610 and bottom - top >= 440
    for control in (LIGHT, DARK, 401, 321, 251, 416, 368, 266, SET, REWRITE, CANCEL):
        c_left, c_top, _, _ = map(int, driver.call("rect", driver.call("child", dlg, control)[0]))
        assert c_left - left >= 610, control

    for name, palette, base in (("light", LIGHT_DEFAULTS, ((0, 0, 0), (255, 255, 255))),
                                ("dark", DARK_DEFAULTS, ((255, 255, 255), (0, 0, 0)))):
        if name == "dark":
            choose(driver, dlg, DARK)
        ink, paper = base
        samples = {
            (300, 55): paper,               # title bar
            (5, 55): ink,                   # its frame
            (300, 187): paper,              # data area below the strips
            (300, 182): ink, (300, 183): ink,
            (50 + 9, 91): palette[3],       # READ ASCII cell 0: second color
            (68 + 9, 91): palette[2],       # cell 1: first color
            (50 + 9, 124): palette[5],      # READ hex cell 0
            (68 + 9, 124): palette[4],
            (572 + 9, 176): palette[4],     # SEND hex cell 29 (odd)
            (55 + 9, 241): palette[3],      # send window ASCII cell 0
            (541 + 9, 274): palette[4],     # its hex cell 27
            (580, 270): palette[6],         # send window body
            (580, 350): palette[6],         # checksum body
            (580, 380): palette[8], (580, 400): palette[9], (580, 420): palette[10],
        }
        # Pictures until the preview is drawn in this palette.
        shot, x, y = shoot(display, driver, dlg, f"color_dialog_{name}",
                           lambda p, x, y: all(pixel(p, x + px, y + py) == want
                                               for (px, py), want in samples.items()))
        for (px, py), want in samples.items():
            assert pixel(shot, x + px, y + py) == want, (name, px, py)
        # Texts and their backgrounds: each expected color appears in its
        # element's area.
        area_colors = {
            "answer": ((200, 330, 200, 18), palette[15]),
            "EOF": ((554, 80, 14, 10), palette[12]),
            "ASCchar": ((15, 242, 34, 12), palette[14]),
            "samples CH1": ((50, 90, 72, 36), palette[18]),
            "samples CH2": ((302, 90, 72, 36), palette[19]),
            "SEND samples CH2": ((428, 142, 72, 36), palette[19]),
        }
        for what, ((ax, ay, w, h), want) in area_colors.items():
            assert want in colors(shot, x + ax, y + ay, w, h), (name, what)
        # Small text is smoothed into its background: its pixels lie between
        # the background and the text color, well towards the latter.
        for what, (ax, ay, w, h), want, back in (("gap", (122, 126, 30, 10), palette[16], paper),
                                                 ("HEXchar", (15, 262, 34, 10), palette[13], palette[6])):
            assert toward(colors(shot, x + ax, y + ay, w, h), want, back), (name, what)


def toward(found, want, back, least=0.4):
    """Some pixel is back + t * (want - back) with t >= least, channel by channel."""
    for p in found:
        ts = [(p[i] - back[i]) / (want[i] - back[i]) for i in range(3) if want[i] != back[i]]
        if not ts or min(ts) < least:
            continue
        t = sum(ts) / len(ts)
        if all(abs(back[i] + t * (want[i] - back[i]) - p[i]) <= 16 for i in range(3)):
            return True
    return False
