"""Faults found in review, shown through the real program: the status bar's
parts with rfc2217:// addresses at 144 DPI in a window as wide as the
screen, a new folder typed into the recording's chooser, what the status
bar says at a recording's stop, and a network link's line part in Japanese
and Korean."""
import harness
from test_display_scale import scale, status  # noqa: F401  (scale is a fixture)
from test_find_window import ENGLISH

SCREEN_W = 1920  # the harness's Xvfb screen


def test_an_rfc2217_address_keeps_the_status_bar_inside_a_full_width_window(app, driver, display, scale):  # noqa: F811
    # COM ports end the parts at 1830 px at 144 DPI, inside 1920;
    # rfc2217:// addresses (no server needed: the port stays closed) must not
    # push the last parts past the window's right edge.
    dpi = 144
    scale(dpi)
    app(ENGLISH, args=["/port1", "rfc2217://127.0.0.1:1", "/port2", "rfc2217://127.0.0.1:2"])
    driver.call("move", "main", 0, 0, SCREEN_W, 1000)
    _, parts = harness.screen_until(lambda: status(driver), lambda r: r[0] == dpi and len(r[1]) == 12)
    left, _, right, _ = map(int, driver.call("client", "main"))
    ends, at = [], 0
    for _, width, _ in parts:
        at += width
        ends.append(at)
    harness.screenshot(display, "status_record_rfc2217_status_144")
    assert ends[-1] <= right - left, (right - left, ends)



def test_record_to_disk_takes_a_typed_folder_that_does_not_exist_yet(app, driver, display, com3):
    # A new folder for a new bench is typed, as the chooser invites; the
    # recorder makes missing folders, so the chooser must let it through.
    from test_recording import CMD_RECORD, SETTINGS
    q = app(dict(SETTINGS, rs_comport2=0))
    harness.open_ports(driver)
    driver.command(CMD_RECORD)
    driver.call("dialog", "Record to Disk", 10000, timeout=20)
    typed = q.path("bench") / "pump-4"
    driver.call("filedialog", str(harness.to_windows_path(typed)), 5000)
    com3.write(b"PUMP 4 RUNNING\r\n")
    made = harness.wait_for(lambda: typed.is_dir() and list(typed.glob("quorrin-*.qrec")), 10)
    harness.screenshot(display, "status_record_record_typed_new_folder", driver)
    # Seen: a box "Path does not exist" over the chooser, which stays open.
    assert made, driver.call("windows")


def test_the_stop_says_in_the_status_bar_where_the_recording_went(app, driver, display, com3):
    # Not only in a tooltip that shows when the pointer rests on the part:
    # the part itself says the folder (a path of some 60 characters here,
    # hundreds of pixels), the files and the size for a few seconds.
    from test_recording import CMD_RECORD, SETTINGS, status_tip
    q = app(dict(SETTINGS, rs_comport2=0))
    harness.open_ports(driver)
    driver.command(CMD_RECORD)
    driver.call("dialog", "Record to Disk", 10000, timeout=20)
    folder = str(harness.to_windows_path(q.path("recordings")))
    driver.call("filedialog", folder, 5000)
    com3.write(b"PUMP 5 RUNNING\r\n")
    assert harness.wait_for(lambda: list(q.path("recordings").glob("quorrin-*.qrec")), 10)
    driver.command(CMD_RECORD)
    assert harness.wait_for(lambda: status_tip(driver, 8).startswith("Recorded "), 10)
    _, parts = status(driver)
    harness.screenshot(display, "status_record_record_stopped", driver)
    _, width, ink = parts[8]
    assert ink >= 6 * len(folder), (width, ink, len(folder))


def test_a_network_links_line_part_fits_in_every_language(app, driver, display):
    # The line part of a socket:// or listen:// link is 140 px at 96 DPI
    # (it gave 100 px to the address): what it says there instead of line
    # settings must fit in Japanese, Korean and Chinese as in English.
    from net_peers import Peer
    from test_network_ports import free_port
    cut = []
    for language in (0, 2, 3):
        device, listen_port = Peer(), free_port()
        device.start()
        q = app({"moji_type": language, "rs_comport": 0, "rs_comport2": 0},
                args=["/port1", f"socket://127.0.0.1:{device.port}", "/port2", f"listen://{listen_port}", "/open"])
        driver.call("move", "main", 0, 0, 1300, 700)
        client = Peer(connect_to=listen_port)
        client.start()
        try:
            assert harness.wait_for(lambda: device.conn is not None and client.conn is not None, 15)
            _, parts = harness.screen_until(lambda: status(driver), lambda r: len(r[1]) == 12 and r[1][7][2] > 60)
            harness.screenshot(display, f"status_record_line_part_{language}")
            assert all(parts[i][2] > 0 for i in (3, 7)), parts
            cut += [(language, i, parts[i][1], parts[i][2]) for i in (3, 7) if parts[i][2] > parts[i][1]]
        finally:
            client.stop()
            device.stop()
        driver.call("close", "main")
        q.wait_exit(20)
    # Seen in Japanese: "クライアント 127.0.0.1:3908" with the port's last
    # digit under the next part.
    assert not cut, cut  # (language, part, width, ink)
