"""The Highlight Rules dialog, as a user meets it: OK writes highlights.txt
back without losing what the user wrote there (a comment, a file that did
not read), and a colour that is no six hex digits is refused with a
message, as the file's reader refuses it."""
import harness
from test_data_view import box
from test_highlight import ADD, COLOUR, CMD_HIGHLIGHT, PATTERN, SETTINGS, restart_with, rows


def open_dialog(driver):
    driver.command(CMD_HIGHLIGHT)
    dlg, _ = driver.call("dialog", "Highlight Rules", 10000, timeout=20)
    return dlg


def test_ok_keeps_the_comment_of_the_file(app, driver):
    q = restart_with(app, driver, ["; pump 3 alarms, from the service sheet", "FF00FF\tT\t*\t*\tALARM"])
    path = q.path("highlights.txt")
    before = path.stat().st_mtime_ns
    dlg = open_dialog(driver)
    driver.call("click", dlg, 1)
    assert harness.wait_for(lambda: path.stat().st_mtime_ns != before, 10), "highlights.txt not written"
    text = path.read_bytes()[2:].decode("utf-16-le")
    assert "; pump 3 alarms, from the service sheet" in text, text


def test_a_colour_of_no_six_hex_digits_is_refused(app, driver):
    restart_with(app, driver, ["FF00FF\tT\t*\t*\tALARM"])
    dlg = open_dialog(driver)
    driver.call("settext", dlg, COLOUR, "-00001")  # the file's reader says: not six hex digits
    driver.call("settext", dlg, PATTERN, "yy")
    driver.call("press", dlg, ADD)
    try:
        _, caption, text = driver.message_box(5000)
    except Exception:
        caption = None
    assert caption == "Error", f"no message; the rules now: {rows(driver, dlg)}"


def test_ok_does_not_overwrite_a_file_that_did_not_read(app, driver):
    """highlights.txt saved as UTF-8 is refused at start with a message; OK
    in the dialog (which shows no rules) must not replace the user's file."""
    from test_data_view import color_file
    q = app(SETTINGS)
    driver.call("close", "main")
    q.wait_exit(20)
    color_file(q)
    path = q.path("highlights.txt")
    path.write_bytes("FF00FF\tT\t*\t*\tALARM\r\n".encode("utf-8"))
    q.start()
    q.hwnd = driver.main_window()
    driver.expect_message("FileError", timeout_ms=30000)
    before = path.stat().st_mtime_ns
    dlg = open_dialog(driver)
    driver.call("click", dlg, 1)
    harness.wait_for(lambda: path.stat().st_mtime_ns != before, 5)
    assert path.read_bytes() == "FF00FF\tT\t*\t*\tALARM\r\n".encode("utf-8"), path.read_bytes()



def test_a_match_begun_at_the_top_of_a_page_is_coloured_whatever_comes_between(app, driver, display):
    """An open recording shows its first page: "AL" received on CH1 at the
    top, ALARM's "ARM" later, after CH2 sent a few thousand bytes. Find
    finds ALARM there; the "AL" on the page takes the rule's colour."""
    from test_data_view import client, shot
    from test_highlight import MAGENTA
    from test_recording import write_recording
    q = restart_with(app, driver, ["FF00FF\tT\t*\t*\tALARM"])
    folder = q.path("recordings")
    folder.mkdir()
    ch2 = [(3, 5_100_000 + k * 10_000, b"z" * 1000) for k in range(8)]  # 0.1 s of CH2 at 92,160 bytes/s
    write_recording(folder / "quorrin-20261210-100000.qrec", (2026, 12, 10, 10, 0, 0), 5_000_000,
                    [(1, 5_000_000, b"AL")] + ch2 + [(1, 5_200_000, b"ARM")])
    driver.command(182)
    driver.file_dialog("quorrin-20261210-100000.qrec")
    area = client(driver)
    page = shot(display, "highlight_review_page_top", lambda p: box(p, area, MAGENTA) is not None)
    assert box(page, area, MAGENTA) is not None, "the AL of ALARM at the top of the page is not coloured"
