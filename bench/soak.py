#!/usr/bin/env python3
"""Soak run of the whole program under Wine, written to bench/results/soak.md:

both channels receive a numbered stream ("%09d\\n" lines) at RATE bytes/s
each for SOAK_MINUTES (30 by default) while a macro sends on CH1 and CH2
every half second, waits for data with READ and counts with MINC; the
capture buffer wraps thousands of times. Every minute the program's
resident memory, its CPU time and the time its window takes to answer a
message are noted. At the end the last window of the capture, saved as a
log, must hold each channel's stream without a gap or a reordering, and
the macro must still be running.

Run after scripts/build.sh: /usr/bin/python3 bench/soak.py (SOAK_MINUTES,
SOAK_RATE and SOAK_MACRO=0 shorten or lighten it; SOAK_RESULTS or
BENCH_RESULTS write elsewhere). Without Wine, Xvfb or socat it says what is
missing and writes that instead of figures. The peers' writes wait for room
with select and stop when Quorrin takes nothing for five seconds, which the
notes then say.
"""
import os
import select
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import benchkit  # noqa: E402
from benchkit import (Writer, cpu_seconds, harness, percent, quorrin_pid, received_by_channel,  # noqa: E402
                      saved_log, wineserver_pid)
from throughput_bench import stream_check  # noqa: E402

RESULTS = Path(os.environ.get("SOAK_RESULTS", benchkit.results_path("soak.md")))
MINUTES = float(os.environ.get("SOAK_MINUTES", "30"))
RATE = int(os.environ.get("SOAK_RATE", "92160"))
WITH_MACRO = os.environ.get("SOAK_MACRO", "1") == "1"
MACRO = [":LP1", "MOVE 01,'00'", ":LP2", "SEND 'PING'0D", "SED2 'PONG'0D", "READ 02,004,005", "MINC 01",
         "MSED 01", "TIME 005", "GOTO LP2"]
CAPTURE_RECORDS_PER_WRAP = 130816


def rss_kib(pid):
    try:
        status = Path(f"/proc/{pid}/status").read_text()
    except OSError:
        return 0
    for line in status.splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


class Sink(threading.Thread):
    """Reads what Quorrin sends on one port and counts it."""

    def __init__(self, path):
        super().__init__(daemon=True)
        self.fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        self.data = bytearray()
        self.stop = threading.Event()

    def run(self):
        while not self.stop.is_set():
            r, _, _ = select.select([self.fd], [], [], 0.2)
            if r:
                try:
                    self.data += os.read(self.fd, 65536)
                except BlockingIOError:
                    pass


def measure(display, rows, notes):
    run = benchkit.QuorrinRun()
    writers, sinks = [], []
    try:
        benchkit.start_wine(run, display)
        benchkit.start_quorrin(run, ["soak3", "soak4"], "soak", {"moji_type": 1, "rs_comport": 3, "rs_comport2": 4})
        driver, q, (p3, p4) = run.driver, run.q, run.pairs
        q.path("soak.mac").write_bytes(b"\xff\xfe" + "".join(line + "\r\n" for line in MACRO).encode("utf-16-le"))
        harness.open_ports(driver)
        pid, server = quorrin_pid(q), wineserver_pid(run.wine)
        sinks = [Sink(str(p.link_peer)) for p in (p3, p4)]
        for s in sinks:
            s.start()
        dlg = None
        if WITH_MACRO:
            driver.command(152)
            dlg = driver.call("dialog", "Run Macro", 10000, timeout=20)[0]
            driver.call("settext", dlg, 321, "soak.mac")
            driver.call("click", dlg, 251)

        seconds = MINUTES * 60
        writers = [Writer(p.link_peer, seconds, RATE) for p in (p3, p4)] if RATE else []
        start, cpu0, server0 = time.time(), cpu_seconds(pid), cpu_seconds(server)
        rss_start = rss_kib(pid)
        for w in writers:
            w.start()
        minute = 0
        while minute < MINUTES:
            # The window is asked every half second, so the longest answer
            # of the minute includes the macro's READ and TIME waits.
            answer = 0.0
            while time.time() < start + (minute + 1) * 60:
                answer = max(answer, float(driver.call("timesend", "main", 0, 0, 3)[1]))
                time.sleep(0.5)
            minute += 1
            now = time.time() - start
            rows.append(f"| {minute} | {rss_kib(pid):,} | {percent(cpu0, cpu_seconds(pid), now):.1f} | "
                        f"{percent(server0, cpu_seconds(server), now):.1f} | {answer:.1f} | "
                        f"{sum(w.written for w in writers):,} |")
            print(rows[-1], flush=True)
        elapsed = time.time() - start
        for w in writers:
            w.join(30)
        rss_end = rss_kib(pid)
        steps = []
        if dlg:
            for _ in range(8):  # the loop takes about 0.8 s: the label must move
                steps.append(driver.call("gettext", dlg, 402)[0])
                time.sleep(0.25)
            driver.call("click", dlg, 254)  # stop
            time.sleep(1.0)
            driver.call("click", dlg, 252)  # close
        harness.close_ports(driver)
        log = saved_log(driver, q, "soak_end")
        checks = []
        if log is None:
            checks.append("the log was not written")
        else:
            got = received_by_channel(log)
            for kind, name in ((1, "CH1"), (3, "CH2")):
                lines, ok = stream_check(bytes(got[kind]))
                checks.append(f"{name}: {lines:,} numbered lines in the last window, in order: {ok}")
        received = sum(w.written for w in writers)
        pings = sinks[0].data.count(b"PING\r")
        pongs = sinks[1].data.count(b"PONG\r")
        notes += [
            f"Ran {elapsed / 60:.1f} minutes; the peers wrote {received:,} bytes "
            f"({received / elapsed:,.0f} bytes/s in all), so the capture buffer wrapped about "
            f"{received * 1.03 / CAPTURE_RECORDS_PER_WRAP:,.0f} times (received records and their gap markers)",
            f"Memory of the Quorrin process (VmRSS): {rss_start:,} KiB when the traffic began, {rss_end:,} KiB "
            f"when it ended, {rss_kib(pid):,} KiB after the log was saved through the save dialog",
            f"The macro sent {pings:,} PING lines on CH1 and {pongs:,} PONG lines on CH2; its step label still "
            f"moved at the end: {len(set(steps)) > 1} ({', '.join(sorted(set(steps)))})",
            f"Final log: {'; '.join(checks)}",
            f"The process was alive at the end: {q.proc.poll() is None}",
        ]
        notes += [f"CH{k + 1}'s peer stopped early: Quorrin took nothing for {w.stall:.0f} s"
                  for k, w in enumerate(writers) if w.stalled]
    finally:
        for s in sinks:
            s.stop.set()
        benchkit.stop_quorrin(run, 30)
        for w in writers:
            w.close()


def main():
    rows, notes = [], []
    benchkit.measure_under_wine(lambda display: measure(display, rows, notes), notes)
    benchkit.write_results(
        RESULTS, "Soak run",
        [f"Measured {time.strftime('%Y-%m-%d')} by bench/soak.py: Quorrin.exe under Wine 8 on Xvfb, CH1 and CH2 "
         f"on socat ptys each receiving {RATE:,} bytes/s of numbered lines, a macro sending PING on CH1 and PONG "
         "on CH2 every half second (READ, MINC, MSED, TIME, GOTO in its loop)."],
        notes, ["| minute | VmRSS KiB | Quorrin CPU % of one core | wineserver CPU % | window answer ms "
                "(longest of each minute, asked every 0.5 s) | bytes written by the peers |",
                "|---|---|---|---|---|---|"] + rows)


if __name__ == "__main__":
    main()
