"""A port that drops out and comes back, on the real program under Wine.

COM5 is reached through socat's link (conftest): stopping that socat takes
the pty away (Quorrin's reads fail: the device is gone), and a new socat
under the same link name brings a new pty back behind the same COM5. With
"/reconnect /open" Quorrin opens the ports by itself, shows no box when
COM5 goes, opens it again once it is back and receives on into the same
capture, while CH2 (COM4) goes on undisturbed; without /reconnect the old
box comes, once, and the channel stays closed."""
import csv
import io
import os
import time

import harness
from harness import texts
from test_cell_tooltip import hover
from test_data_view import client
import test_link_stats as stats_window

SETTINGS = {"moji_type": 1, "rs_comport": 5, "rs_comport2": 4}
CMD_EXPORT = 176
OUTAGES, OUTAGE_TIME = 454, 456  # the link statistics' figures


def held(driver, pair):
    """True while Quorrin holds a handle on this pair's pty (through its link or not)."""
    wanted = {pair.app_path, str(pair.link_app)}
    for line in driver.call("comm"):
        path = line.split("|")[0].replace("\\\\?\\Z:", "").replace("\\", "/")
        if path in wanted:
            return True
    return False


def pty_in_use(pair):
    """True while a process other than this test and the pair's socat has
    the pair's pty open:
    Wine holds the Unix descriptor of every port handle Quorrin has open.
    Read from /proc without a word to Quorrin, so it can be polled quickly;
    asking Quorrin itself (held) runs on its window's thread and takes a
    good part of a second."""
    mine = {str(os.getpid()), str(pair.proc.pid)}
    for pid in os.listdir("/proc"):
        if not pid.isdigit() or pid in mine:
            continue
        try:
            for fd in os.listdir(f"/proc/{pid}/fd"):
                if os.readlink(f"/proc/{pid}/fd/{fd}") == pair.app_path:
                    return True
        except OSError:
            continue
    return False


def lines(first, count, tag):
    return b"".join(f"{tag}{k:05d}\r\n".encode() for k in range(first, first + count))


def port_gone(ports):
    """Stops COM5's socat: its link and pty go."""
    ports["COM5"].close()
    assert harness.wait_for(lambda: not ports["COM5"].link_app.exists(), 5), "socat left its link"


def port_back(ports, holders):
    """A new socat under COM5's link; returns when its pty is there."""
    pair = harness.PtyPair(harness.E2E / "pty", "com5")
    ports["COM5"] = pair
    holders.append(os.open(pair.app_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK))
    return pair


def streams(records):
    return harness.received(records, 1), harness.received(records, 3)


def wait_received(driver, q, ch1, ch2, name):
    """Waits until the capture holds exactly these streams (a log saved now and then)."""
    harness.save_log_when(driver, q, name, lambda records: streams(records) == (ch1, ch2), timeout=15)


def test_a_lost_port_comes_back_five_times_and_the_streams_go_on(app, driver, display, ports, com4):
    holders = []
    try:
        q = app(SETTINGS, args=["/reconnect", "/open"])
        assert harness.wait_for(lambda: held(driver, ports["COM5"]) and held(driver, com4), 10), "/open opened nothing"
        driver.no_message_box(300)
        ch1, ch2 = b"", b""
        outages = []  # (shortest, longest) each outage can have been, as the test saw it
        for k in range(5):
            part = lines(100 * k, 20, "A")
            ports["COM5"].write(part)
            ch1 += part
            wait_received(driver, q, ch1, ch2, f"before{k}")  # socat has handed it on before it goes
            gone_at = time.time()
            port_gone(ports)
            # Lost: no box, the window answers, CH2 goes on receiving.
            while time.time() < gone_at + 2.5:
                assert harness.no_message_box(driver), "a box came for a lost port"
                part = lines(100 * k, 5, "B")
                com4.write(part)
                ch2 += part
                answer = harness.answer_ms(driver, "main")
                assert answer < harness.ANSWER_MS, f"the window took {answer} ms to answer while COM5 was lost"
            if k == 0:
                harness.screenshot(display, "reconnect_lost")
            pair = port_back(ports, holders)
            back_at = time.time()
            assert harness.wait_for(lambda: pty_in_use(pair), 5, step=0.02), \
                f"outage {k + 1}: COM5 was not opened again"
            took = time.time() - back_at
            assert took < 2.0, f"outage {k + 1}: reconnected {took:.2f} s after the port came back"
            outages.append((back_at - gone_at, time.time() - gone_at))
        part = lines(900, 20, "A")
        ports["COM5"].write(part)
        ch1 += part
        # Every byte of both streams, in order, in the one capture.
        wait_received(driver, q, ch1, ch2, "after")
        harness.screenshot(display, "reconnect_markers_light", driver)
        # The export tells each outage: "lost" and "back" between the two
        # parts of CH1's stream, the outage as long as the port was away.
        driver.command(CMD_EXPORT)
        driver.file_dialog("outages.csv")
        rows = list(csv.reader(io.StringIO(harness.written_file(driver, q.path("outages.csv"), 15).decode("ascii"),
                                           newline="")))[1:]
        events = [r[6] for r in rows if r[3] == "EV"]
        assert events[0] == "opened COM5", events
        assert sum(e.startswith("lost COM5 error ") for e in events) == 5, events
        backs = [e for e in events if e.startswith("back COM5 after ")]
        assert len(backs) == 5, events
        # Each outage as long as the port was away: at least from the stop to
        # the new port, less the line watch's look (250 ms) and the failed
        # reads that tell it (a few ms); at most until the test saw it back.
        for text, (shortest, longest) in zip(backs, outages):
            assert shortest - 0.5 <= float(text.split()[3]) <= longest + 0.1, (text, shortest, longest)
        # CH1 in order: opened, data, then each outage between two runs of data.
        order = []
        for r in rows:
            if r[2] == "CH1":
                mark = "D" if r[3] == "RX" else r[6][0].upper()
                if not order or order[-1] != mark:
                    order.append(mark)
        assert "".join(order) == "O" + "DLB" * 5 + "D", order
        # The link statistics count the five outages and the time they took.
        dlg = stats_window.open_stats(driver)
        figure = lambda id: stats_window.text(driver, dlg, id)  # noqa: E731
        total = sum(float(t.split()[3]) for t in backs)
        assert harness.wait_for(lambda: figure(OUTAGES) == "5", 5), figure(OUTAGES)
        assert abs(float(figure(OUTAGE_TIME)) - total) < 0.01, (figure(OUTAGE_TIME), total)
        driver.call("close", dlg)
        harness.close_ports(driver)  # Close ends the attempts and the channels
        driver.no_message_box(300)
        assert not held(driver, ports["COM5"]) and not held(driver, com4)
    finally:
        for fd in holders:
            os.close(fd)


def exported_events(driver, q, name):
    """(channel, text) of every event in the capture, exported as CSV."""
    driver.command(CMD_EXPORT)
    driver.file_dialog(name)
    rows = list(csv.reader(io.StringIO(harness.written_file(driver, q.path(name), 15).decode("ascii"), newline="")))
    return [(r[2], r[6]) for r in rows[1:] if r[3] == "EV"]


def test_open_ports_on_a_lost_port_keeps_it_lost_until_it_is_back(app, driver, ports):
    """Open Ports while COM5 is away neither shows a box nor ends the
    attempts: the port is opened again once it is back, and the outage
    ends with its "back" event."""
    holders = []
    try:
        q = app(SETTINGS, args=["/reconnect", "/open"])
        assert harness.wait_for(lambda: held(driver, ports["COM5"]), 10), "/open opened nothing"
        gone = ports["COM5"]
        port_gone(ports)
        assert harness.wait_for(lambda: not held(driver, gone), 5), "the lost port was not closed"
        driver.command(harness.CMD_OPEN_PORTS)
        assert harness.holds_for(lambda: harness.no_message_box(driver), 1.5), "Open Ports showed a box"
        pair = port_back(ports, holders)
        assert harness.wait_for(lambda: pty_in_use(pair), 5, step=0.02), "COM5 was not opened again"
        pair.write(b"Ho!")
        harness.save_log_when(driver, q, "ho", lambda records: harness.received(records, 1) == b"Ho!", timeout=15)
        events = [text.split(" error ")[0].split(" after ")[0] for ch, text in exported_events(driver, q, "open.csv")
                  if ch == "CH1"]
        assert events == ["opened COM5", "lost COM5", "back COM5"], events
    finally:
        for fd in holders:
            os.close(fd)


def test_without_reconnect_a_lost_port_is_closed_with_one_box(app, driver, ports, com4):
    holders = []
    try:
        app(SETTINGS, args=["/open"])
        assert harness.wait_for(lambda: held(driver, ports["COM5"]) and held(driver, com4), 10), "/open opened nothing"
        port_gone(ports)
        driver.expect_message("CH1 Comport", "Unable to connect", timeout_ms=8000)
        pair = port_back(ports, holders)
        assert harness.holds_for(lambda: harness.no_message_box(driver) and not held(driver, pair), 2.5), \
            "a second box came, or the closed channel was opened again"
        assert held(driver, com4)  # CH2 goes on
        # The open command still opens COM5 again by hand.
        harness.close_ports(driver)
        harness.open_ports(driver)
        assert harness.wait_for(lambda: held(driver, pair), 5)
        assert texts()  # the message table was there for the box's captions
    finally:
        for fd in holders:
            os.close(fd)


MARKER_BLUE = (0, 0, 255)  # the end marker's background slot, in both default palettes


def marker_columns(path, area):
    """Client x of the columns that hold an event marker: the marker colour
    running down most of a row (the end marker's box of that colour is one
    text line high)."""
    shot = harness.Shot(path, *area)
    found = []
    for x in range(shot.w):
        run = longest = 0
        for y in range(shot.h):
            run = run + 1 if shot.at(x, y) == MARKER_BLUE else 0
            longest = max(longest, run)
        if longest >= 40:
            found.append(x)
    return found


def test_outage_markers_and_their_tooltip_in_the_dark_palette(app, driver, display, ports):
    holders = []
    try:
        q = app(SETTINGS, args=["/reconnect"])
        harness.restart_in_theme(driver, q, 1)
        harness.open_ports(driver)
        assert harness.wait_for(lambda: held(driver, ports["COM5"]), 10)
        ports["COM5"].write(b"Hi!")
        wait_received(driver, q, b"Hi!", b"", "hi")
        port_gone(ports)
        pair = port_back(ports, holders)
        assert harness.wait_for(lambda: held(driver, pair), 8), "COM5 was not opened again"
        pair.write(b"Ho!")
        wait_received(driver, q, b"Hi!Ho!", b"", "ho")
        # "opened" before the first cell, "lost" and "back" before "Ho!":
        # two markers, one of them six cells (3 bytes, 3 gap markers) on.
        area = client(driver)
        path = harness.shot_until(display, "reconnect_markers_dark", lambda p: len(marker_columns(p, area)) >= 2,
                                  driver=driver)
        columns = marker_columns(path, area)
        assert len(columns) == 4, columns  # two bars, two pixels wide
        area = client(driver)  # the window was moved for the picture
        tip = hover(driver, columns[2] + 1, 60, "port back")
        assert tip, "a tooltip over the outage's marker"
        assert "CH1 COM5: port lost, error " in tip and "CH1 COM5: port back after " in tip, tip
        harness.screenshot(display, "reconnect_marker_tip_dark")
        tip = hover(driver, columns[0], 60, "port opened")
        assert tip and "CH1 COM5: port opened" in tip, tip
    finally:
        for fd in holders:
            os.close(fd)


def test_a_reopen_never_opens_another_device_under_the_old_number(app, driver, ports, wine):
    """While COM5 is away its adapter comes back as COM9 (a number that
    cannot open here) and another device takes COM5: the new pty behind
    COM5 is not opened as the lost port, which stays lost."""
    holders = []
    devices = r"HKLM\System\CurrentControlSet\Enum\ROOT\PORTS"  # COM5 is the third entry, 0002
    try:
        app(SETTINGS, args=["/reconnect", "/open"])
        assert harness.wait_for(lambda: held(driver, ports["COM5"]), 10), "/open opened nothing"
        port_gone(ports)
        wine.reg_add(devices + r"\0002\Device Parameters", "PortName", "COM9")
        wine.reg_add(devices + r"\0009", "ClassGUID", wine.PORTS_CLASS)
        wine.reg_add(devices + r"\0009", "FriendlyName", "Test Virtual Port (COM5)")
        wine.reg_add(devices + r"\0009\Device Parameters", "PortName", "COM5")
        pair = port_back(ports, holders)
        assert harness.holds_for(lambda: not pty_in_use(pair), 3), "another device under COM5 was opened"
        assert harness.answer_ms(driver, "main") < harness.ANSWER_MS
    finally:
        wine.reg_add(devices + r"\0002\Device Parameters", "PortName", "COM5")
        wine.reg_delete(devices + r"\0009")
        for fd in holders:
            os.close(fd)


def port_devices_reg(wine, first, count, remove=False):
    """A registry file that lists (or, with remove, takes away) `count`
    more devices of the Ports class, keys first..first+count-1."""
    lines = ["Windows Registry Editor Version 5.00", ""]
    for n in range(first, first + count):
        key = f"{wine.PORT_DEVICES}\\{n:04d}"
        if remove:
            lines += [f"[-{key}]", ""]
        else:
            lines += [f"[{key}]", f'"ClassGUID"="{wine.PORTS_CLASS}"', f'"FriendlyName"="Far Port (COM{n})"', "",
                      f"[{key}\\Device Parameters]", f'"PortName"="COM{n}"', ""]
    path = wine.path / ("remove-ports.reg" if remove else "more-ports.reg")
    path.write_text("\r\n".join(lines), encoding="utf-16")
    r = wine.run("wine", "regedit", "/S", harness.to_windows_path(path))
    assert r.returncode == 0, r.stdout


def test_the_window_answers_while_a_slow_reopen_looks_for_the_port(app, driver, ports, wine):
    """With many serial devices on the system, looking for a lost adapter's
    identity takes long; the window answers throughout, as the look runs
    beside it, and the port is still opened again once it is back."""
    holders = []
    extra = 1500  # about 2 s for each look under Wine here
    try:
        app(SETTINGS, args=["/reconnect", "/open"])
        assert harness.wait_for(lambda: held(driver, ports["COM5"]), 10), "/open opened nothing"
        port_devices_reg(wine, 1000, extra)
        port_gone(ports)
        worst, deadline = 0, time.time() + 4
        while time.time() < deadline:
            worst = max(worst, harness.answer_ms(driver, "main"))
        assert worst < harness.ANSWER_MS, f"the window took {worst} ms to answer while COM5 was looked for"
        pair = port_back(ports, holders)
        assert harness.wait_for(lambda: pty_in_use(pair), 15, step=0.05), "COM5 was not opened again"
    finally:
        port_devices_reg(wine, 1000, extra, remove=True)
        for fd in holders:
            os.close(fd)
