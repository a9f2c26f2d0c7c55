"""The language of a first start: with no quorrin.ini yet, Quorrin speaks
the user's interface language, which Wine takes from the locale; the
settings file written at exit keeps it, and a settings file already there
keeps its own language (its default, Japanese, when it lacks the key)."""
import pytest

import harness

CMD_INPUT_SEND = 150
NOT_OPEN = 3  # message text: the port is not open


def refusal_text(driver):
    """The text of the box that refuses the input send window while no
    channel is open."""
    driver.command(CMD_INPUT_SEND)
    hwnd, caption, text = driver.message_box()
    driver.answer(hwnd, 1)
    assert caption == "Quorrin", (caption, text)
    return text


def close_and_read_language(driver, q):
    driver.call("close", "main")
    assert q.wait_exit(20) == 0
    return dict(harness.read_settings(q.path("quorrin.ini")))["moji_type"]


@pytest.mark.parametrize("name, language, later", [
    ("ko_KR.UTF-8", 2, "en_US.UTF-8"),
    ("en_US.UTF-8", 1, "ko_KR.UTF-8"),
    ("zh_CN.UTF-8", 3, "en_US.UTF-8"),
    ("ja_JP.UTF-8", 0, "ko_KR.UTF-8"),
])
def test_first_start_speaks_the_locale_language_and_keeps_it(app, driver, name, language, later):
    table = harness.texts()
    q = app(env=harness.locale_env(name))
    assert not q.path("quorrin.ini").exists()
    assert refusal_text(driver) == table[NOT_OPEN][language]
    assert close_and_read_language(driver, q) == str(language)

    # The next start, under another locale, keeps the language of the file.
    q.env = harness.locale_env(later)
    q.start()
    # Another locale the prefix may not have run in yet: Wine updates its
    # regional settings first, which on a busy machine takes longer than the
    # usual start (the app fixture allows the same for a start with env).
    driver.main_window(60000)
    assert refusal_text(driver) == table[NOT_OPEN][language]
    assert close_and_read_language(driver, q) == str(language)


@pytest.mark.parametrize("settings, language", [
    ({"rs_comport": "3"}, 0),  # a file without the key: its default
    ({"moji_type": "3"}, 3),
])
def test_a_settings_file_present_keeps_its_language_under_a_korean_locale(app, driver, settings, language):
    q = app(settings, env=harness.locale_env("ko_KR.UTF-8"))
    assert refusal_text(driver) == harness.texts()[NOT_OPEN][language]
    assert close_and_read_language(driver, q) == str(language)
