"""Quorrin.exe /find's semantic finds on what the real program captured
and recorded: "/silence MS" lists exactly the chunks whose silence before
them, by the line's one rule, is at least MS ms (on a two-channel capture
whose silences lie far from the limit, the chunks whose export delta_s is
at least that); a text match never runs across a lost/back outage of the
line; "/badframe" on a recording of a real pymodbus slave that spoiled one
answer lists exactly that answer."""
import csv
import io
import os
import time

import harness
from test_find import run_find
from test_modbus_monitor import ENGLISH, open_monitor, read_three_then_write, slave  # noqa: F401 (a fixture)
from test_reconnect import port_back, port_gone

SETTINGS = {"moji_type": 1, "rs_comport": 3, "rs_comport2": 4}


def rows(lines):
    out = [line.split(",") for line in lines]
    assert all(len(r) == 6 for r in out), out[:3]
    return out


def export_rows(q, log):
    import subprocess
    out = q.path("export.csv")
    r = subprocess.run(["wine", str(q.path("Quorrin.exe")), "/export", log.name, out.name], cwd=q.dir,
                       env=q.prefix.env(), stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    assert r.returncode == 0, r.stderr
    return list(csv.DictReader(io.StringIO(out.read_text(encoding="utf-8"))))


def test_silences_are_the_lines_whichever_channel_spoke(app, driver, com3, com4):
    q = app(SETTINGS, args=["/open"])
    assert harness.wait_for(lambda: harness.toolbar_enabled(driver, harness.TOOLBAR_CLOSE_PORTS), 10)
    # Quiet spans of 0.1 s and 0.9 s, the channels taking turns: a
    # per-channel figure would see 1.0 s where the line was quiet 0.1 s.
    plan = [(com3, b"a1"), (com4, b"b1"), (com3, b"a2"), (com3, b"a3"), (com4, b"b2"), (com3, b"a4"),
            (com4, b"b3"), (com4, b"b4")]
    for k, (port, data) in enumerate(plan):
        port.write(data)
        time.sleep(0.9 if k % 3 == 2 else 0.1)  # a silence on the line, not a wait for an effect
    log = harness.save_log_when(driver, q, "quiet",
                                lambda r: harness.received(r, 1) == b"a1a2a3a4" and harness.received(r, 3) == b"b1b2b3b4")
    driver.call("close", "main")
    q.wait_exit(20)
    code, lines, err = run_find(q, log.name, "/silence", "400")
    assert (code, err) == (0, []), (code, err)
    found = [(r[2], r[3], round(float(r[0]), 3)) for r in rows(lines)]
    assert all(r[4].startswith("silence ") and float(r[4].split()[1]) >= 400 for r in rows(lines)), lines
    exported = [e for e in export_rows(q, log) if e["direction"] != "EV"]
    want = [(e["channel"], e["direction"], round(float(e["time_s"]), 3)) for e in exported
            if e["delta_s"] and float(e["delta_s"]) >= 0.4]
    assert len(want) == 2 and found == want, (found, want)
    # CH2's chunks alone: the same figures, fewer chunks looked at.
    code, lines, _ = run_find(q, log.name, "/silence", "400", "/ch2")
    assert [(r[2], r[3], round(float(r[0]), 3)) for r in rows(lines)] == [w for w in want if w[0] == "CH2"]
    assert run_find(q, log.name, "/silence", "0")[0::2] == (2, [harness.texts()[550][1]])


def test_a_match_never_runs_across_an_outage(app, driver, ports, com4):
    q = app({"moji_type": 1, "rs_comport": 5, "rs_comport2": 4}, args=["/reconnect", "/open"])
    assert harness.wait_for(lambda: harness.toolbar_enabled(driver, harness.TOOLBAR_CLOSE_PORTS), 10)
    ports["COM5"].write(b"xO")
    harness.save_log_when(driver, q, "before", lambda r: harness.received(r, 1) == b"xO")
    holders = []
    port_gone(ports)
    pair = port_back(ports, holders)
    # Once the channel is back "K" arrives (one written while it was away
    # may never come: it is written again until one has).
    log = None
    for k in range(10):
        pair.write(b"K")
        try:
            log = harness.save_log_when(driver, q, f"after{k}", lambda r: b"K" in harness.received(r, 1), timeout=3)
            break
        except AssertionError:
            continue
    assert log is not None, "K never arrived after the outage"
    ports["COM5"].write(b" OK")
    log = harness.save_log_when(driver, q, "whole", lambda r: harness.received(r, 1).endswith(b" OK"))
    driver.call("close", "main")
    q.wait_exit(20)
    code, lines, err = run_find(q, log.name, "OK", "/text")
    assert (code, err) == (0, []), (code, err)
    assert len(rows(lines)) == 1 and rows(lines)[0][2:4] == ["CH1", "RX"], lines
    code, lines, _ = run_find(q, log.name, "/event", "lost")
    assert code == 0 and len(rows(lines)) == 1 and rows(lines)[0][4].startswith("lost error"), lines
    assert run_find(q, log.name, "/event", "nothing")[0::2] == (2, ["Not a line event: nothing"])
    for fd in holders:
        os.close(fd)


def test_badframe_lists_exactly_the_spoiled_answer(app, driver, wine, slave):  # noqa: F811
    q = app(dict(ENGLISH), args=["/record", "rec"])
    harness.open_ports(driver)
    dlg = open_monitor(driver)
    read_three_then_write(driver, slave, dlg)
    driver.call("close", "main")
    q.wait_exit(20)
    code, lines, err = run_find(q, "rec", "/badframe")
    assert (code, err) == (0, []), (code, err, lines)
    found = rows(lines)
    assert len(found) == 1 and found[0][2:5] == ["CH1", "RX", "BAD CRC"], lines
    # The sent requests only: nothing is bad there.
    assert run_find(q, "rec", "/badframe", "/tx")[:2] == (1, [])


def test_a_match_never_runs_across_a_restart_of_the_program(app, driver, com3):
    """Two runs of the program on one boot record into one folder: "xO" at
    the end of the first, "K" at the start of the second. Each run's
    recording begins after its ports opened (Record to Disk chosen then),
    as a user starts one. No match joins the two runs."""
    from test_recording import CMD_RECORD, status_tip
    import shutil
    rec = harness.E2E / "run" / "restart-recording"
    if rec.exists():
        shutil.rmtree(rec)
    rec.mkdir(parents=True)
    for k, data in enumerate([b"xO", b"K"]):
        q = app({"moji_type": 1, "rs_comport": 3, "rs_comport2": 0})
        harness.open_ports(driver)
        driver.command(CMD_RECORD)
        driver.call("dialog", "Record to Disk", 10000, timeout=20)
        driver.call("filedialog", str(harness.to_windows_path(rec)), 5000)
        assert harness.wait_for(lambda: status_tip(driver, 8) == str(harness.to_windows_path(rec)), 10)
        com3.write(data)
        harness.save_log_when(driver, q, f"run{k}", lambda r: harness.received(r, 1) == data)
        driver.command(CMD_RECORD)
        assert harness.wait_for(lambda: status_tip(driver, 8).startswith("Recorded "), 10)
        driver.call("close", "main")
        q.wait_exit(20)
    assert len(list(rec.glob("quorrin-*.qrec"))) == 2
    # Each byte is there: "O" alone and "K" alone are found.
    assert run_find(q, str(harness.to_windows_path(rec)), "O", "/text")[0] == 0
    assert run_find(q, str(harness.to_windows_path(rec)), "K", "/text")[0] == 0
    code, lines, err = run_find(q, str(harness.to_windows_path(rec)), "OK", "/text")
    assert (code, lines, err) == (1, [], []), (code, lines, err)


def test_the_monitors_csv_of_a_recording_and_badframe_agree(wine):
    """The Modbus monitor's CSV of a recording (/modbus) and /find's
    /badframe read the same frames. Each answer came in two chunks, the
    second right after the first: at 1,200 baud with the port set to 19,200
    today, and at 19,200 (today's speed too) in a recording of steady
    polling longer than one window, whose first window ends between an
    answer's two chunks. Neither holds a bad frame."""
    import struct
    import zlib
    from test_recording import header_of, block_of
    import crcmod.predefined
    crc = crcmod.predefined.mkCrcFun("modbus")

    def rtu(body):
        return body + struct.pack("<H", crc(body))

    q = harness.Quorrin(wine, harness.E2E / "run" / "monitor-and-find", settings={"moji_type": 1, "rs_speed": 19200})
    request, answer = rtu(b"\x01\x03\x00\x00\x00\x01"), rtu(b"\x01\x03\x02\x00\x2a")

    def recording(folder, baud, exchanges):
        char = -(-100 * 100000 // baud)  # µs a character, 8N1, as the program counts it
        t, entries = 5_000_000, [(2, 5_000_000, request), (1, 5_020_000, answer)]
        for _ in range(exchanges):
            t += 50_000
            entries += [(2, t, request), (1, t + 20_000, answer[:4]), (1, t + 20_000 + 4 * char, answer[4:])]
        entries += [(2, t + 50_000, request), (1, t + 70_000, answer)]  # the last one whole
        header = bytearray(header_of((2026, 12, 9, 10, 0, 0), 5_000_000))
        struct.pack_into("<I", header, 24, baud)
        struct.pack_into("<I", header, 216, zlib.crc32(bytes(header[:216])))
        blocks = [block_of(entries[i:i + 3000]) for i in range(0, len(entries), 3000)]
        q.path(folder).mkdir(parents=True, exist_ok=True)
        (q.path(folder) / "quorrin-20261209-100000.qrec").write_bytes(bytes(header) + b"".join(blocks))

    # 24 records an exchange: the first window ends between the two chunks
    # of the answer of exchange 5449.
    counts = {}
    for folder, baud, exchanges in [("slow", 1200, 4), ("long", 19200, 5460)]:
        recording(folder, baud, exchanges)
        code, err = q.command_line("/modbus", folder, folder + ".csv")
        assert code == 0, err
        monitor_bad = [r for r in csv.DictReader(io.StringIO(q.path(folder + ".csv").read_text(encoding="utf-8")))
                       if r["check"] != "OK"]
        code, lines, err = run_find(q, folder, "/badframe")
        assert code in (0, 1) and err == [], (code, err)
        counts[folder] = (len(monitor_bad), len(lines))
    # Bad frames, by the monitor and by Find: none of them in either.
    assert counts == {"slow": (0, 0), "long": (0, 0)}, counts


def test_one_kind_of_find_at_a_time(wine):
    """A pattern, /silence, /badframe or /event: two at once are bad
    arguments, refused with the usage (exit 2), not one of them run."""
    from test_recording import write_recording
    q = harness.Quorrin(wine, harness.E2E / "run" / "find-one-kind", settings={"moji_type": 1})
    q.path("rec").mkdir(parents=True, exist_ok=True)
    write_recording(q.path("rec") / "quorrin-20261209-100000.qrec", (2026, 12, 9, 10, 0, 0), 5_000_000,
                    [(1, 5_000_000, b"a"), (1, 6_000_000, b"b")])
    usage = harness.texts()[514][1]
    for words in (["/silence", "400", "/badframe"], ["/event", "lost", "/silence", "400"], ["/badframe", "/event", "lost"]):
        code, lines, err = run_find(q, "rec", *words)
        assert code == 2 and err and err[0] == usage, (words, code, lines, err)
