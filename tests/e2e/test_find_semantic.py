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
