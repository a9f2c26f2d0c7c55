#!/usr/bin/env python3
"""The Plot window under Wine over a big recording, written to
bench/results/plot-window.md.

The bench writes a recording of RECORD_MB megabytes (bench/record_bench.py's
writer: 100-byte chunks on CH1 and CH2 in turn, one every 100 µs, so about
9,400 chunks a megabyte, each with a "silence ms" value, and a "RX bytes/s"
value a second per channel), opens it (Open Recording Folder), and opens
the Plot window over it. Quorrin is started with QUORRIN_PLOT_TIMES: the
window then appends to that file the time from the read's start to its
first picture ("first_us"), the duration of each paint of the plot area
("paint_us", timed with QueryPerformanceCounter around the handler), and
the time the whole read took ("read_us") (plot/plot_window_win.cpp;
nothing else changes). Meanwhile the driver times the Plot window's and
the main window's answers to a sent WM_NULL (round trip included), and at
the end it zooms the picture once with the wheel and times the paints of
every value of the recording at the window's size.

Run after scripts/build.sh: /usr/bin/python3 bench/plot_window_bench.py
(RECORD_MB=200 by default; BENCH_PLOT_WINDOW_MB and BENCH_RESULTS to change).
"""
import os
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import benchkit  # noqa: E402
from benchkit import harness, say  # noqa: E402
from record_bench import write_big_recording  # noqa: E402

RESULTS = benchkit.results_path("plot-window.md")
PREFIX = harness.BUILD / "wineprefix-bench"
RECORD_MB = int(os.environ.get("BENCH_PLOT_WINDOW_MB", "200"))
TIMES = "plot_times.txt"
CMD_PLOT, CMD_OPEN_FOLDER = 188, 193
STATUS, AREA = 403, 505
WM_NULL, WM_MOUSEWHEEL = 0x0000, 0x020A


def times(q, what):
    try:
        lines = q.path(TIMES).read_text().split("\n")
    except OSError:
        return []
    return [int(line.split()[1]) / 1000 for line in lines if line.startswith(what + " ")]


def spread(values):
    values = sorted(values)
    return f"{values[-1]:.1f} ms / {values[len(values) // 2]:.1f} ms ({len(values)})" if values else "none"


def measure(display, rows):
    run = benchkit.QuorrinRun()
    try:
        benchkit.start_wine(run, display, PREFIX)
        benchkit.start_quorrin(run, ["plotw1", "plotw2"], "plot_window_bench", {"moji_type": 1},
                               {"QUORRIN_PLOT_TIMES": TIMES})
        driver, q = run.driver, run.q
        folder = q.path("big")
        say(f"writing {RECORD_MB} MB of recording")
        chunks, total = write_big_recording(folder, RECORD_MB)
        driver.command(CMD_OPEN_FOLDER)
        driver.call("dialog", "Open Recording Folder", 10000, timeout=20)
        driver.call("filedialog", str(harness.to_windows_path(folder)), 5000)
        time.sleep(3)  # the first screen of the recording
        driver.call("move", "main", 0, 0, 1000, 700)
        started = time.time()
        driver.command(CMD_PLOT)
        dlg, _ = driver.call("dialog", harness.texts()[786][1], 10000, timeout=20)
        driver.call("move", dlg, 40, 40, 1600, 900)
        answers = {"Plot window": [], "main window": []}
        while not times(q, "read_us") and time.time() - started < 3600:
            answers["Plot window"].append(float(driver.call("timesend", dlg, WM_NULL, 0, 1)[1]))
            answers["main window"].append(float(driver.call("timesend", "main", WM_NULL, 0, 1)[1]))
            time.sleep(0.05)
        read = times(q, "read_us")
        first = times(q, "first_us")
        paints = times(q, "paint_us")
        mb = total / (1 << 20)
        rows.append(f"| recording read by the window ({mb:.0f} MB, {chunks:,} chunks) | "
                    + (f"{read[0] / 1000:.1f} s, {mb / (read[0] / 1000):.1f} MB/s |" if read else "not finished |"))
        rows.append(f"| first picture after the read began | {first[0]:.0f} ms |" if first else
                    "| first picture after the read began | none |")
        rows.append(f"| paints while reading, longest / median (count) | {spread(paints)} |")
        for name, values in answers.items():
            rows.append(f"| {name}'s answer to WM_NULL while reading, longest / median (count) | {spread(values)} |")
        # Every value of the recording drawn: the whole span, then a zoom.
        before = len(times(q, "paint_us"))
        area = driver.call("child", dlg, AREA)[0]
        left, top, right, bottom = map(int, driver.call("rect", area))
        for _ in range(10):
            driver.call("post", area, WM_MOUSEWHEEL, 120 << 16, ((top + bottom) // 2 << 16) | ((left + right) // 2))
            time.sleep(0.3)
        time.sleep(1)
        rows.append(f"| paints of the whole recording's values zoomed 10 times, longest / median (count) | "
                    f"{spread(times(q, 'paint_us')[before:])} |")
        rows.append(f"| status at the end | {driver.call('gettext', dlg, STATUS)[0]} |")
    finally:
        benchkit.stop_quorrin(run, 60)


def main():
    rows, notes = [], []
    benchkit.measure_under_wine(lambda display: measure(display, rows), notes)
    load = os.getloadavg()[0]
    benchkit.write_results(
        RESULTS, "Plot window over a big recording",
        [f"Measured {time.strftime('%Y-%m-%d')} by bench/plot_window_bench.py: Quorrin.exe under Wine 8 on Xvfb, "
         f"2-core machine shared with other builds (load average {load:.1f} at the end). The window reads the "
         "recording on its reader thread below normal priority and paints only the min/max envelope of each "
         "series per pixel column (see the script for what is timed and how)."],
        notes, ["| what | figure |", "|---|---|"] + rows)


if __name__ == "__main__":
    main()
