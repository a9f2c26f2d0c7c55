"""Quorrin at display scales of 100, 125, 150 and 200 %: Wine hands the program
the DPI of HKCU\\Control Panel\\Desktop\\LogPixels, which a test sets before
the start. The data view's cells, the status bar's parts and the tool
windows must grow with the scale, and nothing may be cut."""
from collections import Counter

import pytest

import harness
from harness import client_shot, screenshot, texts

DESKTOP = r"Control Panel\Desktop"
CMD_INPUT, CMD_MODBUS, CMD_PORT_NUMBER, CMD_CHECKSUM, CMD_MONITOR, CMD_FIND = 150, 153, 160, 172, 178, 183


@pytest.fixture
def scale(driver):
    """scale(dpi) -> the LogPixels of the next start; 96 again afterwards."""
    def set_dpi(dpi):
        driver.call("userdword", DESKTOP, "LogPixels", str(dpi))
    yield set_dpi
    set_dpi(96)


def status(driver):
    """The main window's DPI and, per status bar part, its width and how
    far right its drawn text reaches, read inside Quorrin."""
    dpi, parts = 0, []
    for line in driver.call("status"):
        kind, *values = line.split("|")
        if kind == "dpi":
            dpi = int(values[0])
        elif kind == "part":
            parts.append(tuple(int(v) for v in values))
    return dpi, parts


def cell_pitch(shot):
    """The width of the data view's cells in a picture of the empty view:
    the run length that repeats most along a row of pixels, where the cells'
    backgrounds alternate."""
    best = (0, 0)
    for y in range(shot.h):
        runs, start = [], 0
        for x in range(1, shot.w):
            if shot.at(x, y) != shot.at(x - 1, y):
                runs.append(x - start)
                start = x
        runs = [r for r in runs[1:] if r >= 4]  # not the edge, nor a text's strokes
        if not runs:
            continue
        length, times = Counter(runs).most_common(1)[0]
        if times > best[1]:
            best = (length, times)
    assert best[1] >= 10, best
    return best[0]


def start_at(app, driver, scale, dpi):
    scale(dpi)
    q = app()
    driver.call("move", "main", 0, 0, scaled(1000, dpi), scaled(700, dpi))
    return q


def scaled(value, dpi):
    """`value` pixels at 96 DPI at `dpi`, as the program rounds them."""
    return (value * dpi + 48) // 96


def test_main_window_cells_and_status_bar_grow_with_the_scale(app, driver, display, scale, com3):
    pitches = {}
    for dpi in (96, 120, 144, 192):
        q = start_at(app, driver, scale, dpi)
        shown, parts = harness.screen_until(lambda: status(driver), lambda r: r[0] == dpi)
        assert shown == dpi
        assert len(parts) == 12
        for i, width, ink in parts:
            assert 0 < ink <= width, (dpi, i, width, ink)
        pitches[dpi] = cell_pitch(client_shot(display, driver, "main", f"scale_empty_{dpi}"))
        harness.open_ports(driver)
        com3.write(b"Quorrin at " + str(dpi).encode() + b" DPI\r\n\x00\x7f\xb1")
        # Open ports and their settings make the longest texts of the bar.
        for i, width, ink in status(driver)[1]:
            assert 0 < ink <= width, (dpi, i, width, ink)
        screenshot(display, f"scale_main_{dpi}")
        driver.call("close", "main")
        q.wait_exit(20)
    # A cell is two glyphs of the big font wide, and the font's glyphs round
    # to whole pixels at each size (13 at 18 px, 27 at 36 px).
    assert abs(pitches[144] - 1.5 * pitches[96]) <= 2, pitches
    assert abs(pitches[192] - 2 * pitches[96]) <= 2, pitches


def open_tool(driver, command, title):
    driver.command(command)
    return driver.call("dialog", title, 10000, timeout=20)[0]


@pytest.mark.parametrize("dpi,theme", [(96, 0), (144, 0), (144, 1), (192, 0)])
def test_tool_windows_at_the_scale(app, driver, display, scale, dpi, theme):
    q = start_at(app, driver, scale, dpi)
    if theme:
        harness.restart_in_theme(driver, q, theme)
        driver.call("move", "main", 0, 0, scaled(1000, dpi), scaled(700, dpi))
    assert harness.screen_until(lambda: status(driver)[0], lambda d: d == dpi) == dpi
    t = texts()
    # The port dialog while the ports are closed, the others with CH1 open.
    windows = [(CMD_PORT_NUMBER, "PortNo.Setting"), (CMD_INPUT, "*"), (CMD_MONITOR, t[354][1]),
               (CMD_FIND, t[527][1]), (CMD_CHECKSUM, t[100][1]), (CMD_MODBUS, "Modbus"), (188, t[786][1])]
    for command, title in windows:
        if command == CMD_INPUT:
            harness.open_ports(driver)
        dlg = open_tool(driver, command, title)
        left, top, right, bottom = map(int, driver.call("rect", dlg))
        assert right - left > 0 and bottom - top > 0
        screenshot(display, f"scale_{dpi}_{theme}_{command}")
        driver.call("close", dlg)
        harness.wait_for(lambda: dlg not in [w.split("|")[0] for w in driver.call("windows")])


def test_a_change_of_scale_lays_the_windows_out_again(app, driver, display, scale):
    """WM_DPICHANGED as Windows sends it when the window moves to another
    monitor (here of the same scale, the one Wine has): the main window
    takes the suggested rectangle, makes its toolbar and status bar again,
    and the open tool window lays itself out again at the same size."""
    start_at(app, driver, scale, 144)
    harness.open_ports(driver)
    tool = open_tool(driver, CMD_INPUT, "*")
    tool_rect = driver.call("rect", tool)
    suggested = driver.call("dpichanged")[0].split("|")
    assert harness.wait_for(lambda: driver.call("rect", "main") == suggested), (driver.call("rect", "main"), suggested)
    assert driver.call("rect", tool) == tool_rect
    toolbar = driver.call("child", "main", 1000)[0]
    left, top, right, bottom = map(int, driver.call("rect", toolbar))
    assert bottom - top >= 24 + 6  # the 24-pixel images of 150 %
    dpi, parts = status(driver)
    assert dpi == 144 and len(parts) == 12
    for i, width, ink in parts:
        assert 0 < ink <= width, (i, width, ink)
    screenshot(display, "scale_changed_144")


def test_network_links_keep_the_status_bar_parts_whole(app, driver, display, scale):
    """A socket:// device on CH1, a listener serving a client on CH2: their
    addresses and what they have instead of line settings fit their parts,
    and the parts after them stay where COM ports have them."""
    from net_peers import Peer
    from test_network_ports import free_port
    for dpi in (96, 144):
        device, listen_port = Peer(), free_port()
        device.start()
        scale(dpi)
        q = app({"moji_type": 1, "rs_comport": 0, "rs_comport2": 0},
                args=["/port1", f"socket://127.0.0.1:{device.port}", "/port2", f"listen://{listen_port}", "/open"])
        driver.call("move", "main", 0, 0, scaled(1000, dpi), scaled(700, dpi))
        client = Peer(connect_to=listen_port)
        client.start()
        try:
            assert harness.wait_for(lambda: device.conn is not None and client.conn is not None, 15)
            # The client is named once the link has taken it.
            _, parts = harness.screen_until(lambda: status(driver), lambda r: r[0] == dpi and len(r[1]) == 12
                                            and r[1][7][2] > scaled(100, dpi))
            for i, width, ink in parts:
                assert 0 < ink <= width, (dpi, i, width, ink)
            assert sum(width for _, width, _ in parts) <= scaled(1220, dpi) + 12, parts
            screenshot(display, f"scale_network_{dpi}")
        finally:
            client.stop()
            device.stop()
        driver.call("close", "main")
        q.wait_exit(20)
