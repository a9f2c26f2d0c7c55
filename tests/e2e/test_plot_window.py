"""The Plot window on the real program: a device's text lines on CH2 become
series CH2 #1 and CH2 T, listed checked (the link's timing listed but not
checked) and drawn in their colours, following the newest line; a series
cleared is no longer drawn; its CSV export holds exactly the values sent;
a click moves the data view; a 200 MB recording is read beside the window
with its progress while the window and the main window answer, and
closing the window ends the read."""
import csv
import io
import os
import re
import subprocess
import sys

import harness
from test_find_window import big_recording

SETTINGS = {"moji_type": 1, "rs_comport": 3, "rs_comport2": 4}
CMD_PLOT = 188
SERIES, STATUS, AREA = 501, 403, 505
FOLLOW, FIT, PNG, CSV, CLOSE = 251, 252, 253, 254, 255
HUE = [(0, 90, 200), (200, 60, 0)]  # the light palette's first two series colours
LVIS_STATEIMAGEMASK = 0xF000


def title():
    return harness.texts()[786][1]


def open_plot(driver):
    driver.command(CMD_PLOT)
    hwnd, _ = driver.call("dialog", title(), 10000, timeout=20)
    return hwnd


def listed(driver, dlg):
    """{series label: checked} of the series list."""
    out = {}
    for row in driver.call("rows", dlg, SERIES):
        state, label = row.split("|", 1)
        out[label] = state == "1"
    return out


def status(driver, dlg):
    return driver.call("gettext", dlg, STATUS)[0]


def hue_pixels(display, driver, dlg, name, hue):
    area = driver.call("child", dlg, AREA)[0]
    shot = harness.client_shot(display, driver, area, name)
    return shot.count(0, 0, shot.w, shot.h, lambda p: p == hue)


def test_live_lines_are_listed_drawn_followed_and_exported(app, driver, display, com4):
    q = app(SETTINGS, args=["/open"])
    assert harness.wait_for(lambda: harness.toolbar_enabled(driver, harness.TOOLBAR_CLOSE_PORTS), 10)
    temps = ["23.3", "-1.5", "24"]
    dlg = open_plot(driver)
    driver.call("move", dlg, 40, 40, 900, 560)
    for k, t in enumerate(temps):
        before = status(driver, dlg)
        com4.write(b"STATUS %d T=%s C OK\r\n" % (10 + k, t.encode()))
        # The next line once the window has this one's points.
        assert harness.wait_for(lambda: status(driver, dlg) != before, 10), before
    assert harness.wait_for(lambda: {"CH2 #1", "CH2 T"} <= set(listed(driver, dlg)), 10), listed(driver, dlg)
    rows = listed(driver, dlg)
    assert rows["CH2 #1"] and rows["CH2 T"]
    assert not any(checked for label, checked in rows.items() if label.endswith(("ms", "bytes/s"))), rows
    harness.assert_answering(driver, [dlg, "main"], 0.5)
    # Both drawn, each in its colour; a series cleared is drawn no more.
    assert harness.wait_for(lambda: hue_pixels(display, driver, dlg, "plot_live", HUE[0]) > 20, 10)
    assert hue_pixels(display, driver, dlg, "plot_live", HUE[1]) > 20
    labels = list(listed(driver, dlg))
    driver.call("rowstate", dlg, SERIES, labels.index("CH2 #1"), 0x1000, LVIS_STATEIMAGEMASK)
    assert harness.wait_for(lambda: not listed(driver, dlg)["CH2 #1"], 5)
    assert harness.wait_for(lambda: hue_pixels(display, driver, dlg, "plot_cleared", HUE[0]) == 0, 10)
    assert hue_pixels(display, driver, dlg, "plot_cleared", HUE[1]) > 20
    # The CSV of the checked series over the span shown: the values sent.
    driver.call("press", dlg, CSV)
    driver.file_dialog("plot_window.csv")
    data = harness.written_file(driver, q.path("plot_window.csv"))
    assert harness.wait_for(lambda: status(driver, dlg).startswith("Written: "), 20), status(driver, dlg)
    rows = list(csv.DictReader(io.StringIO(q.path("plot_window.csv").read_text())))
    assert [(r["channel"], r["series"]) for r in rows] == [("CH2", "T")] * 3, data
    assert [float(r["value"]) for r in rows] == [float(t) for t in temps]
    # A click in the plot area: the cursor there, the window still answers.
    area = driver.call("child", dlg, AREA)[0]
    left, top, right, bottom = map(int, driver.call("client", area))
    driver.call("mouse", area, (right - left) // 2, (bottom - top) // 2)
    harness.assert_answering(driver, [dlg, "main"], 0.3)
    # A picture of what is shown.
    driver.call("press", dlg, PNG)
    driver.file_dialog("plot_window.png")
    assert harness.written_file(driver, q.path("plot_window.png"))[:8] == b"\x89PNG\r\n\x1a\n"


def test_the_demo_instrument_plots_the_temperatures_it_sent(app, driver, com3):
    demo = subprocess.Popen([sys.executable, str(harness.ROOT / "scripts" / "demo_device.py"),
                             os.path.realpath(com3.link_peer), "--interval", "0.3"])
    try:
        q = app(SETTINGS, args=["/open"])
        dlg = open_plot(driver)
        assert harness.wait_for(lambda: listed(driver, dlg).get("CH1 T"), 20), listed(driver, dlg)
        log = harness.save_log_when(driver, q, "demo", lambda r: harness.received(r, 1).count(b"OK\r\n") >= 3)
    finally:
        demo.terminate()
        demo.wait(10)
    sent = [float(t) for t in re.findall(rb"STATUS \d+ T=([0-9.]+)C OK\r\n", harness.received(harness.parse_log(
        log.read_bytes())[2], 1))]
    assert len(sent) >= 3
    # The window's own export of what it read: at least the lines saved, in their order.
    driver.call("press", dlg, FIT)
    driver.call("press", dlg, CSV)
    driver.file_dialog("demo.csv")
    assert harness.wait_for(lambda: status(driver, dlg).startswith("Written: "), 20), status(driver, dlg)
    plotted = [float(r["value"]) for r in csv.DictReader(io.StringIO(q.path("demo.csv").read_text()))
               if (r["channel"], r["series"]) == ("CH1", "T")]
    assert plotted[:len(sent)] == sent


def test_a_big_recording_is_read_beside_the_window(app, driver):
    q = app(SETTINGS)
    folder = q.path("big")
    folder.mkdir()
    big_recording(folder / "quorrin-20261209-090000.qrec", 200)
    driver.command(182)
    driver.file_dialog(q.windows_path("big/quorrin-20261209-090000.qrec"))
    dlg = open_plot(driver)
    reading = harness.texts()[796][1].split("%d")[0]
    assert harness.wait_for(lambda: status(driver, dlg).startswith(reading), 20), status(driver, dlg)
    harness.assert_answering(driver, [dlg, "main"], 1.0)
    assert status(driver, dlg).startswith(reading)  # still reading: the window answered during the read
    # The first picture: some series listed while the read goes on.
    assert harness.wait_for(lambda: listed(driver, dlg), 20)
    driver.call("press", dlg, CLOSE)
    assert harness.wait_for(lambda: not harness.dialog_shown(driver, title()), 10)
    harness.assert_answering(driver, ["main"], 0.3)
