"""Damaged, odd and unreachable files, end to end: every file the program
reads or writes gets a clear message or a sound default, nothing crashes,
and what is already in memory is kept."""
import harness
from harness import (PRESET_CH1, PRESET_CLOSE, load_log, main_background_sample, open_color_dialog, open_macro_dialog,
                     open_preset_window, parse_log, pixel, press, run_macro_file, save_log, texts)

ENGLISH = {"moji_type": 1}
LIGHT_BACKGROUND = (255, 255, 255)  # light slot 1
GARBAGE = bytes((i * 151 + 7) & 0xFF for i in range(4096))


def alive(driver, q):
    """The program still answers: its window is there and responds."""
    assert q.proc.poll() is None
    assert driver.call("alive")[0] == "1"
    driver.call("send", "main", 0, 0, 0)  # WM_NULL: its message loop answers


def capture_with_data(app, driver, com3, settings=None):
    q = app(dict(ENGLISH, **(settings or {})))
    harness.open_ports(driver)
    sent = b"keep me\r\n" + bytes(range(40))
    com3.write(sent)
    harness.save_log_when(driver, q, "arrived", lambda records: len(harness.received(records, 1)) >= len(sent))
    harness.close_ports(driver)
    before = save_log(driver, q, "before").read_bytes()
    assert parse_log(before)[1] > 40
    return q, before


def assert_capture_kept(driver, q, before, name):
    assert save_log(driver, q, name).read_bytes() == before


def test_damaged_logs_are_refused_and_the_capture_is_kept(app, driver, com3):
    q, before = capture_with_data(app, driver, com3)
    q.path("empty.log").write_bytes(b"")
    q.path("stub.log").write_bytes("0000000".encode("utf-16-le"))
    q.path("garbage.log").write_bytes(GARBAGE)
    q.path("utf8.log").write_bytes(b"\xef\xbb\xbf000000000000005\r" + b"\0" * 60)
    q.path("bom.log").write_bytes(b"\xff\xfe" + "00000000000005\r".encode("utf-16-le") + b"\1" * 40)
    for name in ("empty.log", "stub.log", "garbage.log", "utf8.log", "bom.log"):
        load_log(driver, name)
        _, caption, text = driver.message_box()
        driver.call("answer", _, 1)
        assert caption == "ReadFile" and "is not a log file" in text, (name, text)
        alive(driver, q)
    assert_capture_kept(driver, q, before, "after_damaged")


def test_locked_log_files_cannot_be_read_or_written_and_say_so(app, driver, com3):
    q, before = capture_with_data(app, driver, com3)
    locked = q.path("locked.log")
    locked.write_bytes(before)
    driver.call("lock", q.windows_path("locked.log"))
    try:
        load_log(driver, "locked.log")
        driver.expect_message("CreateFile", "The file could not be opened or created.")
        driver.command(141)
        driver.file_dialog("locked")
        # The save dialog may first ask whether to replace the file.
        _, caption, text = driver.message_box()
        if "exists" in text or "replace" in text.lower():
            driver.answer(_, 6)
            _, caption, text = driver.message_box()
        driver.call("answer", _, 1)
        assert (caption, text) == ("CreateFile", "The file could not be opened or created.")
    finally:
        driver.call("unlock")
    assert locked.read_bytes() == before
    assert_capture_kept(driver, q, before, "after_locked")


def restart_with(q, driver, name, content):
    """Closes the program, puts `content` in file `name`, starts it again."""
    driver.call("close", "main")
    assert q.wait_exit(20) == 0
    path = q.path(name)
    if content is None:
        path.unlink(missing_ok=True)
        path.mkdir()
    else:
        if path.is_dir():
            path.rmdir()
        path.write_bytes(content)
    q.start()
    q.hwnd = driver.main_window()


def test_damaged_settings_file_gives_sound_values(app, driver):
    q = app(dict(ENGLISH))
    # Binary garbage, an over-long line, numbers far out of range.
    restart_with(q, driver, "quorrin.ini", GARBAGE + (
        "\r\n[Setting]\r\nrs_speed=99999999999999999999\r\npl_time=-5\r\nscrol_pitch=2147483648\r\n"
        "rs_hdchar=" + "x" * 70000 + "\r\nmoji_type=1\r\n").encode("latin-1"))
    alive(driver, q)
    driver.command(163)  # needs an open channel: its refusal still reads in English
    driver.expect_message("Message", "This channel is not open.")
    driver.call("close", "main")
    assert q.wait_exit(20) == 0
    saved = dict(harness.read_settings(q.path("quorrin.ini")))
    assert len(saved["rs_hdchar"]) <= 30 and saved["moji_type"] == "1"


def test_settings_that_cannot_be_written_are_reported(app, driver):
    q = app(dict(ENGLISH, rs_speed=9600))
    driver.call("lock", q.windows_path("quorrin.ini"))
    try:
        driver.call("post", "main", 0x0010, 0, 0)  # WM_CLOSE
        _, caption, text = driver.message_box()
        assert caption == "WriteFile"
        first, where = text.split("\n")
        assert first == harness.message(["kTextSettingsWriteFailed"]) and where.endswith("quorrin.ini"), text
        driver.answer(_, 1)
        assert q.wait_exit(20) == 0
    finally:
        driver.call("unlock")
    assert dict(harness.read_settings(q.path("quorrin.ini")))["rs_speed"] == "9600"


def test_settings_file_that_is_a_folder(app, driver):
    q = app(dict(ENGLISH))
    restart_with(q, driver, "quorrin.ini", None)
    alive(driver, q)
    driver.call("post", "main", 0x0010, 0, 0)  # WM_CLOSE
    _, caption, text = driver.message_box()
    # No settings could be read, so the box speaks the first-start language.
    written = [harness.message(["kTextSettingsWriteFailed"], language) for language in range(4)]
    assert caption == "WriteFile" and text.split("\n")[0] in written, text
    driver.answer(_, 1)
    assert q.wait_exit(20) == 0


def test_damaged_theme_and_color_files_fall_back_to_the_light_defaults(app, driver, display):
    q = app(dict(ENGLISH))
    q.path("color.ini").write_bytes(GARBAGE)
    themes = {"empty": b"", "no_bom": b"dkm=1\r\n", "utf8_bom": b"\xef\xbb\xbfdkm=1\r\n", "garbage": GARBAGE,
              "endless_line": b"\xff\xfe" + ("d" * 3000).encode("utf-16-le"), "folder": None}
    for name, content in themes.items():
        restart_with(q, driver, "dkm.ini", content)
        alive(driver, q)
        driver.call("move", "main", 0, 0, 1000, 700)
        at = main_background_sample(driver)
        shot = harness.shot_until(display, f"theme_{name}", lambda p: pixel(p, *at) == LIGHT_BACKGROUND)
        assert pixel(shot, *at) == LIGHT_BACKGROUND, name


def test_colors_that_cannot_be_written_are_reported(app, driver):
    q = app(dict(ENGLISH))
    driver.call("lock", q.windows_path("color.ini"))
    try:
        dialog = open_color_dialog(driver)
        driver.call("click", dialog, 285)
        _, caption, text = driver.message_box()
        assert caption == "WriteFile" and text.startswith("The colors could not be written; they were not kept.")
        driver.answer(_, 1)
        alive(driver, q)
    finally:
        driver.call("unlock")


def test_missing_or_damaged_message_texts(app, driver, wine):
    # Without the table the notice still speaks the chosen language.
    for settings, first_line in ((ENGLISH, "The message text file is missing:"),
                                 ({"moji_type": 2}, "메시지 텍스트 파일이 없습니다:")):
        q = harness.Quorrin(wine, harness.E2E / "run" / "no_messages", settings=settings, messages=False)
        q.start()
        try:
            driver.main_window()  # the notice comes once the window is up
            _, caption, text = driver.message_box()
            assert caption == "Quorrin"
            assert text.startswith(first_line) and "quorrin_char2.ini" in text, text
            driver.answer(_, 1)
            alive(driver, q)
            driver.call("close", "main")
            assert q.wait_exit(20) == 0
        finally:
            q.kill()

    # Garbage lines are passed over and over-long texts are cut to 63.
    q = app(dict(ENGLISH))
    lines = ["[quorrin]", "No.7:comt-e=" + "L" * 500, "No.4:comt-e=Message"]
    restart_with(q, driver, "quorrin_char2.ini",
                 GARBAGE[:500] + ("\r\n" + "\r\n".join(lines) + "\r\n").encode("ascii"))
    driver.command(163)  # needs an open channel: message text 7
    driver.expect_message("Message", "L" * 63)
    alive(driver, q)


def test_unreadable_or_damaged_strings_files(app, driver, com3):
    q = app(dict(ENGLISH, rs_comport2=4))
    harness.open_ports(driver)
    missing = ("CreateFile", texts()[34][1])
    q.path("mdata.txt").mkdir()  # a folder where the file should be
    window = open_preset_window(driver, missing)
    press(driver, window, PRESET_CLOSE)
    q.path("mdata.txt").rmdir()
    q.path("mdata.txt").write_bytes(b"\xff\xfe" + "'one'\r\n".encode("utf-16-le"))
    driver.call("lock", q.windows_path("mdata.txt"))
    try:
        window = open_preset_window(driver, missing)
        press(driver, window, PRESET_CLOSE)
    finally:
        driver.call("unlock")
    # Garbage after a good first line: the first row still sends its bytes.
    q.path("mdata.txt").write_bytes(b"\xff\xfe" + "'one'\r\n".encode("utf-16-le") + GARBAGE)
    driver.command(151)
    # The reader may report lines it could not take before the window shows:
    # answer each box until the window is there.
    title = texts()[70][1]

    def window_or_answer():
        try:
            return driver.call("dialog", title, 0)[0]
        except harness.DriverError:
            pass
        try:
            hwnd, _, _ = driver.message_box(200)
            driver.answer(hwnd, 1)
        except harness.DriverError:
            pass
        return None

    window = harness.wait_for(window_or_answer, 20)
    assert window, "the preset window did not open"
    press(driver, window, PRESET_CH1)
    assert com3.read(3, timeout=5) == b"one"
    alive(driver, q)


def test_unreadable_or_damaged_macro_files(app, driver, com3):
    q = app(dict(ENGLISH))
    harness.open_ports(driver)
    dlg = open_macro_dialog(driver)
    q.path("folder.mac").mkdir()
    run_macro_file(driver, dlg, "folder.mac")
    _, caption, text = driver.message_box()
    driver.call("answer", _, 1)
    assert caption in ("CreateFile", "ReadFile") and text, text
    q.path("locked.mac").write_bytes(b"\xff\xfe" + "SEND 'x'\r\n".encode("utf-16-le"))
    driver.call("lock", q.windows_path("locked.mac"))
    try:
        run_macro_file(driver, dlg, "locked.mac")
        driver.expect_message("CreateFile", texts()[13][1])
    finally:
        driver.call("unlock")
    assert com3.drain(0.3) == b""
    # A long file whose first line sends and whose tail is garbage: only the
    # first 25,600 bytes are read, and the run ends with a message.
    q.path("long.mac").write_bytes(b"\xff\xfe" + "SEND 'go'0D\r\n".encode("utf-16-le") + GARBAGE * 30)
    run_macro_file(driver, dlg, "long.mac")
    assert com3.read(3, timeout=5) == b"go\r"
    _, caption, text = driver.message_box(60000)
    driver.answer(_, 1)
    assert caption == "Quorrin" and text
    alive(driver, q)
