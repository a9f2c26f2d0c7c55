"""Quorrin.exe /find on a recording that /record made during the test and
on a saved log: its CSV lines (time_s,time_of_day,channel,direction,
found,stream_offset; found is empty for bytes) against Python's own search of the same bytes, read from
the recording files by this suite's reader of the documented format;
patterns that run across chunks, "??" wildcards, text in any case, the
stream filters, and the exit codes 0 (found), 1 (not found) and 2 (a
reason on standard error)."""
import re
import time

import harness
from test_recording import read_recording

SETTINGS = {"moji_type": 1, "rs_comport": 3, "rs_comport2": 4}
KINDS = {1: ("CH1", "RX"), 2: ("CH1", "TX"), 3: ("CH2", "RX"), 4: ("CH2", "TX")}


def python_find(streams, pattern, wild=(), fold=False):
    """Every (channel, direction, offset) where pattern matches, per stream."""
    out = set()
    for kind, data in streams.items():
        hay = data.lower() if fold else data
        for start in range(len(hay) - len(pattern) + 1):
            if all(k in wild or hay[start + k] == pattern[k] for k in range(len(pattern))):
                out.add(KINDS[kind] + (start,))
    return out


def found(lines):
    rows = [line.split(",") for line in lines]
    assert all(len(r) == 6 and r[4] == "" and re.fullmatch(r"\d\d:\d\d:\d\d\.\d{6}", r[1]) for r in rows), rows[:3]
    return {(r[2], r[3], int(r[5])) for r in rows}


def run_find(q, *args):
    import subprocess
    r = subprocess.run(["wine", str(q.path("Quorrin.exe")), "/find", *args], cwd=q.dir, env=q.prefix.env(),
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    err = [line for line in r.stderr.decode("utf-8", "replace").splitlines()
           if line and not line.startswith(("fixme:", "err:", "warn:", "wine:"))]
    return r.returncode, r.stdout.decode("ascii").splitlines(), err


def test_find_on_a_recording_and_a_log_as_python_finds(app, driver, com3, com4):
    q = app(SETTINGS, args=["/record", "rec", "/open"])
    assert harness.wait_for(lambda: harness.toolbar_enabled(driver, harness.TOOLBAR_CLOSE_PORTS), 10)
    for i in range(40):
        com3.write(b"L%03d O" % i)
        time.sleep(0.02)
        com3.write(b"K\r\n")  # "OK\r\n" across two chunks
        com4.write(b"\x01\x03\x00" + bytes([i]) + b"\x00\x0a" + b"ok\r\n")
        time.sleep(0.02)
    log = harness.save_log_when(driver, q, "found", lambda r: harness.received(r, 3).count(b"ok\r\n") == 40)
    driver.call("close", "main")
    q.wait_exit(20)
    streams = {}
    for path in sorted(q.path("rec").glob("quorrin-*.qrec")):
        for kind, _, data in read_recording(path)[0]:
            if kind in KINDS:
                streams[kind] = streams.get(kind, b"") + data
    # The strings notation (the default).
    code, lines, err = run_find(q, "rec", '"OK"0D0A')
    want = python_find(streams, b"OK\r\n")
    assert (code, err) == (0, []) and len(want) == 40 and found(lines) == want, (code, err, lines[:3])
    times = [float(line.split(",")[0]) for line in lines]
    assert times[0] >= 0 and times == sorted(times)
    # Hex with wildcards, narrowed to CH2 received; a log finds the same.
    code, lines, err = run_find(q, "rec", "01 03 ?? ?? 00 0A", "/hex", "/ch2", "/rx")
    want = python_find(streams, b"\x01\x03\x00\x00\x00\x0a", wild=(2, 3))
    assert code == 0 and len(want) == 40 and found(lines) == want, (err, lines[:3])
    code, log_lines, err = run_find(q, log.name, "01 03 ?? ?? 00 0A", "/hex")
    assert code == 0 and found(log_lines) == want, err
    # Text in any case on every stream; nothing on CH1 sent.
    code, lines, err = run_find(q, "rec", "ok", "/text", "/anycase")
    assert code == 0 and found(lines) == python_find(streams, b"ok", fold=True), err
    assert run_find(q, "rec", "ok", "/text", "/anycase", "/ch1", "/tx")[0] == 1
    # Nothing found: exit code 1, no line. Bad arguments and files: 2 and a reason.
    assert run_find(q, "rec", '"NOPE"')[:2] == (1, [])
    assert run_find(q, "rec", "0G", "/hex")[0::2] == (2, ["Not a hex digit or ?? at character 2"])
    assert run_find(q, "rec", "?? ??", "/hex")[0] == 2
    assert run_find(q, "rec", '"OK"', "/from", "1:2:3:4")[0::2] == (2, ["Not a time: 1:2:3:4"])
    code, _, err = run_find(q, "missing.log", '"OK"')
    assert code == 2 and len(err) == 1 and err[0].startswith("missing.log: "), err
    assert run_find(q, "rec")[0::2] == (2, [harness.texts()[514][1], harness.texts()[601][1]])
