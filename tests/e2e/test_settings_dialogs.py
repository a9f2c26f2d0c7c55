"""Environment settings, About box, and the theme change with its restart
through pivotle."""
import re
import shutil
import subprocess

import pytest

import harness
from harness import dialog_closed, main_background_sample, pixel, texts

CMD_ENV, CMD_THEME, CMD_ABOUT = 167, 168, 170


def dialog(driver, title):
    return driver.call("dialog", title, 10000, timeout=20)[0]


def environment(driver, period=None, scroll_index=None, lower=None, ok=True):
    title = texts()[75][1]
    driver.command(CMD_ENV)
    dlg = dialog(driver, title)
    if period is not None:
        driver.call("settext", dlg, 321, period)
    if scroll_index is not None:
        driver.call("send", driver.call("child", dlg, 301)[0], 0x014E, scroll_index, 0)  # CB_SETCURSEL
    if lower is not None:
        driver.call("send", driver.call("child", dlg, 201)[0], 0x00F1, lower, 0)  # BM_SETCHECK
    driver.call("click", dlg, 251 if ok else 252)
    assert harness.wait_for(lambda: dialog_closed(driver, title), 10)


def saved(driver, q):
    driver.call("close", "main")
    q.wait_exit(20)
    return dict(harness.read_settings(q.path("quorrin.ini")))


def test_environment_settings_are_held_in_range_and_kept(app, driver):
    q = app({"moji_type": 1})
    environment(driver, period="50", scroll_index=4, lower=1)
    values = saved(driver, q)
    assert values["pl_time"] == "100" and values["scrol_pitch"] == "5" and values["hexasc_komoji"] == "1"

    for typed, stored in (("5000", "1000"), ("50000", "1000"), ("", "100"), ("250", "250")):
        q = app({"moji_type": 1})
        environment(driver, period=typed)  # "50000" is read by its first four digits
        assert saved(driver, q)["pl_time"] == stored, typed

    q = app({"moji_type": 1, "pl_time": "700"})
    environment(driver, period="", scroll_index=0, ok=False)
    values = saved(driver, q)
    assert values["pl_time"] == "700" and values["scrol_pitch"] == "2"


def ini_text(q):
    raw = q.path("quorrin.ini").read_bytes()
    return raw.decode("utf-16") if raw[:2] == b"\xff\xfe" else raw.decode("latin-1")


def test_reconnect_option_lies_in_a_section_of_its_own(app, driver):
    q = app({"moji_type": 1})
    title = texts()[75][1]
    driver.command(CMD_ENV)
    dlg = dialog(driver, title)
    assert driver.call("gettext", dlg, 203)[0] == texts()[450][1] == "Reconnect a lost port"
    driver.call("send", driver.call("child", dlg, 203)[0], 0x00F1, 1, 0)  # BM_SETCHECK
    driver.call("click", dlg, 251)
    assert harness.wait_for(lambda: dialog_closed(driver, title), 10)
    saved(driver, q)
    text = ini_text(q)
    assert "[Connection]\r\nreconnect=1\r\n" in text and text.index("[Setting]") < text.index("[Connection]")
    # While the option was never on, the file stays as it always was.
    q = app({"moji_type": 1})
    saved(driver, q)
    assert "Connection" not in ini_text(q)


def test_about_box_shows_version_and_build(app, driver, display):
    app({"moji_type": 1})
    driver.command(CMD_ABOUT)
    dlg = dialog(driver, texts()[40][1])
    assert driver.call("gettext", dlg, 401)[0] == "Version 2.364"
    assert re.fullmatch(r"Build: [A-Z][a-z]{2} \d{1,2} \d{4}", driver.call("gettext", dlg, 402)[0])
    harness.screenshot(display, "about_box")
    driver.call("click", dlg, 251)
    assert harness.wait_for(lambda: dialog_closed(driver, texts()[40][1]), 10)


def test_theme_change_restarts_in_dark_mode(app, driver, display):
    q = app({"moji_type": 1})
    driver.command(CMD_THEME)
    title = texts()[261][1]
    dlg = dialog(driver, title)
    driver.call("send", driver.call("child", dlg, 201)[0], 0x00F1, 1, 0)  # dark mode
    driver.call("click", dlg, 251)
    q.wait_exit(20)  # the old process ends ...
    assert q.path("dkm.ini").read_bytes() == b"\xff\xfe" + "dkm=1\r\n".encode("utf-16-le")
    driver.main_window(30000)  # ... and pivotle starts a new one a second later
    try:
        assert harness.wait_for(lambda: subprocess.run(["pgrep", "-f", "pivotle.exe"],
                                                       capture_output=True).returncode != 0, 10), "pivotle has exited"
        # The old process saved all its settings before the restart (the test wrote one key).
        assert len(harness.read_settings(q.path("quorrin.ini"))) == 43
        driver.call("move", "main", 0, 0, 1000, 700)
        at = main_background_sample(driver)
        shot = harness.shot_until(display, "theme_restarted_dark", lambda p: pixel(p, *at) == (0, 0, 0))
        assert pixel(shot, *at) == (0, 0, 0)
    finally:
        driver.call("close", "main")
        driver.call("gone", 20000, timeout=30)


def test_pivotle_starts_nothing_for_a_command_line_too_long(app, driver, display, wine):
    q = app({"moji_type": 1})
    driver.call("close", "main")
    q.wait_exit(20)
    # Programs the shell would find if anything reached it: Quorrin.exe for a
    # command line cut short, and one under the name of the notice pivotle
    # shows instead (the shell adds ".exe").
    shutil.copy(q.path("Quorrin.exe"), q.path("(command line too long: nothing is started).exe"))
    # "Quorrin.exe" and 300 more characters: 312 units do not fit the 260 of
    # its command buffer.
    proc = subprocess.Popen(["wine", str(q.path("pivotle.exe")), "Quorrin.exe", "x" * 300], cwd=q.dir,
                            env=wine.env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        _, title = driver.call("exists", "PIVOTLE", 15000, timeout=25)
        assert title == "pivotle"
        display.screenshot(harness.E2E / "screenshots" / "pivotle_too_long.png")
        # A second later it ends by itself, having handed nothing to the shell.
        assert proc.wait(20) == 0
        with pytest.raises(harness.DriverError):
            driver.call("exists", "Quorrin", 5000, timeout=15)
        with pytest.raises(harness.DriverError):
            driver.call("exists", "#32770", 0)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait(10)
        try:  # whatever was started all the same
            driver.main_window(0)
            driver.call("close", "main")
            driver.call("gone", 20000, timeout=30)
        except harness.DriverError:
            pass
