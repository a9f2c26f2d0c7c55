#!/usr/bin/env python3
"""How the main window answers while a port drops out and comes back, five
times in one run, written to bench/results/reconnect.md.

Quorrin runs under Wine with "/reconnect /open": CH1 is COM3, reached
through socat's link (stopping that socat takes the pty away, a new socat
under the same link brings a new one back, as a re-plugged adapter under
the same COM number), CH2 is COM4. CH2 receives a numbered stream at
9,600 bytes/s the whole time. Each outage lasts 3 s. Throughout, the
driver times the main window's answer to WM_NULL (a sent message's round
trip, which includes any wait for the user-interface thread) back to back;
the figures are kept apart for the time the port is away and for the 2 s
after it is back (the reopen and the first data). The reconnect delay is
from the moment the new pty is there to the moment a process other than
the bench and socat has it open (Wine holds the Unix descriptor of every
port handle), read from /proc.

Run after scripts/build.sh: /usr/bin/python3 bench/reconnect_bench.py
(BENCH_RESULTS writes elsewhere).
"""
import os
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import benchkit  # noqa: E402
from benchkit import harness, say  # noqa: E402
from test_reconnect import pty_in_use  # noqa: E402

RESULTS = benchkit.results_path("reconnect.md")
OUTAGES = 5
AWAY_SECONDS = 3.0
AFTER_SECONDS = 2.0


def answers(driver, seconds):
    """WM_NULL round trips to the main window, back to back, for `seconds`."""
    out = []
    end = time.time() + seconds
    while time.time() < end:
        _, longest = map(float, driver.call("timesend", "main", 0, 0, 1, timeout=40))
        out.append(longest)
    return out


def figures(ms):
    return f"{statistics.median(ms):.1f} | {max(ms):.1f} | {len(ms)}"


def measure(display, rows, notes):
    run = benchkit.QuorrinRun()
    work = harness.E2E / "pty"
    work.mkdir(parents=True, exist_ok=True)
    try:
        benchkit.start_wine(run, display)
        ch1, ch2 = harness.PtyPair(work, "bench-rc3"), harness.PtyPair(work, "bench-rc4")
        run.pairs = [ch1, ch2]
        for p in run.pairs:
            run.holders.append(os.open(p.app_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK))
        run.wine.set_ports({"COM3": str(ch1.link_app), "COM4": ch2.app_path})
        run.driver = harness.Driver(run.wine)
        run.q = harness.Quorrin(run.wine, harness.E2E / "run" / "bench-reconnect",
                                settings={"rs_comport": 3, "rs_comport2": 4}, args=["/reconnect", "/open"])
        run.q.start()
        run.driver.main_window()
        if not harness.wait_for(lambda: pty_in_use(ch1), 10):
            notes.append("/open did not open COM3")
            return
        writer = benchkit.Writer(ch2.link_peer, OUTAGES * (AWAY_SECONDS + AFTER_SECONDS + 3) + 10, rate=9600)
        writer.start()
        rows.append(f"| before | - | {figures(answers(run.driver, 3.0))} |")
        for k in range(OUTAGES):
            ch1.write(b"A%05d\r\n" % k)
            ch1.close()
            away = answers(run.driver, AWAY_SECONDS)
            ch1 = harness.PtyPair(work, "bench-rc3")
            run.pairs[0] = ch1
            run.holders.append(os.open(ch1.app_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK))
            back = time.time()
            delay = "not within 10 s"
            after = []
            while time.time() < back + 10:
                after += answers(run.driver, 0.05)
                if pty_in_use(ch1):
                    delay = f"{time.time() - back:.2f}"
                    break
            ch1.write(b"B%05d\r\n" % k)
            after += answers(run.driver, AFTER_SECONDS)
            rows.append(f"| outage {k + 1}, away | - | {figures(away)} |")
            rows.append(f"| outage {k + 1}, back | {delay} | {figures(after)} |")
            say(rows[-2])
            say(rows[-1])
        writer.join(timeout=1)
        if writer.stalled:
            notes.append("CH2's stream stalled: Quorrin took nothing for 5 s")
    finally:
        benchkit.stop_quorrin(run)


def main():
    rows, notes = [], []
    benchkit.measure_under_wine(lambda display: measure(display, rows, notes), notes)
    cpu = os.cpu_count()
    benchkit.write_results(
        RESULTS, "Window answers during five outages",
        [f"bench/reconnect_bench.py on this machine ({cpu} cores), {time.strftime('%Y-%m-%d')}: five outages of "
         f"{AWAY_SECONDS:.0f} s of CH1 with CH2 receiving 9,600 bytes/s throughout; WM_NULL round trips to the "
         "main window back to back, median and longest in ms, and how many were timed."],
        notes,
        ["| phase | reconnect after the port's return (s) | answer median (ms) | answer longest (ms) | answers |",
         "|---|---|---|---|---|", *rows])


if __name__ == "__main__":
    main()
