"""Record to Disk on the real program under Wine: both channels stream
numbered lines while Quorrin records with a small rotation size, then the
program is killed, not closed. The recording files, read here by a reader
of the documented format of our own (record/record_file.h), hold every
line of both channels in order up to within a second of the kill, in
several files; the capture buffer wrapped many times meanwhile.
"Quorrin.exe /export" reads the same folder: the whole of it, a slice by
/from and /to, and a log with its times. A recording whose disk fills
stops with one notice and an event, and what it wrote still exports.
Files begun in one second read back in the order written, the folder's
limit deletes only the oldest recordings, a recording that carries a whole
block as its data exports no entry that was not sent, damaged or not, and
"/from" at the minute a recording began cuts from its start."""
import csv
import io
import os
import resource
import signal
import struct
import subprocess
import threading
import time
import zlib

import harness

SETTINGS = {"moji_type": 1, "rs_comport": 3, "rs_comport2": 4}
CMD_RECORD = 181
HEADER, BLOCK_HEAD = 224, 28


def read_recording(path):
    """(header fields, [(type, time, bytes or event tuple)], torn) of one
    .qrec file; blocks are trusted only when both their checks hold."""
    data = path.read_bytes()
    assert data[:4] == b"QREC" and struct.unpack_from("<HH", data, 4) == (1, HEADER), path
    assert struct.unpack_from("<I", data, 216)[0] == zlib.crc32(data[:216]), path
    entries, at, torn = [], HEADER, False
    while at < len(data):
        head = data[at:at + BLOCK_HEAD]
        if len(head) < BLOCK_HEAD or head[:4] != b"QBLK" or \
                struct.unpack_from("<I", head, 24)[0] != zlib.crc32(head[:24]):
            torn = True
            break
        size, count, check = struct.unpack_from("<III", head, 4)
        payload = data[at + BLOCK_HEAD:at + BLOCK_HEAD + size]
        if len(payload) < size or zlib.crc32(payload) != check:
            torn = True
            break
        k = 0
        while k < size:
            kind = payload[k]
            if kind == 16:
                entries.append((16, struct.unpack_from("<q", payload, k + 9)[0], payload[k + 1:k + 9]))
                k += 17
            else:
                n, t = struct.unpack_from("<Hq", payload, k + 1)
                entries.append((kind, t, payload[k + 11:k + 11 + n]))
                k += 11 + n
        at += BLOCK_HEAD + size
    return entries, torn


class Streamer(threading.Thread):
    """Writes numbered lines ("A000000\\r\\n") into a pty's peer end at about
    `rate` bytes/s; `written` is what went out, `times` when each line did."""

    def __init__(self, pair, tag, rate):
        super().__init__(daemon=True)
        self.pair, self.tag, self.rate = pair, tag, rate
        self.lines, self.sent_at = 0, []
        self.stop = False

    def run(self):
        start = time.time()
        while not self.stop:
            block = b"".join(b"%s%06d\r\n" % (self.tag, self.lines + k) for k in range(50))
            self.pair.write(block)
            self.lines += 50
            self.sent_at.append((time.time(), self.lines))
            delay = start + self.lines * 9 / self.rate - time.time()
            if delay > 0:
                time.sleep(delay)


def numbered(stream, tag):
    """The line numbers of a channel's stream, in the order recorded."""
    return [int(line[1:]) for line in stream.split(b"\r\n") if line.startswith(tag) and len(line) == 7]


def start_recording(q, driver, recording, cwd=None):
    """Starts Quorrin with `recording` (the keys of quorrin.ini's section
    the recorder reads), as a shell in `cwd` would (None: its own folder),
    and waits for its ports to be open."""
    with open(q.path("quorrin.ini"), "a", encoding="ascii") as f:
        f.write("[Recording]\r\n" + "".join(f"{k}={v}\r\n" for k, v in recording.items()))
    if cwd is None:
        q.start()
    else:
        env = dict(q.prefix.env(), **q.env)
        q.proc = subprocess.Popen(["wine", str(q.path("Quorrin.exe")), *q.args], cwd=cwd, env=env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    driver.main_window(30000)
    assert harness.wait_for(lambda: harness.toolbar_enabled(driver, harness.TOOLBAR_CLOSE_PORTS), 10)


def test_recording_survives_a_kill_with_every_line_in_order(wine, display, driver, com3, com4):
    folder = harness.E2E / "run" / "recording-kill" / "rec"
    q = harness.Quorrin(wine, harness.E2E / "run" / "recording-kill", settings=SETTINGS,
                        args=["/record", str(harness.to_windows_path(folder)), "/open"])
    streams = []
    try:
        start_recording(q, driver, {"file_kb": 64})  # a small rotation size
        streams = [Streamer(com3, b"A", 20000), Streamer(com4, b"B", 20000)]
        for s in streams:
            s.start()
        time.sleep(10)
        harness.screenshot(display, "recording_status", driver, settle=0.5)  # REC, the size and the time
        time.sleep(2)
        for s in streams:
            s.stop = True
        for s in streams:
            s.join(5)
        time.sleep(1.0)  # the receive threads take what is still queued; the writer's next turn
        killed_at = time.time()
        q.kill()
    finally:
        for s in streams:
            s.stop = True
        q.kill()
    files = sorted(folder.glob("quorrin-*.qrec"))
    assert len(files) >= 3, files  # rotated at 64 KB
    received = {1: b"", 3: b""}
    for path in files:
        entries, torn = read_recording(path)
        assert not torn or path == files[-1], f"{path.name} is torn but not the last file"
        for kind, _, data in entries:
            if kind in received:
                received[kind] += data
    for kind, tag, streamer in ((1, b"A", streams[0]), (3, b"B", streams[1])):
        got = numbered(received[kind], tag)
        assert got == list(range(len(got))), f"CH{1 if kind == 1 else 2}: a gap or a reordering"
        # Everything sent a second or more before the kill was recorded.
        due = max((n for t, n in streamer.sent_at if t <= killed_at - 1.0), default=0)
        assert len(got) >= due, (len(got), due)
    # The capture buffer (131,072 records, a byte each and three more a
    # chunk) held far less: it wrapped several times meanwhile.
    assert sum(len(v) for v in received.values()) > 3 * 131072
    check_exports(q, folder, files)


def csv_rows(path):
    rows = list(csv.reader(io.StringIO(path.read_text(encoding="ascii"), newline="")))
    assert rows[0] == ["time_s", "delta_s", "channel", "direction", "bytes", "hex", "text"], rows[0]
    return rows[1:]


def exported_bytes(rows, channel, direction):
    return b"".join(bytes.fromhex(r[5]) for r in rows if r[2:4] == [channel, direction])


def check_exports(q, folder, files):
    """/export of the folder against this file's own reader of it."""
    entries = [e for path in files for e in read_recording(path)[0]]
    q.path("out").mkdir(exist_ok=True)
    code, err = q.command_line("/export", str(harness.to_windows_path(folder)), r"out\all.csv")
    assert code == 0, err
    rows = csv_rows(q.path("out/all.csv"))
    for kind, channel in ((1, "CH1"), (3, "CH2")):
        assert exported_bytes(rows, channel, "RX") == b"".join(d for k, _, d in entries if k == kind), channel
    # A slice: from 2 s after the recording's first entry to the end of the
    # millisecond 4.000 s after it (one run: the capture clock is the
    # recording's clock).
    t0 = entries[0][1]
    code, err = q.command_line("/export", str(harness.to_windows_path(folder)), r"out\slice.csv",
                               "/from", "2", "/to", "4.000")
    assert code == 0, err
    rows = csv_rows(q.path("out/slice.csv"))
    want = b"".join(d for k, t, d in entries if k == 1 and t0 + 2_000_000 <= t <= t0 + 4_000_999)
    assert len(want) > 10000 and exported_bytes(rows, "CH1", "RX") == want
    assert float(rows[0][0]) == 0.0 and 1.9 < float(rows[-1][0]) <= 2.001, (rows[0], rows[-1])
    # A log of a short slice, with its times beside it; one of the whole
    # recording is cut where a log is full, and says where.
    code, err = q.command_line("/export", str(harness.to_windows_path(folder)), r"out\part.log",
                               "/from", "1", "/to", "1.5")
    assert (code, err) == (0, []), err
    _, _, records = harness.parse_log(q.path("out/part.log").read_bytes())
    want = b"".join(d for k, t, d in entries if k == 1 and t0 + 1_000_000 <= t <= t0 + 1_599_999)
    assert harness.received(records, 1) == want
    assert q.path("out/part.log.qtimes").stat().st_size == q.path("out/part.log").stat().st_size
    code, err = q.command_line("/export", str(harness.to_windows_path(folder)), r"out\all.log")
    assert code == 0 and len(err) == 1 and "the log ends at" in err[0], err
    # Bad arguments: a reason, exit code 1.
    code, err = q.command_line("/export", str(harness.to_windows_path(folder)), r"out\x.csv", "/from", "25:00")
    assert code == 1 and err == ["Not a time: 25:00"], err
    q.path("empty").mkdir()
    code, err = q.command_line("/export", q.windows_path("empty"), r"out\x.csv")
    assert code == 1 and "No recording here" in err[0], err


FILE_LIMIT = 1536 * 1024  # bytes any one file of the run may reach


def limit_file_size():
    """In the child before Wine: files stop growing at FILE_LIMIT, and a
    write past it fails instead of killing the process (as a full disk)."""
    resource.setrlimit(resource.RLIMIT_FSIZE, (FILE_LIMIT, FILE_LIMIT))
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)


def test_a_full_disk_stops_the_recording_once_and_the_capture_goes_on(wine, display, driver, com3, com4):
    run = harness.E2E / "run" / "recording-full"
    folder = run / "rec"
    q = harness.Quorrin(wine, run, settings=SETTINGS, preexec=limit_file_size,
                        args=["/record", str(harness.to_windows_path(folder)), "/open"])
    stream = Streamer(com3, b"A", 150000)
    try:
        start_recording(q, driver, {"file_kb": 8192})
        stream.start()
        hwnd, _, text = driver.message_box(40000)
        stream.stop = True
        stream.join(5)
        assert "Recording stopped (error " in text, text
        driver.answer(hwnd, 1)
        # One notice: none follows while the capture takes more.
        com3.write(b"AFTER THE DISK FILLED\r\n")
        assert harness.holds_for(lambda: harness.no_message_box(driver), 2)
        log = harness.save_log_when(driver, q, "after",
                                    lambda r: b"AFTER THE DISK FILLED" in harness.received(r, 1))
        code, err = q.command_line("/export", "after.log", "after.csv")
        assert code == 0, err
        events = [r for r in csv_rows(q.path("after.csv")) if r[3] == "EV"]
        assert any(r[6].startswith("recording-stopped error ") for r in events), events
    finally:
        stream.stop = True
        try:
            driver.call("close", "main")
            q.wait_exit(20)
        except Exception:
            q.kill()
    # What was written reads back: every line in order up to where it stopped.
    files = sorted(folder.glob("quorrin-*.qrec"))
    assert len(files) == 1 and files[0].stat().st_size <= FILE_LIMIT
    code, err = q.command_line("/export", str(harness.to_windows_path(folder)), "written.csv")
    assert code == 0, err
    got = numbered(exported_bytes(csv_rows(q.path("written.csv")), "CH1", "RX"), b"A")
    assert len(got) > 100000 and got == list(range(len(got)))
    assert log.exists()


def header_of(date_time, clock0):
    """A .qrec file's header as the manual describes it, with a COM3
    channel at 9600 8N1 on CH1."""
    header = bytearray(HEADER)
    header[:8] = b"QREC" + struct.pack("<HH", 1, HEADER)
    header[8:15] = struct.pack("<HBBBBB", *date_time)
    struct.pack_into("<q", header, 16, clock0)
    struct.pack_into("<IBBBBBBH", header, 24, 9600, 8, 0, 0, 0, 0, 0, 3)
    struct.pack_into("<I", header, 216, zlib.crc32(bytes(header[:216])))
    return bytes(header)


def block_of(entries):
    """One block of (kind, time, bytes) chunks as the writer makes it."""
    payload = b"".join(struct.pack("<BHq", kind, len(data), t) + data for kind, t, data in entries)
    head = b"QBLK" + struct.pack("<IIIq", len(payload), len(entries), zlib.crc32(payload), entries[0][1])
    return head + struct.pack("<I", zlib.crc32(head)) + payload


def write_recording(path, date_time, clock0, entries):
    """A .qrec file: the header, then blocks of at most 60 KB of (kind,
    time, bytes) chunks."""
    out = bytearray(header_of(date_time, clock0))
    block = []
    for n, entry in enumerate(entries):
        block.append(entry)
        if sum(11 + len(d) for _, _, d in block) > 60000 or n == len(entries) - 1:
            out += block_of(block)
            block = []
    path.write_bytes(bytes(out))


LINES = 40000  # "L000000\r\n" ... one every 1.5 ms: 60 s in three files of 20 s


def make_recording(folder):
    folder.mkdir(parents=True, exist_ok=True)
    names = []
    for f in range(3):
        clock0 = 5_000_000 + f * 20_000_000  # one run: the clock goes on across the files
        first, last = f * LINES // 3, (f + 1) * LINES // 3
        entries = [(1, 5_000_000 + i * 1500, b"L%06d\r\n" % i) for i in range(first, last)]
        name = "quorrin-20261209-1000%02d.qrec" % (f * 20)
        write_recording(folder / name, (2026, 12, 9, 10, 0, f * 20), clock0, entries)
        names.append(name)
    return names


def shown_lines(driver, q, name):
    """The export of what the view shows (a recording's window): its line numbers."""
    driver.command(176)
    driver.file_dialog(name)
    data = harness.written_file(driver, q.path(name))
    rows = list(csv.reader(io.StringIO(data.decode("ascii"), newline="")))[1:]
    got = numbered(b"".join(bytes.fromhex(r[5]) for r in rows if r[2:4] == ["CH1", "RX"]), b"L")
    assert got and got == list(range(got[0], got[0] + len(got))), name  # whole and in order
    return got[0], got[-1]


def test_open_recording_moves_over_all_of_it_and_back_to_live(app, driver, display):
    q = app(dict(SETTINGS, rs_comport=0, rs_comport2=0))
    driver.call("move", "main", 0, 0, 1240, 700)  # the status bar's part 9 within the window
    names = make_recording(q.path("recordings"))
    driver.command(182)
    driver.file_dialog(" ".join(f'"{n}"' for n in names))
    first = shown_lines(driver, q, "first.csv")
    assert first[0] == 0 and 5000 < first[1] < LINES - 1, first
    harness.screenshot(display, "recording_open", driver, settle=0.5)
    # Its scroll bar spans the data area alone, at the window's right.
    rect = lambda control: [int(v) for v in driver.call("rect", driver.call("child", "main", control)[0])]  # noqa: E731
    bar, tools, status = rect(1002), rect(1000), rect(1001)
    assert tools[3] <= bar[1] and bar[3] <= status[1] and bar[3] - bar[1] > 300, (bar, tools, status)
    assert abs(bar[2] - status[2]) <= 4, (bar, status)
    # The next window follows on: the scroll command at the window's end.
    driver.command(148)
    end = shown_lines(driver, q, "end.csv")
    assert end[1] == LINES - 1 and end[0] > first[1], end
    # The scroll bar's thumb at the middle, then one step up: the window
    # before it, which reaches up to where the middle one began.
    driver.call("send", "main", 0x0115, (5000 << 16) | 4, 0)  # WM_VSCROLL, SB_THUMBPOSITION
    middle = shown_lines(driver, q, "middle.csv")
    assert abs(middle[0] - LINES // 2) < LINES // 8, middle
    driver.command(147)
    before = shown_lines(driver, q, "before.csv")
    assert before[0] < middle[0] <= before[1] + 1, (before, middle)
    driver.command(149)
    assert shown_lines(driver, q, "start.csv")[0] == 0
    # A click on the status bar's "Back to live": the live capture, which
    # holds nothing here.
    bar = driver.call("child", "main", 1001)[0]
    driver.call("drag", bar, 900, 8, 900, 8)
    harness.after_posted(driver)
    driver.command(176)
    hwnd, _, text = driver.message_box(10000)
    driver.answer(hwnd, 1)
    assert text == harness.texts()[308][1], text
    # A slice written as a log opens in Open Log: lines 10 s to 12 s after
    # the start, 1.5 ms apart.
    code, err = q.command_line("/export", "recordings", "part.log", "/from", "10", "/to", "12.000")
    assert (code, err) == (0, []), err
    harness.load_log(driver, "part.log")
    part = shown_lines(driver, q, "part.csv")
    assert part == (6667, 8000), part


def test_a_block_carried_as_data_never_becomes_an_entry(wine):
    """A device (or a recording sent over the link) whose bytes are a whole
    block: with one byte of the recording damaged anywhere near it, the
    export holds only what was received, and never the carried block."""
    q = harness.Quorrin(wine, harness.E2E / "run" / "recording-carried", settings=SETTINGS)
    carried = block_of([(3, 77, b"EVIL")])
    clock = 3_600_000_000  # the capture clock an hour after the machine started
    sent = [(1, clock + i * 1000, b"L%06d\r\n" % i) for i in range(30)]
    # The carried block as the last chunk of the first block, and again
    # inside a chunk of the second with more bytes after it.
    sent.insert(10, (1, clock + 9_500, carried))
    sent.insert(25, (1, clock + 23_500, b"x" + carried + b"yz"))
    blocks = [block_of(sent[:11]), block_of(sent[11:22]), block_of(sent[22:])]
    whole = header_of((2026, 12, 9, 10, 0, 0), clock) + b"".join(blocks)
    first, second = HEADER, HEADER + len(blocks[0])
    spoils = {"none": None, "first head": first + 6, "first payload": first + BLOCK_HEAD + 3,
              "second head": second + 20, "second payload": second + BLOCK_HEAD + 3}
    q.path("out").mkdir(parents=True, exist_ok=True)
    for what, at in spoils.items():
        data = bytearray(whole)
        if at is not None:
            data[at] ^= 0x04
        name = "quorrin-20261209-100000.qrec"
        (q.path("out") / name).write_bytes(bytes(data))
        code, err = q.command_line("/export", "out\\" + name, r"out\all.csv")
        assert code == 0, (what, err)
        rows = [r for r in csv_rows(q.path("out/all.csv")) if r[3] != "EV"]
        assert rows, what
        for r in rows:
            assert r[2:4] == ["CH1", "RX"] and any(bytes.fromhex(r[5]) == d for _, _, d in sent), (what, r)
        if at is None:
            assert exported_bytes(rows, "CH1", "RX") == b"".join(d for _, _, d in sent)
        else:
            assert any("passed over" in line or "damaged" in line for line in err), (what, err)


def test_files_of_one_second_read_in_order_and_the_limit_deletes_the_oldest(wine, display, driver, com3, com4):
    run = harness.E2E / "run" / "recording-order"
    # Started from a shell in another folder with a relative /record: the
    # recording stays there, whatever folder a file chooser moves to.
    shell = run / "shell"
    folder = shell / "rec"
    q = harness.Quorrin(wine, run, settings=SETTINGS, args=["/record", "rec", "/open"])
    folder.mkdir(parents=True, exist_ok=True)
    # Older recordings of one second, -2 ... -11, 100 KB each (their names
    # sort as text as -10, -11, -2 ...), and files that are no recordings.
    old = ["quorrin-20261209-100000.qrec"] + ["quorrin-20261209-100000-%d.qrec" % k for k in range(2, 12)]
    lines = 0
    for name in old:
        entries = [(1, 5_000_000 + i * 1000, b"O%06d\r\n" % i) for i in range(lines, lines + 10000)]
        write_recording(folder / name, (2026, 12, 9, 10, 0, 0), 5_000_000, entries)
        lines += 10000
    code, err = q.command_line("/export", str(harness.to_windows_path(folder)), "old.csv")
    assert code == 0, err
    got = numbered(exported_bytes(csv_rows(q.path("old.csv")), "CH1", "RX"), b"O")
    assert got == list(range(lines)), "files of one second read out of their order"
    (folder / "notes.txt").write_bytes(b"keep me")
    (folder / "quorrin-copy.qrec").write_bytes((folder / old[0]).read_bytes())
    # 2 MB of the folder's limit and files of 64 KB: the run's first file
    # makes room by deleting the oldest; the stream then passes the limit
    # again and again.
    streams = []
    try:
        start_recording(q, driver, {"file_kb": 64, "folder_mb": 2}, cwd=shell)
        # The first file: the oldest of the others went, in their order.
        assert harness.wait_for(lambda: not (folder / old[0]).exists(), 10)
        kept = [name for name in old if (folder / name).exists()]
        assert kept == old[len(old) - len(kept):], kept
        streams = [Streamer(com3, b"A", 150000), Streamer(com4, b"B", 150000)]
        for s in streams:
            s.start()
        time.sleep(4)
        harness.save_log(driver, q, "moved")  # the chooser sets the program's folder as the current one
        time.sleep(8)
        for s in streams:
            s.stop = True
        for s in streams:
            s.join(5)
        time.sleep(1.0)
        driver.call("close", "main")
        q.wait_exit(20)
    finally:
        for s in streams:
            s.stop = True
        q.kill()
    assert (folder / "notes.txt").read_bytes() == b"keep me" and (folder / "quorrin-copy.qrec").exists()
    assert not list(run.glob("rec/*.qrec")), "the recording followed the current folder"
    ours = [p for p in folder.glob("quorrin-2*.qrec")]
    assert sum(p.stat().st_size for p in ours) <= 2 << 20
    assert not any((folder / name).exists() for name in old), "an old recording outlived the run's own"
    seconds = {}
    for p in ours:
        seconds.setdefault(p.name[:23], []).append(p.name)
    assert max(len(v) for v in seconds.values()) >= 3, seconds  # several files begun in one second
    # The folder reads back whole and in order: each channel's lines run on
    # without a gap from the first the folder kept to the last sent.
    code, err = q.command_line("/export", str(harness.to_windows_path(folder)), "all.csv")
    assert code == 0, err
    rows = csv_rows(q.path("all.csv"))
    for channel, tag, stream in (("CH1", b"A", streams[0]), ("CH2", b"B", streams[1])):
        got = numbered(exported_bytes(rows, channel, "RX"), tag)
        assert got and got == list(range(got[0], got[0] + len(got))), channel
        assert got[-1] == stream.lines - 1, (channel, got[-1], stream.lines)
    # Both receive threads appended at once, yet the recording is in time
    # order: no row's time is before the one above it.
    times = [float(r[0]) for r in rows if r[0]]
    backwards = [(i, t) for i, t in enumerate(times[1:], 1) if t < times[i - 1]]
    assert len(times) > 1000 and not backwards, backwards[:5]
    # "/from" at the minute the recording began: from its first entry on.
    first = sorted(ours, key=lambda p: (p.name[:23], int(p.stem[24:] or 1) if p.stem[23:] else 1))[0]
    hour, minute = first.name[17:19], first.name[19:21]
    code, err = q.command_line("/export", str(harness.to_windows_path(folder)), "minute.csv",
                               "/from", f"{hour}:{minute}")
    assert code == 0, err
    assert csv_rows(q.path("minute.csv"))[:50] == rows[:50]


def status_tip(driver, part):
    """The tooltip of a status bar part, read inside Quorrin; '' for none."""
    for line in driver.call("status"):
        kind, *values = line.split("|", 2)
        if kind == "tip" and int(values[0]) == part:
            return values[1]
    return ""


def test_record_to_disk_starts_where_it_says_and_says_where_it_went(app, driver, display, com3):
    q = app(dict(SETTINGS, rs_comport2=0))
    harness.open_ports(driver)
    # The first time: the program's own "recordings", made for the chooser,
    # whose name field holds the whole path OK takes.
    driver.command(CMD_RECORD)
    dlg = driver.call("dialog", "Record to Disk", 10000, timeout=20)[0]
    assert q.path("recordings").is_dir()
    assert driver.call("gettext", dlg, 1152)[0] == str(harness.to_windows_path(q.path("recordings")))
    harness.screenshot(display, "record_chooser", driver)
    # A path typed over it is where the recording goes.
    typed = q.path("bench") / "pump-3"
    typed.mkdir(parents=True)
    driver.call("filedialog", str(harness.to_windows_path(typed)), 5000)
    com3.write(b"PUMP 3 RUNNING\r\n")
    assert harness.wait_for(lambda: list(typed.glob("quorrin-*.qrec")), 10)
    assert harness.wait_for(lambda: status_tip(driver, 8) == str(harness.to_windows_path(typed)), 10)
    # The stop says, for a few seconds, where it went and how much.
    driver.command(CMD_RECORD)
    said = lambda: status_tip(driver, 8)  # noqa: E731
    assert harness.wait_for(lambda: said().startswith("Recorded "), 10), said()
    assert said().endswith(" in 1 file(s): " + str(harness.to_windows_path(typed))), said()
    harness.screenshot(display, "record_stopped", driver)
    assert harness.wait_for(lambda: said() == "", 15), said()
    assert not list(q.path("recordings").iterdir())
    # The next start begins at the folder last used.
    driver.command(CMD_RECORD)
    dlg = driver.call("dialog", "Record to Disk", 10000, timeout=20)[0]
    assert driver.call("gettext", dlg, 1152)[0] == str(harness.to_windows_path(typed))
    driver.call("filedialog", "<cancel>", 5000)
    # A whole recording folder opens from its own command, no Ctrl+A.
    driver.command(193)
    driver.call("dialog", "Open Recording Folder", 10000, timeout=20)
    driver.call("filedialog", str(harness.to_windows_path(typed)), 5000)
    driver.command(176)
    driver.file_dialog("shown.csv")
    rows = list(csv.reader(io.StringIO(harness.written_file(driver, q.path("shown.csv")).decode("ascii"),
                                       newline="")))[1:]
    assert b"".join(bytes.fromhex(r[5]) for r in rows if r[2:4] == ["CH1", "RX"]) == b"PUMP 3 RUNNING\r\n"
