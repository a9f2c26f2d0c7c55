"""Faults found in review, shown through the real program: the status bar's
parts with rfc2217:// addresses at 144 DPI in a window as wide as the
screen."""
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
    harness.screenshot(display, "review47_rfc2217_status_144")
    assert ends[-1] <= right - left, (right - left, ends)

