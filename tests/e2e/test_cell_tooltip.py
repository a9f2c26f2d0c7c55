"""The tooltip over the cells of the data view: a peer sends bytes into
CH1, the mouse goes over their cells, and the tooltip that shows says
which byte of which chunk it is, its value and its time; it goes away
when the mouse leaves the grid."""
import re

import harness
from test_data_view import CH1, box, client, shot, start

TIME = re.compile(r"Time \d\d:\d\d:\d\d\.\d{6}, \d+\.\d{6} s after the first chunk")


def tooltip(driver, needle):
    """The text of the visible cell tooltip holding `needle`, or None."""
    for w in driver.call("windows"):
        _, cls, text = w.split("|", 2)
        if cls.lower() == "tooltips_class32" and needle in text:
            return text
    return None


def no_tooltip(driver):
    return not any(w.split("|", 2)[1].lower() == "tooltips_class32" for w in driver.call("windows"))


def cells_of(driver, display, name):
    """The client box of the CH1 cells once they are on the screen."""
    area = client(driver)
    image = shot(display, name, lambda p: box(p, area, CH1))
    found = box(image, area, CH1)
    assert found, "the received bytes are painted"
    return found


def hover(driver, x, y, needle, timeout=10):
    """Puts the mouse on (x, y) until the tooltip holding `needle` shows.
    The move is repeated while waiting: under Wine the first pointer move
    into a freshly started window may reach it before the pointer is
    there; a move onto the cell already shown costs nothing."""
    def shown():
        driver.call("mouse", "main", x, y)
        return tooltip(driver, needle)
    return harness.wait_for(shown, timeout)


def received_cells(app, driver, display, com3, name):
    q = start(app, driver)
    harness.open_ports(driver)
    com3.write(b"Hi!")
    return q, cells_of(driver, display, name)


def test_tooltip_names_channel_index_byte_and_time(app, driver, display, com3):
    _, (x, y, w, h) = received_cells(app, driver, display, com3, "cell_tip_cells")
    mid = y + h // 2
    first = hover(driver, x + 2, mid, "index 0 ")
    assert first, "a tooltip for the first cell"
    assert "CH1 RX, index 0 in its chunk" in first
    assert "hex 48, decimal 72, H" in first
    assert TIME.search(first), first
    assert "Silence before: none, first chunk" in first
    # The last of the three cells: another byte of the same chunk.
    last = hover(driver, x + w - 2, mid, "index 2 ")
    assert last, "the tooltip follows the mouse to another cell"
    assert "hex 21, decimal 33, !" in last
    assert TIME.search(last), last
    shot(display, "cell_tip_light", lambda p: True)
    # Over the margin with the labels: no cell, no tooltip.
    assert harness.wait_for(lambda: driver.call("mouse", "main", 3, mid) is not None and no_tooltip(driver), 10), \
        "hidden outside the grid"


def test_marker_cell_and_dark_palette(app, driver, display, com3):
    q, (x, y, w, h) = received_cells(app, driver, display, com3, "cell_tip_dark_before")
    harness.close_ports(driver)
    harness.restart_in_theme(driver, q, 1)
    harness.open_ports(driver)
    com3.write(b"Hi!")
    # The dark palette has its own colors: the cells stand where they stood
    # (same fonts, same grid in client coordinates); the tooltip tells when
    # the bytes have arrived.
    data = hover(driver, x + 2, y + h // 2, "index 0 ")
    shot(display, "cell_tip_dark", lambda p: True)
    assert data and "hex 48, decimal 72, H" in data
    shot(display, "cell_tip_dark", lambda p: True)
    # Right of the three data cells, on the line below their hex digits,
    # stand the chunk's gap markers: the first point there that is a cell.
    marker = None
    for dx in range(0, 80, 6):
        marker = hover(driver, x + w + dx, y + h + 6, "Gap marker", 1)
        if marker:
            break
    assert marker, "a tooltip over the gap markers"
    assert "Gap marker after a CH1 RX chunk" in marker
    assert re.search(r"Silence after the chunk: \d+\.\d s", marker), marker
    shot(display, "cell_tip_dark_marker", lambda p: True)
    assert harness.wait_for(lambda: driver.call("mouse", "main", 3, y + h // 2) is not None and no_tooltip(driver), 10)
