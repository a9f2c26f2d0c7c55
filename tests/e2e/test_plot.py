"""Quorrin.exe /plot on a saved log: a device's text lines on CH2
("STATUS n T=x C OK") and Quorrin's Modbus builder reading holding
register 0 of a real slave on CH1 (Debian's pymodbus, counting the
register up at each read) become CSV rows in time order, each series with
exactly the values on the line; /series keeps the ones named; a PNG of
the asked size has each series drawn in its colour; bad arguments exit
with 2 and the usage."""
import csv
import io
import os
import struct
import subprocess
import zlib

import harness
from test_modbus import ASSEMBLE, MODE_RTU, SEND_CH1, Slave, choose_function, enabled, fill, open_builder, press
from test_modbus import DATA
from test_modbus_monitor import open_monitor, rows as monitor_rows

SETTINGS = {"moji_type": 1, "rs_comport": 3, "rs_comport2": 4}


def run_plot(q, *args):
    r = subprocess.run(["wine", str(q.path("Quorrin.exe")), "/plot", *args], cwd=q.dir, env=q.prefix.env(),
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    err = [line for line in r.stderr.decode("utf-8", "replace").splitlines()
           if line and not line.startswith(("fixme:", "err:", "warn:", "wine:"))]
    return r.returncode, err


def read_png(path):
    """(width, height, rows of RGB tuples) of an 8-bit RGB or RGBA PNG."""
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    at, idat, head = 8, b"", None
    while at < len(data):
        n, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + n]
        if kind == b"IHDR":
            head = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        at += 12 + n
    width, height, depth, color, _, _, interlace = head
    assert depth == 8 and color in (2, 6) and interlace == 0, head
    bpp = 3 if color == 2 else 4
    raw, stride, out, prev = zlib.decompress(idat), width * bpp, [], bytearray(width * bpp)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b, c = prev[i], prev[i - bpp] if i >= bpp else 0
            pred = [0, a, b, (a + b) // 2, a + b - c][kind]
            if kind == 4:
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                pred = a if pa <= pb and pa <= pc else b if pb <= pc else c
            line[i] = (line[i] + pred) & 0xFF
        out.append([tuple(line[x * bpp:x * bpp + 3]) for x in range(width)])
        prev = line
    return width, height, out


def series(rows, channel, name):
    return [r["value"] for r in rows if r["channel"] == channel and r["series"] == name]


def test_plot_csv_of_lines_and_registers(app, driver, com3, com4):
    q = app(SETTINGS, args=["/open"])
    assert harness.wait_for(lambda: harness.toolbar_enabled(driver, harness.TOOLBAR_CLOSE_PORTS), 10)
    device = Slave(os.path.realpath(com3.link_peer), "rtu", harness.E2E / "plot_slave.log", count=True)
    try:
        monitor = open_monitor(driver)
        dlg = open_builder(driver)
        press(driver, dlg, MODE_RTU)
        choose_function(driver, dlg, "03 Read Holding Registers")
        assert harness.wait_for(lambda: not enabled(driver, dlg, DATA), 5)
        fill(driver, dlg, address="0", count="1")
        press(driver, dlg, ASSEMBLE)
        temps = ["23.3", "-1.5e-3", "24"]
        for k, t in enumerate(temps):
            com4.write(b"STATUS %d T=%s C OK\r\n" % (10 + k, t.encode()))
            press(driver, dlg, SEND_CH1)
            assert device.line(10) == "answer 03"
            # The next read goes once the capture holds this answer: a pty
            # has no line time, and an answer read together with the next
            # request's would come before it.
            assert harness.wait_for(lambda: [r["channel"] for r in monitor_rows(driver, monitor)].count("CH1") == 2 * k + 2, 10)
        press(driver, dlg, 256)
        log = harness.save_log_when(
            driver, q, "plot",
            lambda r: harness.received(r, 3).count(b"OK\r\n") == 3 and len(harness.received(r, 1)) == 3 * 7)
    finally:
        device.stop()
    out = q.path("plot.csv")
    assert run_plot(q, log.name, "plot.csv") == (0, [])
    rows = list(csv.DictReader(io.StringIO(out.read_text())))
    assert [float(v) for v in series(rows, "CH2", "T")] == [float(t) for t in temps]
    assert series(rows, "CH2", "#1") == ["10", "11", "12"]
    assert series(rows, "CH1", "slave 1 HR 0") == ["4096", "4097", "4098"]
    assert len(series(rows, "CH1", "latency ms")) == 3
    times = [float(r["time_s"]) for r in rows]
    assert times == sorted(times) and times[0] >= 0
    # Named series alone, one channel's by its name.
    assert run_plot(q, log.name, "some.csv", "/series", "CH2 T", "/series", "slave 1 HR 0") == (0, [])
    some = list(csv.DictReader(io.StringIO(q.path("some.csv").read_text())))
    assert {(r["channel"], r["series"]) for r in some} == {("CH2", "T"), ("CH1", "slave 1 HR 0")}
    # The picture: the asked size, each series drawn in its own colour.
    assert run_plot(q, log.name, "plot.png", "/size", "640x360", "/series", "T", "/series", "slave 1 HR 0") == (0, [])
    width, height, pixels = read_png(q.path("plot.png"))
    assert (width, height) == (640, 360)
    colours = {p for row in pixels for p in row}
    assert (0, 90, 200) in colours and (200, 60, 0) in colours, len(colours)  # the light palette's first two hues
    assert run_plot(q, log.name, "x.png", "/size", "9x9") == (2, ["Not a size: 9x9 (WIDTHxHEIGHT, each 16 to 8192)"])
    usage = [harness.texts()[n][1] for n in (780, 781, 783)]
    assert run_plot(q, log.name) == (2, usage)
    assert run_plot(q, log.name, "out.txt") == (2, usage)
    assert run_plot(q, log.name, "x.csv", "/bogus", "1") == (2, usage)
    code, err = run_plot(q, "missing.log", "x.csv")
    assert code == 2 and len(err) == 1 and err[0].startswith("missing.log: ") and not q.path("x.csv").exists()
