#!/usr/bin/env python3
"""Receive throughput and CPU of the whole program under Wine, written to
bench/results/throughput.md:

- drain rate: a peer writes a numbered stream ("%09d\\n" lines) into a socat
  pty pair as fast as the pty takes it, for SECONDS seconds; the writes
  wait for room when the reader falls behind, so bytes written / time is
  the rate at which the reader takes them in (a reader that takes nothing
  for five seconds ends the run, which says so). Readers: plain `cat` (the ceiling of
  this machine's ptys), picocom logging to a file (a Linux serial
  terminal), Quorrin on CH1 alone, and Quorrin on CH1 and CH2 at once;
- the capture's last window, saved as a log after each Quorrin run, must
  hold the numbered stream of each channel without a gap or a reordering;
- CPU of the Quorrin process and of its wineserver (user + system from
  /proc), and the two together: idle with both ports open, with 92,160
  bytes/s (921,600 baud) on each channel, and once CH1's pty pair has gone
  (socat ended: every read on CH1 fails, which must not spin a core).
  The machine's load average is written beside the figures: the machine is
  shared, and a loaded one drains more slowly.

Run after scripts/build.sh: /usr/bin/python3 bench/throughput_bench.py
(SECONDS=20 by default; set BENCH_SECONDS to change it, and BENCH_RESULTS
to write elsewhere). A reader this machine lacks (picocom, or Wine for
Quorrin) is skipped and named in the results.
"""
import os
import platform
import signal
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import benchkit  # noqa: E402
from benchkit import (Writer, cpu_seconds, harness, lacking_note, missing, pair, percent,  # noqa: E402
                      quorrin_pid, received_by_channel, saved_log, say, wineserver_pid)

RESULTS = benchkit.results_path("throughput.md")
SECONDS = float(os.environ.get("BENCH_SECONDS", "20"))
LINE = 10  # "%09d\n"
KIND_RECV = {0: 1, 1: 3}
NOTE = (
    'How a receive thread waits and reads (measured 2026-12-09, serial/receive_win.cpp): under Wine every '
    'read is a handful of round trips through the wineserver (the time-outs fetched, the read queued '
    'there, completed by an APC, its event set), so receiving costs about one read per turn whatever the '
    'wait. Until then the thread polled the queue every 1 ms (Wine fails WaitCommEvent on a pty) and '
    'read one chunk of at most 100 bytes a turn: at 2 x 92,160 bytes/s Quorrin and the wineserver '
    'together used 45 to 61 % of one core, nearly all of it in the reads. Now it waits with an '
    'overlapped one-byte read that the wineserver completes when the pty becomes readable, and reads '
    'every whole chunk already queued at once (up to 4,000 bytes), cut into chunks of 100 exactly '
    'where reads of one chunk each would cut them; only the rest of a chunk waits for the user\'s '
    'time-outs. The peer here writes 4,096-byte blocks, so most chunks come from such batch reads; a '
    'device whose bytes trickle in (as through a USB adapter) makes each chunk its own read again, '
    'still without the poll. On Windows the thread keeps WaitCommEvent.')



def cpu_text(quorrin, server):
    return (f"Quorrin {quorrin:.1f} % + wineserver {server:.1f} % = {quorrin + server:.1f} % of one core")


def idle_cpu_text(pid, server, seconds=10):
    """CPU of Quorrin and its wineserver over `seconds`, after 2 s to settle."""
    time.sleep(2)
    start, start_server = cpu_seconds(pid), cpu_seconds(server)
    time.sleep(seconds)
    return cpu_text(percent(start, cpu_seconds(pid), seconds), percent(start_server, cpu_seconds(server), seconds))


def stream_check(data):
    """(lines, ok): the received bytes, from the first whole line on, are
    consecutive numbered lines (the last one may be cut)."""
    start = data.find(b"\n") + 1
    lines = data[start:].split(b"\n")
    if lines and len(lines[-1]) < LINE - 1:
        lines = lines[:-1]
    try:
        numbers = [int(x) for x in lines]
    except ValueError:
        return len(lines), False
    ok = all(b == a + 1 for a, b in zip(numbers, numbers[1:]))
    return len(numbers), ok


def plain_reader(argv_for, label):
    """Drain rate of a Linux reader on one pty pair."""
    p = pair("ceiling")
    out = harness.E2E / "bench-reader.out"
    out.unlink(missing_ok=True)
    proc = subprocess.Popen(argv_for(p.app_path, out), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, start_new_session=True)
    w = None
    try:
        # The reader opens its end; one that quits at once reads nothing.
        if harness.wait_for(lambda: proc.poll() is not None, 1.0):
            return f"| {label} | not measured: the reader exited at once (status {proc.returncode}) | |"
        w = Writer(p.link_peer, SECONDS)
        w.start()
        w.join(SECONDS + 30)
        time.sleep(1.0)  # what is still in the pty reaches the reader's file
    finally:
        if proc.poll() is None:
            os.killpg(proc.pid, signal.SIGTERM)
            try:
                proc.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait(10)
        if w:
            w.close()
        p.close()
    size = out.stat().st_size if out.exists() else 0
    lines, ok = stream_check(out.read_bytes()) if size else (0, False)
    return f"| {label}, {SECONDS:.0f} s | {w.rate_text()} | " \
           f"{size:,} bytes kept, {lines:,} numbered lines in order: {ok} |"


def quorrin_runs(run):
    """The Quorrin rows, in the Wine prefix `run` holds ready."""
    rows = []
    writers = []
    try:
        benchkit.start_quorrin(run, ["bench3", "bench4"], "throughput",
                               {"moji_type": 1, "rs_comport": 3, "rs_comport2": 4})
        driver, q, (p3, p4) = run.driver, run.q, run.pairs
        harness.open_ports(driver)
        pid = quorrin_pid(q)
        # Wine's server process does part of every serial call's work.
        server = wineserver_pid(run.wine)

        rows.append(f"| idle CPU, CH1 and CH2 open on quiet ptys (10 s) | {idle_cpu_text(pid, server)} | |")

        for label, peers, rate in (("CH1 alone, as fast as the pty takes it", [p3], None),
                                   ("CH1 and CH2 at once, as fast as the ptys take it", [p3, p4], None),
                                   ("CH1 and CH2 at 92,160 bytes/s each (921,600 baud)", [p3, p4], 92160)):
            driver.command(145)  # clear, so the saved window is this run's alone
            hwnd, _, _ = driver.message_box()
            driver.answer(hwnd, 6)
            writers = [Writer(p.link_peer, SECONDS, rate) for p in peers]
            start_cpu, start_server, start = cpu_seconds(pid), cpu_seconds(server), time.time()
            for w in writers:
                w.start()
            for w in writers:
                w.join(SECONDS + 30)
            time.sleep(1.5)  # the receive threads take in what is still queued
            took = time.time() - start
            cpu = percent(start_cpu, cpu_seconds(pid), took)
            server_cpu = percent(start_server, cpu_seconds(server), took)
            name = f"run{len(rows)}"
            log = saved_log(driver, q, name)
            checks = []
            got = received_by_channel(log) if log else None
            for k, w in enumerate(writers):
                if got is None:
                    checks.append(f"CH{k + 1} {w.rate_text()}, the log was not written")
                else:
                    lines, ok = stream_check(bytes(got[KIND_RECV[k]]))
                    checks.append(f"CH{k + 1} {w.rate_text()}, last window {lines:,} lines in order: {ok}")
                w.close()
            writers = []
            rows.append(f"| Quorrin: {label}, {SECONDS:.0f} s | {'; '.join(checks)} | {cpu_text(cpu, server_cpu)}; "
                        f"load average {os.getloadavg()[0]:.1f} |")
            print(rows[-1], flush=True)

        # CH1's far end goes: socat ends, so every read on CH1 fails (the
        # presence check still finds COM3 in the registry and keeps it open).
        os.close(run.holders.pop(0))
        p3.close()
        rows.append(f"| CPU once CH1's pty pair has gone (its reads fail), CH2 open and quiet (10 s) | "
                    f"{idle_cpu_text(pid, server)} | |")
        print(rows[-1], flush=True)
    except Exception as e:  # noqa: BLE001 - the figures so far are still written
        rows.append(f"| Quorrin runs stopped | {type(e).__name__}: {e} | |")
        say(rows[-1])
    finally:
        for w in writers:
            w.close()
        benchkit.stop_quorrin(run)
    return rows


def main():
    rows, notes = [], []
    if missing(["socat", "sh", "cat"]):
        notes.append(lacking_note("every figure", missing(["socat", "sh", "cat"])))
    else:
        rows.append(plain_reader(lambda dev, out: ["sh", "-c", f"exec cat {dev} > {out}"], "plain cat (ceiling)"))
        print(rows[-1], flush=True)
        lacking = missing(["picocom", "script"])
        if lacking:
            rows.append(f"| picocom logging to a file | not measured: {', '.join(lacking)} missing | |")
            notes.append(lacking_note("picocom's drain rate", lacking))
        else:
            rows.append(plain_reader(lambda dev, out: ["script", "-qfc",
                                                       f"picocom -q -b 921600 --logfile {out} {dev}", "/dev/null"],
                                     "picocom logging to a file"))
        print(rows[-1], flush=True)
        lacking = missing(benchkit.WINE_TOOLS, benchkit.WINE_FILES)
        if lacking:
            rows.append(f"| Quorrin under Wine | not measured: {', '.join(lacking)} missing | |")
            notes.append(lacking_note("Quorrin's figures", lacking))
        else:
            display = harness.Display()
            try:
                display.start()
                run = benchkit.QuorrinRun()
                benchkit.start_wine(run, display)
                rows += quorrin_runs(run)
            except Exception as e:  # noqa: BLE001 - what was measured is still written
                rows.append(f"| Quorrin under Wine | not measured: {type(e).__name__}: {e} | |")
                say(rows[-1])
            finally:
                display.stop()
    benchkit.write_results(
        RESULTS, "Throughput and CPU benchmarks",
        [f"Measured {time.strftime('%Y-%m-%d')} by bench/throughput_bench.py on {platform.node()} "
         f"({os.cpu_count()} cores, {platform.machine()}, Linux {platform.release()}): Quorrin.exe under Wine 8 "
         "on Xvfb, each port a socat pty pair whose far end a Python thread writes with numbered lines, each "
         "write waiting for room in the pty; rate = bytes written / seconds written, so a slow reader shows as a "
         "low rate. CPU is user + system time of the Quorrin process and of its wineserver from /proc over the run. "
         f"Load average when the results were written: {os.getloadavg()[0]:.1f} (other work shares this machine).",
         NOTE],
        notes, ["| run | rate and integrity | notes |", "|---|---|---|"] + rows)


if __name__ == "__main__":
    main()
