"""The Highlight Rules dialog, as a user meets it: OK writes highlights.txt
back without losing what the user wrote there (a comment, a file that did
not read), and a colour that is no six hex digits is refused with a
message, as the file's reader refuses it."""
import csv
import io

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


def test_a_match_and_an_unanswered_request_at_a_windows_edge_are_coloured_in_both_windows(app, driver, display):
    """A recording of two windows: the first ends, after 90 ms of quiet,
    with "FIND" and "xxAL" received on CH2 and a request on CH1 the slave
    never answered; after 300 ms of quiet the second begins with "ARMyy",
    the next request and its answer. Find (the 90 ms silence) puts the view
    at the first window's end: "AL" takes the ALARM rule's colour and the
    request the bad frame rule's (the window after it read ahead); one step
    on, "ARM" takes the ALARM rule's colour and no frame is bad."""
    from test_data_view import client, shot
    from test_find_window import LOOK_SILENCE, NEXT, open_find, query, text, wait_status
    from test_highlight import MAGENTA, crc16_modbus
    from test_recording import write_recording
    cyan = (0, 255, 255)
    settings = {"moji_type": 1, "rs_comport": 0, "rs_comport2": 0, "scrol_pitch": 100000}
    q = restart_with(app, driver, ["FF00FF\tT\t2\tRX\tALARM", "00FFFF\tF\t1\tTX\t"], settings)
    driver.call("move", "main", 0, 0, 1000, 700)
    request = bytes([1, 3, 0, 0, 0, 1])
    answer = bytes([1, 3, 2, 0, 42])
    # 380 chunks of 300 bytes 2 ms apart: past seven eighths of a window, so
    # the window ends at the first quiet of 100 ms.
    fill = [(4, 5_000_000 + k * 2000, b"z" * 300) for k in range(380)]
    entries = fill + [(3, 5_850_000, b"FIND"), (3, 5_852_000, b"xxAL"), (2, 5_854_000, request + crc16_modbus(request)),
                      (3, 6_100_000, b"ARMyy"), (2, 6_120_000, request + crc16_modbus(request)),
                      (1, 6_140_000, answer + crc16_modbus(answer))]
    folder = q.path("recordings")
    folder.mkdir()
    write_recording(folder / "quorrin-20261210-100000.qrec", (2026, 12, 10, 10, 0, 0), 5_000_000, entries)
    driver.command(182)
    driver.file_dialog("quorrin-20261210-100000.qrec")
    dlg = open_find(driver)
    driver.call("move", dlg, 0, 720, 700, 500)
    query(driver, dlg, "80", look=LOOK_SILENCE)
    driver.call("press", dlg, NEXT)
    wait_status(driver, dlg, text(544, 1, 2))  # the silence before "FIND", then the one before "ARMyy"
    area = client(driver)

    def cells(name, rgb):
        # Pixels of a rule's colour: as many as its cells hold.
        picture = harness.client_shot(display, driver, "main", name)
        return picture.count(0, 0, picture.w, picture.h, lambda p: p == rgb)

    shot(display, "highlight_window_end",
         lambda p: box(p, area, MAGENTA) is not None and box(p, area, cyan) is not None)
    al, frame = cells("highlight_window_end_al", MAGENTA), cells("highlight_window_end_frame", cyan)
    assert al > 0, "the AL of ALARM before the edge is not coloured"
    assert 3.5 * al < frame < 4.5 * al, (al, frame)  # the request's eight cells against two
    # One step to the window's last row, one more on to the next window.
    driver.command(146)
    driver.command(146)
    driver.command(176)
    driver.file_dialog("next.csv")
    shown = list(csv.reader(io.StringIO(harness.written_file(driver, q.path("next.csv")).decode("ascii"), newline="")))
    assert len(shown) > 1 and bytes.fromhex(shown[1][5]) == b"ARMyy", shown[:2]
    shot(display, "highlight_window_start", lambda p: box(p, area, MAGENTA) is not None)
    arm = cells("highlight_window_start_arm", MAGENTA)
    assert 1.3 * al < arm < 1.7 * al, (al, arm)  # three cells against two
    assert cells("highlight_window_start_frame", cyan) == 0, "a frame coloured bad in the next window"
