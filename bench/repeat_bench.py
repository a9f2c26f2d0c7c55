#!/usr/bin/env python3
"""How steady the repeat's beat is, written to bench/results/repeat.md.

Quorrin under Wine repeats a 9-byte frame from the input send window on CH1
every 100 ms; the far end of the pty notes when each frame's first byte
arrives (a reader that only waits in select). Two errors per frame:
- beat error: arrival less the ideal beat (first arrival + k x 100 ms), which
  shows drift as well as jitter;
- interval error: the time since the previous frame less 100 ms.
Quorrin's CPU and the wineserver's while it repeats are noted, and the load
average, since the machine is shared.

Run after scripts/build.sh: /usr/bin/python3 bench/repeat_bench.py
(BENCH_RESULTS writes elsewhere; REPEAT_BEATS sets the number of frames,
600 by default). Without Wine, Xvfb or socat it says what is missing.
"""
import os
import select
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import benchkit  # noqa: E402
from benchkit import cpu_seconds, harness, percent, quorrin_pid, wineserver_pid  # noqa: E402

RESULTS = benchkit.results_path("repeat.md")
BEATS = int(os.environ.get("REPEAT_BEATS", "600"))
PERIOD_MS = 100
FRAME = bytes.fromhex("024142430334330D0A")
SETTINGS = {"moji_type": 1, "rs_comport": 3, "rs_comport2": 0, "rs_stchar_on": 1, "rs_stchar": "02",
            "rs_spchar_on": 1, "rs_spchar": "03", "rs_scchar_on": 1, "rs_scchar_mode": 0, "rs_scchar_type": 0,
            "rs_incheck_on": 1, "rs_spcheck_on": 1, "rs_endchar_on": 3}
CMD_INPUT = 150
REPEAT_OPEN, START, CLOSE, EVERY, COUNT = 720, 251, 253, 502, 503


def arrivals(fd, frames, deadline):
    """Arrival times of `frames` frames' first bytes."""
    times, at = [], 0
    while len(times) < frames and time.time() < deadline:
        if not select.select([fd], [], [], 0.05)[0]:
            continue
        now = time.monotonic()
        data = os.read(fd, 4096)
        for _ in data:
            if at % len(FRAME) == 0:
                times.append(now)
            at += 1
    return times[:frames]


def figures(values):
    ordered = sorted(values)
    p99 = ordered[min(len(ordered) - 1, int(0.99 * len(ordered)))]
    return (f"{statistics.median(values):+.2f} | {statistics.median(abs(v) for v in values):.2f} | "
            f"{sorted(abs(v) for v in values)[min(len(values) - 1, int(0.99 * len(values)))]:.2f} | "
            f"{ordered[0]:+.2f} | {p99:+.2f} | {ordered[-1]:+.2f}")


def measure(display, lines, notes):
    run = benchkit.QuorrinRun()
    try:
        benchkit.start_wine(run, display)
        benchkit.start_quorrin(run, ["bench_repeat_com3"], "bench_repeat", SETTINGS)
        driver, q = run.driver, run.q
        fd = run.pairs[0].fd
        harness.open_ports(driver)
        driver.command(CMD_INPUT)
        window = driver.call("dialog", "*", 10000, timeout=20)[0]
        driver.call("keys", window, 501, "ABC")
        driver.call("click", window, REPEAT_OPEN)
        dlg = driver.call("dialog", harness.texts()[701][1], 10000, timeout=20)[0]
        driver.call("settext", dlg, EVERY, str(PERIOD_MS))
        driver.call("settext", dlg, COUNT, str(BEATS))
        pid, server = quorrin_pid(q), wineserver_pid(run.wine)
        cpu0, server0, t0 = cpu_seconds(pid), cpu_seconds(server) if server else None, time.monotonic()
        driver.call("press", dlg, START)
        times = arrivals(fd, BEATS, time.time() + BEATS * PERIOD_MS / 1000 + 30)
        seconds = time.monotonic() - t0
        cpu1, server1 = cpu_seconds(pid), cpu_seconds(server) if server else None
        driver.call("answer", dlg, CLOSE)
        if len(times) < BEATS:
            notes.append(f"only {len(times)} of {BEATS} frames came")
        # Offsets from the first arrival's beat; the beat itself is their
        # median (the first send may be late: the worker starts with it).
        offsets = [1000 * (t - times[0]) - k * PERIOD_MS for k, t in enumerate(times)]
        centre = statistics.median(offsets)
        beat = [o - centre for o in offsets]
        tenth = max(1, len(offsets) // 10)
        drift = statistics.median(offsets[-tenth:]) - statistics.median(offsets[:tenth + 1][1:] or offsets[:1])
        interval = [1000 * (b - a) - PERIOD_MS for a, b in zip(times, times[1:])]
        lines.append("| error ms | frames | median | median abs | 99th pct abs | min | 99th pct | max |")
        lines.append("|---|---|---|---|---|---|---|---|")
        lines.append(f"| beat (arrival less start + k x {PERIOD_MS} ms) | {len(beat)} | {figures(beat)} |")
        lines.append(f"| interval (gap less {PERIOD_MS} ms) | {len(interval)} | {figures(interval)} |")
        lines.append("")
        lines.append(f"Over {seconds:.1f} s: drift (the last tenth's median offset less the first tenth's, first "
                     f"frame aside) {drift:+.2f} ms; the first frame came {-centre:+.2f} ms off the beat. "
                     f"CPU while repeating: Quorrin {percent(cpu0, cpu1, seconds):.1f} %"
                     + (f" + wineserver {percent(server0, server1, seconds):.1f} %" if server else "")
                     + " of one core.")
        lines.append(f"Load average at the end of the run: {os.getloadavg()[0]:.1f} (other work shares this machine).")
    finally:
        benchkit.stop_quorrin(run)


def main():
    lines, notes = [], []
    benchkit.measure_under_wine(lambda display: measure(display, lines, notes), notes)
    benchkit.write_results(
        RESULTS, "Repeat beat",
        [f"Measured {time.strftime('%Y-%m-%d')} by bench/repeat_bench.py: Quorrin.exe under Wine 8 on Xvfb "
         f"repeating a 9-byte frame on CH1 (a socat pty) every {PERIOD_MS} ms, {BEATS} times; arrival times "
         "taken at the pty's far end; 2-core machine.",
         "Beat error: a frame's arrival less its ideal time, start + k x period, where the start is the one that "
         "fits the frames best (the median offset): jitter and drift. "
         "Interval error: the gap since the previous frame less the period. Positive: late. "
         "The beat error's signed median is 0 by that choice of start: its median abs is the figure to read.",
         "The aim: the beat within 2 ms (median) and 10 ms (99th percentile) at 100 ms."],
        notes, lines)


if __name__ == "__main__":
    main()
