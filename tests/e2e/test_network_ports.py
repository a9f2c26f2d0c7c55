"""Channels on network ports, on the real program under Wine, with real
peers on loopback: ser2net serving a socat pty over RFC 2217, Python
sockets as a raw TCP device and as a client of a listening channel.

Every byte value goes both ways (0xFF included, which RFC 2217 doubles on
the wire), a speed set in the DCB dialog reaches the pty ser2net holds, the
line status dialog's buttons reach the server and say what it did not
confirm, and a server that goes away is lost and comes back."""
import csv
import io
import os
import select
import socket
import struct
import subprocess
import termios
import threading
import time

import pytest

import harness
from net_peers import COM_PORT, DO, DONT, IAC, SB, SE, Peer, TelnetPeer
from harness import dialog_closed, save_log_when, texts
from test_macro import write_macro

ENGLISH = {"moji_type": 1, "rs_comport": 0, "rs_comport2": 0}
CMD_DCB_CH1, CMD_EXPORT, CMD_LINE_STATUS_CH1 = 163, 176, 165
BAUD_FIELD, DCB_OK = 331, 251
LS_NOTE, LS_DTR_ON, LS_BREAK = 422, 254, 423
ALL = bytes(range(256))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def listening(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=0.2):
            return True
    except OSError:
        return False


class Ser2net:
    """ser2net serving a socat pty pair's app end on a loopback port; the
    test holds the pair's peer end as the device."""

    def __init__(self, rfc2217=True):
        self.pair = harness.PtyPair(harness.E2E / "pty", "net")
        self.port = free_port()
        self.rfc2217 = rfc2217
        self.proc = None
        self.start()

    def start(self):
        accepter = "telnet(rfc2217),tcp" if self.rfc2217 else "tcp"
        self.proc = subprocess.Popen(
            ["ser2net", "-n", "-u", "-Y", "connection: &c1",
             "-Y", f"  accepter: {accepter},127.0.0.1,{self.port}",
             "-Y", f"  connector: serialdev,{self.pair.app_path},9600n81,local"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        assert harness.wait_for(lambda: listening(self.port), 10), "ser2net did not listen"

    def stop(self):
        self.proc.terminate()
        self.proc.wait(10)

    def close(self):
        if self.proc.poll() is None:
            self.stop()
        self.pair.close()

    def holds_pty(self):
        """True while ser2net has the pty open (it does while a client is connected)."""
        fds = f"/proc/{self.proc.pid}/fd"
        try:
            return any(os.readlink(f"{fds}/{fd}") == self.pair.app_path for fd in os.listdir(fds))
        except OSError:
            return False

    def pty_speed(self):
        """The output speed of the pty ser2net holds open, as termios has it."""
        fd = os.open(self.pair.app_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        try:
            return termios.tcgetattr(fd)[5]
        finally:
            os.close(fd)


def send_all_macro(q, name, command):
    """A macro that sends 00 to FF with `command` (SEND on CH1, SED2 on CH2)."""
    lines = [f"{command} " + "".join(f"{b:02X}" for b in range(k, k + 64)) for k in range(0, 256, 64)]
    write_macro(q, name, lines + ["PEND"])


def run_macro(driver, q, name):
    dlg = harness.open_macro_dialog(driver)
    harness.run_macro_file(driver, dlg, name)
    driver.expect_message("Quorrin", texts()[22][1], timeout_ms=20000)
    driver.call("click", dlg, 252)
    assert harness.wait_for(lambda: dialog_closed(driver, texts()[82][1]), 10)


def exported_events(driver, q, ready, timeout=10):
    """The line events of CH1 in the CSV export, exported again until
    ready(their first words) holds or the time is up."""
    deadline = time.time() + timeout
    for attempt in range(1, 100):
        driver.command(CMD_EXPORT)
        driver.file_dialog(f"events-{attempt}.csv")
        text = harness.written_file(driver, q.path(f"events-{attempt}.csv"), 15).decode("ascii")
        rows = list(csv.reader(io.StringIO(text, newline="")))[1:]
        events = [r[6] for r in rows if r[3] == "EV" and r[2] == "CH1"]
        if ready([e.split()[0] for e in events]) or time.time() > deadline:
            return events
    return events


def test_raw_tcp_and_a_listening_channel_carry_every_byte_both_ways(app, driver, display):
    device = Peer()
    device.start()
    listen_port = free_port()
    client = Peer(connect_to=listen_port)
    try:
        q = app(dict(ENGLISH), args=["/port1", f"socket://127.0.0.1:{device.port}",
                                     "/port2", f"listen://{listen_port}", "/open"])
        client.start()
        assert harness.wait_for(lambda: device.conn is not None and client.conn is not None, 15), "no connections"
        driver.no_message_box(300)
        device.send(ALL)
        client.send(ALL[::-1])
        save_log_when(driver, q, "in", lambda r: harness.received(r, 1) == ALL and harness.received(r, 3) == ALL[::-1])
        send_all_macro(q, "ch1.txt", "SEND")
        run_macro(driver, q, "ch1.txt")
        assert harness.wait_for(lambda: device.got == ALL, 10), device.got.hex()
        send_all_macro(q, "ch2.txt", "SED2")
        run_macro(driver, q, "ch2.txt")
        assert harness.wait_for(lambda: client.got == ALL, 10), client.got.hex()
        harness.screenshot(display, "network_capture", driver)
        # The listening channel takes the next client when this one goes.
        client.stop()
        again = Peer(connect_to=listen_port)
        again.start()
        try:
            assert harness.wait_for(lambda: again.conn is not None, 10)
            again.send(b"second client")
            save_log_when(driver, q, "again",
                          lambda r: harness.received(r, 3) == ALL[::-1] + b"second client")
        finally:
            again.stop()
        assert harness.answer_ms(driver, "main") < harness.ANSWER_MS
    finally:
        device.stop()
        client.stop()


def test_line_monitor_mode_on_two_network_links(app, driver):
    """Two taps of a line, each a raw TCP link: requests on CH1, answers on CH2."""
    taps = [Peer(), Peer()]
    for t in taps:
        t.start()
    try:
        q = app(dict(ENGLISH, lm_mode=1), args=["/port1", f"socket://127.0.0.1:{taps[0].port}",
                                                 "/port2", f"socket://127.0.0.1:{taps[1].port}", "/open"])
        assert harness.wait_for(lambda: all(t.conn is not None for t in taps), 15), "no connections"
        for k in range(3):
            taps[0].send(b"REQ%d\r" % k)
            taps[1].send(b"ANS%d\r" % k)
        save_log_when(driver, q, "taps", lambda r: harness.received(r, 1) == b"REQ0\rREQ1\rREQ2\r"
                      and harness.received(r, 3) == b"ANS0\rANS1\rANS2\r")
    finally:
        for t in taps:
            t.stop()


def test_rfc2217_through_ser2net_bytes_speed_lines_and_outage(app, driver, display):
    server = Ser2net()
    try:
        q = app(dict(ENGLISH), args=["/port1", f"rfc2217://127.0.0.1:{server.port}", "/reconnect", "/open"])
        # ser2net opens the pty at 9600 and sets the speed it is asked for
        # (the settings' 19200) once the option is agreed.
        assert harness.wait_for(lambda: server.pty_speed() == termios.B19200, 15), server.pty_speed()
        server.pair.write(ALL)
        save_log_when(driver, q, "in", lambda r: harness.received(r, 1) == ALL)
        send_all_macro(q, "out.txt", "SEND")
        run_macro(driver, q, "out.txt")
        assert server.pair.read(256, timeout=10) == ALL
        # A speed from the DCB dialog goes to the server and on to the pty.
        driver.command(CMD_DCB_CH1)
        dlg = driver.call("dialog", "DCB&TIME_Setting for CH1", 10000, timeout=20)[0]
        driver.call("settext", dlg, BAUD_FIELD, "57600")
        driver.call("click", dlg, DCB_OK)
        assert harness.wait_for(lambda: dialog_closed(driver, "DCB&TIME_Setting for CH1"), 10)
        assert harness.wait_for(lambda: server.pty_speed() == termios.B57600, 10), server.pty_speed()
        # DTR and a break go to the server; ser2net on a pty confirms the
        # break but never DTR, and the dialog says so.
        driver.command(CMD_LINE_STATUS_CH1)
        dlg = driver.call("dialog", f"{texts()[43][1]} (CH1)", 10000, timeout=20)[0]
        driver.call("click", dlg, LS_BREAK)
        driver.call("click", dlg, LS_DTR_ON)
        note = lambda: driver.call("gettext", dlg, LS_NOTE)[0]  # noqa: E731
        assert harness.wait_for(lambda: note() == "Not confirmed by the server: DTR", 10), note()
        harness.screenshot(display, "network_line_status", driver)
        driver.call("close", dlg)
        # The server goes: lost, no box; it comes back: the channel too.
        server.stop()
        assert harness.holds_for(lambda: harness.no_message_box(driver), 1.5)
        server.start()
        # Back when ser2net has the pty at the speed the channel had: the
        # link sent its line settings again (bytes written before ser2net
        # opens the pty are not the channel's to see).
        assert harness.wait_for(lambda: server.holds_pty() and server.pty_speed() == termios.B57600, 15), \
            server.pty_speed()
        server.pair.write(b"after the outage")
        save_log_when(driver, q, "back", lambda r: harness.received(r, 1) == ALL + b"after the outage", timeout=30)
        events = exported_events(driver, q, lambda found: found[-1:] == ["back"])
        assert [e.split()[0] for e in events] == ["opened", "settings", "lost", "back"], events
        assert events[1] == "settings 57600 baud" and events[2] == "lost error 10101", events
    finally:
        server.close()


class RefusingTelnet(Peer):
    """A Telnet server that refuses every option the client offers or asks
    for (DONT to each WILL, WONT to each DO), then sends a greeting."""

    def run(self):
        self.server.settimeout(30)
        try:
            self.conn, _ = self.server.accept()
            self.conn.settimeout(2)
            data = b""
            while data.count(b"\xff") < 5:  # the client's five opening requests
                data += self.conn.recv(100)
            answer = {251: 254, 253: 252}  # WILL -> DONT, DO -> WONT
            for k in range(len(data) - 2):
                if data[k] == 255 and data[k + 1] in answer:
                    self.conn.sendall(bytes([255, answer[data[k + 1]], data[k + 2]]))
            self.conn.sendall(b"hello")
        except OSError:
            return


def test_a_server_that_refuses_the_options_is_told(app, driver):
    server = RefusingTelnet()
    server.start()
    try:
        q = app(dict(ENGLISH), args=["/port1", f"rfc2217://127.0.0.1:{server.port}", "/open"])
        # The data still comes through, as it came.
        save_log_when(driver, q, "hello", lambda r: harness.received(r, 1) == b"hello")
        driver.command(CMD_LINE_STATUS_CH1)
        dlg = driver.call("dialog", f"{texts()[43][1]} (CH1)", 10000, timeout=20)[0]
        note = lambda: driver.call("gettext", dlg, LS_NOTE)[0]  # noqa: E731
        assert harness.wait_for(lambda: note() == "The server refused: BINARY, COM-PORT-OPTION", 10), note()
        driver.call("close", dlg)
    finally:
        server.stop()


def test_raw_tcp_through_ser2net_carries_every_byte_both_ways(app, driver):
    server = Ser2net(rfc2217=False)
    try:
        q = app(dict(ENGLISH), args=["/port1", f"socket://127.0.0.1:{server.port}", "/open"])
        assert harness.wait_for(server.holds_pty, 15), "Quorrin did not connect"
        server.pair.write(ALL)
        save_log_when(driver, q, "in", lambda r: harness.received(r, 1) == ALL)
        send_all_macro(q, "out.txt", "SEND")
        run_macro(driver, q, "out.txt")
        # No Telnet on a raw link: 0xFF goes out once, as it is.
        assert server.pair.read(257, timeout=5) == ALL
    finally:
        server.close()


def test_refused_and_unreachable_addresses_are_told_in_bounded_time(app, driver):
    closed = free_port()
    q = app(dict(ENGLISH), args=["/port1", f"socket://127.0.0.1:{closed}", "/open"])
    began = time.time()
    driver.expect_message("Quorrin", harness.message([488, 489], 1, 1, f"socket://127.0.0.1:{closed}"),
                          timeout_ms=8000)
    assert time.time() - began < 5
    # A host that never answers: a listener whose backlog is full drops
    # every new connect silently, as a host down or cut off does. The
    # window answers while the connect waits, and the box comes within the
    # connect's limit.
    driver.call("close", "main")
    q.wait_exit(20)
    silent = socket.create_server(("127.0.0.1", 0), backlog=0)
    fillers = []
    try:
        while True:
            filler = socket.socket()
            filler.settimeout(0.5)
            fillers.append(filler)
            filler.connect(silent.getsockname())
    except OSError:
        pass  # the backlog is full: connects hang from now on
    try:
        address = "socket://127.0.0.1:%d" % silent.getsockname()[1]
        q = app(dict(ENGLISH), args=["/port1", address, "/open"])
        began = time.time()
        answers = []
        while time.time() - began < 2:
            answers.append(harness.answer_ms(driver, "main"))
        # The first answer also waits for the start's own work (about 40 ms
        # here, more on a loaded machine); a connect on the window's thread
        # would hold it for the connect's whole limit.
        assert max(answers) < harness.ANSWER_MS, answers
        driver.expect_message("Quorrin", harness.message([488, 490], 1, 1, address), timeout_ms=10000)
        assert 4.5 < time.time() - began < 8
    finally:
        for s in fillers + [silent]:
            s.close()


def test_a_bad_address_on_the_command_line_is_told_and_the_port_kept(app, driver):
    q = app(dict(ENGLISH, rs_comport=3), args=["/port1", "socket://host"])
    driver.expect_message("Quorrin", harness.message([487, 478], 1, 1))
    # The settings file keeps its port, and a network port chosen for one
    # run is not written to it.
    driver.call("close", "main")
    q.wait_exit(20)
    assert dict(harness.read_settings(q.path("quorrin.ini")))["rs_comport"] == "3"
    data = q.path("quorrin.ini").read_bytes()
    assert b"Ports" not in data and "Ports".encode("utf-16-le") not in data


def test_port_dialog_takes_an_address_and_the_settings_keep_it(app, driver, display):
    from test_port_number import open_dialog, TITLE
    device = Peer()
    device.start()
    try:
        q = app(dict(ENGLISH, rs_comport=3))
        dlg = open_dialog(driver)
        assert driver.call("gettext", dlg, 326)[0] == texts()[494][1]
        assert driver.call("gettext", dlg, 324)[0] == ""
        # A bad address is told with its reason and nothing is taken.
        driver.call("settext", dlg, 325, "tcp://host:1")
        driver.call("click", dlg, 251)
        driver.expect_message("Quorrin", harness.message([487, 474], 1, 2))
        driver.call("settext", dlg, 325, "")
        driver.call("settext", dlg, 324, f"  socket://127.0.0.1:{device.port} ")
        left, top, right, bottom = map(int, driver.call("rect", dlg))
        driver.call("move", dlg, 0, 0, right - left, bottom - top)
        harness.screenshot(display, "port_number_address")
        driver.call("click", dlg, 251)
        assert harness.wait_for(lambda: dialog_closed(driver, TITLE), 10)
        harness.open_ports(driver)
        assert harness.wait_for(lambda: device.conn is not None, 10), "no connection"
        device.send(b"hello")
        save_log_when(driver, q, "hello", lambda r: harness.received(r, 1) == b"hello")
        harness.close_ports(driver)
        driver.call("close", "main")
        q.wait_exit(20)
        # The COM number stays in its place; the address is in a section of its own.
        ini = q.path("quorrin.ini")
        assert dict(harness.read_settings(ini))["rs_comport"] == "3"
        text = ini.read_bytes().decode("utf-16-le" if ini.read_bytes()[:2] == b"\xff\xfe" else "latin-1")
        assert f"[Ports]\r\nport1=socket://127.0.0.1:{device.port}\r\n" in text, text
        # The next start shows it in the dialog.
        q.start()
        driver.main_window()
        dlg = open_dialog(driver)
        assert driver.call("gettext", dlg, 324)[0] == f"socket://127.0.0.1:{device.port}"
        driver.call("close", dlg)
    finally:
        device.stop()


@pytest.mark.parametrize("framing", ["tcp", "rtu"])
def test_modbus_over_a_network_link_with_pymodbus(app, driver, display, framing):
    """Quorrin's builder asks pymodbus's TCP server (Modbus TCP, or RTU
    frames on the socket) twice; its second answer is spoiled (an MBAP
    length one too long, or a broken CRC). The monitor reads the link in
    the framing that finds the frames and pairs the good answer."""
    import test_modbus_monitor as mon
    from test_modbus import MODE_RTU, MODE_TCP, SEND_CH1, ASSEMBLE, Slave, choose_function, enabled, fill, DATA
    from test_modbus import open_builder, press
    port = free_port()
    slave = Slave(f"tcp:{port}", framing, harness.E2E / f"modbus_slave_{framing}_tcp.log", spoil=2)
    try:
        app(dict(ENGLISH), args=["/port1", f"socket://127.0.0.1:{port}", "/open"])
        monitor = mon.open_monitor(driver)
        dlg = open_builder(driver)
        press(driver, dlg, MODE_TCP if framing == "tcp" else MODE_RTU)
        choose_function(driver, dlg, "03 Read Holding Registers")
        assert harness.wait_for(lambda: not enabled(driver, dlg, DATA), 5)
        fill(driver, dlg, address="0", count="3")
        press(driver, dlg, ASSEMBLE)
        assert harness.wait_for(lambda: harness.toolbar_enabled(driver, 1117), 10)  # connected: Close is enabled
        for k, note in ((1, ""), (2, " spoiled")):
            press(driver, dlg, SEND_CH1)
            assert slave.line(10) == "answer 03" + note
            assert harness.wait_for(lambda: len(mon.rows(driver, monitor)) == 2 * k, 10), mon.rows(driver, monitor)
        press(driver, dlg, 256)
        driver.command(mon.CMD_MONITOR)
        shown = mon.rows(driver, monitor)
        assert {r["mode"] for r in shown} == {framing.upper()}, shown
        # An MBAP length that promises a byte that never comes: the frame is cut.
        bad = "TOO SHORT" if framing == "tcp" else "BAD CRC"
        assert [r["check"] for r in shown] == ["OK", "OK", "OK", bad], shown
        values = "bytes=6 values=0x1000,0x1001,0x1002"
        assert shown[1]["summary"] == (f"tid=0x0001 {values}" if framing == "tcp" else values), shown[1]
        assert 0 < float(shown[1]["latency"]) < 1000
        harness.screenshot(display, f"modbus_monitor_{framing}_over_tcp", driver)
    finally:
        slave.stop()


def test_a_speed_the_server_set_otherwise_is_shown_and_recorded(app, driver):
    server = TelnetPeer(baud=38400)
    server.start()
    try:
        q = app(dict(ENGLISH), args=["/port1", f"rfc2217://127.0.0.1:{server.port}", "/open"])
        assert harness.wait_for(lambda: any(c == 1 for c, _ in server.commands), 15), server.commands
        driver.command(CMD_LINE_STATUS_CH1)
        dlg = driver.call("dialog", f"{texts()[43][1]} (CH1)", 10000, timeout=20)[0]
        note = lambda: driver.call("gettext", dlg, LS_NOTE)[0]  # noqa: E731
        assert harness.wait_for(lambda: note() == "The server set: Baud 38400 (asked 19200)", 10), note()
        driver.call("close", dlg)
        assert harness.wait_for(lambda: dialog_closed(driver, f"{texts()[43][1]} (CH1)"), 10)
        server.send(b"hello")  # something to export
        save_log_when(driver, q, "hello", lambda r: harness.received(r, 1) == b"hello")
        events = exported_events(driver, q, lambda found: "settings" in found)
        assert "settings 38400 baud" in events, events
    finally:
        server.stop()


def test_a_subnegotiation_that_never_ends_is_told_once_and_the_rest_is_data(app, driver):
    server = TelnetPeer()
    server.start()
    try:
        q = app(dict(ENGLISH), args=["/port1", f"rfc2217://127.0.0.1:{server.port}", "/open"])
        assert harness.wait_for(lambda: any(c == 1 for c, _ in server.commands), 15), server.commands
        server.send(bytes([IAC, SB, COM_PORT]) + b"." * 2000 + b"HELLO")
        driver.expect_message("Quorrin", harness.message([562, 563], 1, 1, f"rfc2217://127.0.0.1:{server.port}", 1024),
                              timeout_ms=10000)
        log = save_log_when(driver, q, "rest", lambda r: harness.received(r, 1).endswith(b"HELLO"))
        shown = harness.received(harness.parse_log(log.read_bytes())[2], 1)
        # Only what came past the bound: the dots the subnegotiation held are not data.
        assert set(shown[:-5]) <= {ord(".")} and len(shown) < 2005, shown[:40]
        server.send(bytes([IAC, SB, COM_PORT]) + b"." * 2000)  # told once per connection
        assert harness.holds_for(lambda: harness.no_message_box(driver), 1.5)
    finally:
        server.stop()


def test_a_server_that_stops_reading_gets_every_write_whole_and_the_capture_what_left(app, driver):
    """The device server stops reading for 2 s while the auto answer window
    floods it (an answer of all 256 byte values, 0xFF doubled on the wire,
    for each "P" it sends). What it parses afterwards is data only, whole
    answers in order, and the capture's sent bytes are exactly those; the
    window answers throughout. (Linux lets a loopback sender queue some MB
    in the kernel, more than the window can answer within the stall: the
    queue's full and partial sends are proved in link_queue_test and
    fuzz_telnet.)"""
    from test_auto_answer import open_window, rows, utf16_file
    server = TelnetPeer()
    server.server.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)  # the bytes wait on Quorrin's side
    server.start()
    try:
        q = app(dict(ENGLISH), args=["/port1", f"rfc2217://127.0.0.1:{server.port}", "/open"])
        q.path("answers.txt").write_bytes(utf16_file(['CH1\t"P"\t0\t' + ALL.hex().upper()]))
        assert harness.wait_for(lambda: server.commands, 15), "no connection"
        dlg = open_window(driver)
        assert harness.wait_for(lambda: len(rows(driver, dlg)) == 1, 10)
        server.paused.set()
        began = time.time()
        for k in range(48):
            server.send(b"P" * 10)
            harness.wait_for(lambda: False, 0.03)  # the requests come as a device's would, spread out
        while time.time() - began < 2:
            assert harness.answer_ms(driver, "main") < harness.ANSWER_MS
        server.paused.clear()
        # Quiet: nothing more comes.
        last = -1
        while server.wire != last:
            last = server.wire
            harness.wait_for(lambda: False, 1)
        with server.lock:
            data = bytes(server.data)
        assert server.broken == [], server.broken[:3]
        assert len(data) % 256 == 0 and data == ALL * (len(data) // 256), len(data)
        assert len(data) >= 256 * 100, len(data)  # the answers went on through the stall
        log = save_log_when(driver, q, "flood", lambda r: harness.received(r, 2) == data)
        _, _, records = harness.parse_log(log.read_bytes())
        assert harness.received(records, 1) == b"P" * 480
    finally:
        server.stop()


def test_a_negotiation_storm_leaves_the_window_answering(app, driver):
    server = TelnetPeer(storm=True)
    server.start()
    try:
        q = app(dict(ENGLISH), args=["/port1", f"rfc2217://127.0.0.1:{server.port}", "/open"])
        assert harness.wait_for(lambda: server.negotiations > 100, 15), server.negotiations
        # The line status dialog asks the link for its lines on every tick.
        driver.command(CMD_LINE_STATUS_CH1)
        driver.call("dialog", f"{texts()[43][1]} (CH1)", 10000, timeout=20)
        before = server.negotiations
        began = time.time()
        worst = 0
        while time.time() - began < 2:
            worst = max(worst, harness.answer_ms(driver, "main"))
        assert worst < harness.ANSWER_MS, worst
        # Answered one for one the whole time (3 bytes each), never more.
        assert server.negotiations > before, (before, server.negotiations)
        assert server.wire < 4 * server.negotiations + 200, (server.wire, server.negotiations)
        server.send(b"still here")
        save_log_when(driver, q, "storm", lambda r: harness.received(r, 1) == b"still here")
    finally:
        server.stop()


def served_listener(app, driver):
    """Quorrin listening on 0.0.0.0 and serving a first client, whose
    "first " it has: (q, port, that client's socket)."""
    port = free_port()
    q = app(dict(ENGLISH), args=["/port1", f"listen://0.0.0.0:{port}", "/open"])
    assert harness.wait_for(lambda: harness.toolbar_enabled(driver, 1117), 15), "not listening"
    first = socket.create_connection(("127.0.0.1", port), timeout=5)
    first.sendall(b"first ")
    save_log_when(driver, q, "first", lambda r: harness.received(r, 1) == b"first ")
    return q, port, first


def test_a_listening_channel_refuses_a_second_client_at_once(app, driver, display):
    q, port, first = served_listener(app, driver)
    second = None
    try:
        harness.screenshot(display, "listen_names_its_client", driver)  # "listen:0.0.0.0:N from 127.0.0.1:M"
        second = socket.create_connection(("127.0.0.1", port), timeout=5)
        try:
            second.sendall(b"not the device")
        except OSError:
            pass
        # Closed at once, not left waiting in the backlog.
        try:
            assert second.recv(10) == b""
        except ConnectionResetError:
            pass
        first.sendall(b"again")
        save_log_when(driver, q, "again", lambda r: harness.received(r, 1) == b"first again")
        # The first client's connection went on untouched throughout; the
        # events name it and the one turned away.
        events = exported_events(driver, q, lambda found: "refused" in found)
        assert events == ["opened", f"opened 127.0.0.1:{first.getsockname()[1]}",
                          f"refused 127.0.0.1:{second.getsockname()[1]}"], events
    finally:
        first.close()
        if second is not None:
            second.close()


def test_a_link_lost_to_a_peer_that_stopped_reading_records_every_byte_that_left(app, driver):
    """A device behind socket:// stops reading for good while the auto
    answer window floods it: the link is lost once nothing has left for the
    stall limit. Every byte that did leave reaches the device once it reads
    again (the close is an orderly one); the capture's sent bytes must be
    exactly those, a write that was only partly taken included (the part
    that left)."""
    from test_auto_answer import open_window, rows, utf16_file
    server = socket.socket()
    # A small segment size and receive buffer keep the kernel's share of the
    # flood small, so the link's own queue fills and stalls.
    server.setsockopt(socket.IPPROTO_TCP, socket.TCP_MAXSEG, 536)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    server.bind(("127.0.0.1", 0))
    server.listen(4)
    server.setblocking(False)
    port = server.getsockname()[1]
    conn = None
    try:
        q = app(dict(ENGLISH), args=["/port1", f"socket://127.0.0.1:{port}", "/reconnect", "/open"])
        assert harness.wait_for(lambda: select.select([server], [], [], 0)[0], 15), "no connection"
        conn, _ = server.accept()
        q.path("answers.txt").write_bytes(utf16_file(['CH1\t"P"\t0\t' + ALL.hex().upper()]))
        dlg = open_window(driver)
        assert harness.wait_for(lambda: len(rows(driver, dlg)) == 1, 10)
        # Requests for 3 s (far more answers than the buffers hold), then
        # none, so the link's close finds nothing unread and is an orderly
        # one; it is lost once it makes another connection.
        began = time.time()
        while time.time() - began < 3:
            conn.sendall(b"P" * 20)
            harness.wait_for(lambda: False, 0.02)
        assert harness.wait_for(lambda: select.select([server], [], [], 0)[0], 30), "the link was never lost"
        got = bytearray()
        conn.settimeout(10)
        while chunk := conn.recv(65536):
            got += chunk
        # The connection made after the loss gets whatever was answered since.
        again, _ = server.accept()
        again.settimeout(1)
        try:
            while chunk := again.recv(65536):
                got += chunk
        except socket.timeout:
            pass
        again.close()
        log = save_log_when(driver, q, "lost", lambda r: harness.received(r, 2) != b"")
        sent = harness.received(harness.parse_log(log.read_bytes())[2], 2)
        # The buffers hold more than the capture keeps before it wraps: the
        # capture's sent bytes must be the newest of those that left, up to
        # the last byte.
        assert sent and len(sent) <= len(got), (len(sent), len(got))
        assert bytes(got).endswith(sent), (len(got), got[-80:].hex(), sent[-80:].hex())
    finally:
        if conn is not None:
            conn.close()
        server.close()


def test_a_second_client_that_came_while_the_first_still_talked_is_never_served(app, driver):
    """The first client is plainly still connected when the second comes:
    it speaks after the second's connect, then leaves. The second was a
    second client while one was served: it is refused, and its bytes are
    never taken as the device's, however soon the first leaves after."""
    q, port, first = served_listener(app, driver)
    second = None
    try:
        second = socket.create_connection(("127.0.0.1", port), timeout=5)
        second.sendall(b"intruder")
        first.sendall(b"still here")
        first.close()
        # Turned away: its connection ends without being served.
        second.settimeout(5)
        try:
            closed = second.recv(10) == b""
        except ConnectionResetError:
            closed = True
        except socket.timeout:
            closed = False
        # (When it is served, its bytes came while the recv above waited.)
        log = save_log_when(driver, q, "after", lambda r: b"still here" in harness.received(r, 1))
        assert harness.received(harness.parse_log(log.read_bytes())[2], 1) == b"first still here"
        assert closed, "the second client is still connected"
        events = exported_events(driver, q, lambda found: "refused" in found)
        assert f"refused 127.0.0.1:{second.getsockname()[1]}" in events, events
    finally:
        first.close()
        if second is not None:
            second.close()


def test_a_speed_set_while_the_server_had_the_option_off_reaches_it_once_back_on(app, driver):
    """The server turns COM-PORT-OPTION off, the user sets another speed
    meanwhile (it cannot go then), and the server turns the option on
    again: the speed the channel now has must reach the server."""
    server = TelnetPeer()
    server.start()
    try:
        app(dict(ENGLISH), args=["/port1", f"rfc2217://127.0.0.1:{server.port}", "/open"])
        assert harness.wait_for(lambda: any(c == 1 for c, _ in server.commands), 15), server.commands
        server.send(bytes([IAC, DONT, COM_PORT]))
        driver.command(CMD_DCB_CH1)
        dlg = driver.call("dialog", "DCB&TIME_Setting for CH1", 10000, timeout=20)[0]
        driver.call("settext", dlg, BAUD_FIELD, "57600")
        driver.call("click", dlg, DCB_OK)
        assert harness.wait_for(lambda: dialog_closed(driver, "DCB&TIME_Setting for CH1"), 10)
        server.send(bytes([IAC, DO, COM_PORT]))
        wanted = (1, struct.pack(">I", 57600))
        assert harness.wait_for(lambda: wanted in server.commands, 10), server.commands
    finally:
        server.stop()


def line_status_note_is(driver, wanted):
    """Opens CH1's line status dialog, waits until wanted(its note) holds
    and closes it again."""
    driver.command(CMD_LINE_STATUS_CH1)
    dlg = driver.call("dialog", f"{texts()[43][1]} (CH1)", 10000, timeout=20)[0]
    note = lambda: driver.call("gettext", dlg, LS_NOTE)[0]  # noqa: E731
    assert harness.wait_for(lambda: wanted(note()), 10), note()
    driver.call("close", dlg)
    assert harness.wait_for(lambda: dialog_closed(driver, f"{texts()[43][1]} (CH1)"), 10)


class NoParityTelnet(TelnetPeer):
    """An RFC 2217 server whose port has no parity, whatever it is asked."""

    def _subnegotiation(self, sub):
        if len(sub) == 3 and sub[:2] == bytes([COM_PORT, 3]):
            self.commands.append((3, sub[2:]))
            self._send(bytes([IAC, SB, COM_PORT, 103, 1, IAC, SE]))
            return
        super()._subnegotiation(sub)


def test_a_parity_the_server_set_otherwise_is_recorded(app, driver):
    server = NoParityTelnet()
    server.start()
    try:
        q = app({**ENGLISH, "rs_pybit": 2}, args=["/port1", f"rfc2217://127.0.0.1:{server.port}", "/open"])
        assert harness.wait_for(lambda: (3, b"\x03") in server.commands, 15), server.commands
        # The dialog's note says so (this holds); the capture must too.
        line_status_note_is(driver, lambda note: note.startswith("The server set: Parity"))
        server.send(b"hello")  # something to export
        save_log_when(driver, q, "hello", lambda r: harness.received(r, 1) == b"hello")
        events = exported_events(driver, q, lambda found: "settings" in found)
        assert "settings" in [e.split()[0] for e in events], events
    finally:
        server.stop()


def test_an_option_refused_and_agreed_again_is_no_longer_told_refused(app, driver):
    """The server takes COM-PORT-OPTION back and offers it again at once:
    the option is on, so the note says what the server set, not that it
    refused."""
    server = TelnetPeer(baud=38400)
    server.start()
    try:
        app(dict(ENGLISH), args=["/port1", f"rfc2217://127.0.0.1:{server.port}", "/open"])
        assert harness.wait_for(lambda: any(c == 1 for c, _ in server.commands), 15), server.commands
        server.send(bytes([IAC, DONT, COM_PORT, IAC, DO, COM_PORT]))
        line_status_note_is(driver, lambda note: note == "The server set: Baud 38400 (asked 19200)")
    finally:
        server.stop()


class RestartingGarbler(threading.Thread):
    """A device server that, on each connection, begins a subnegotiation it
    never ends, sends on, and drops the connection (as one that restarts)."""

    def __init__(self):
        super().__init__(daemon=True)
        self.server = socket.create_server(("127.0.0.1", 0))
        self.server.settimeout(0.2)
        self.port = self.server.getsockname()[1]
        self.connections = 0
        self.stopped = False

    def run(self):
        while not self.stopped:
            try:
                conn, _ = self.server.accept()
            except OSError:
                continue
            self.connections += 1
            try:
                conn.sendall(bytes([IAC, SB, COM_PORT]) + b"." * 2000 + b"HELLO")
                conn.settimeout(0.3)
                conn.recv(100)
            except OSError:
                pass
            conn.close()

    def stop(self):
        self.stopped = True
        self.server.close()


def test_a_server_that_never_ends_a_subnegotiation_on_each_reconnect_is_told_once(app, driver):
    server = RestartingGarbler()
    server.start()
    try:
        app(dict(ENGLISH), args=["/port1", f"rfc2217://127.0.0.1:{server.port}", "/reconnect", "/open"])
        first, _, text = driver.message_box(15000)  # left up, as by a user away from the desk
        assert harness.wait_for(lambda: server.connections >= 4, 20), server.connections
        server.stop()  # no more connections: what is up now is all there is
        driver.answer(first, 1)
        more = 0  # each answered as it is found
        while more < 20 and not harness.holds_for(lambda: harness.no_message_box(driver), 1.5):
            more += 1
        assert more == 0, f"{more} more boxes of the same notice ({text!r}) were stacked up"
    finally:
        server.stop()
