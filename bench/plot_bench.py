#!/usr/bin/env python3
"""The plot's cost, written to bench/results/plot.md:

- natively (build/native/plot_store_bench, Google Benchmark): 10 million
  points taken into a series, and the envelope of such a series painted
  into 1,600 pixel columns (all of it, and its last second);
- Quorrin.exe /plot on a generated recording of RECORD_MB megabytes (the
  writer of bench/record_bench.py: 100-byte chunks on CH1 and CH2, one
  every 100 µs), drawn as a PNG: every series of it read (the silences,
  the bytes per second, the numbers in whatever lines its bytes make), in
  MB of recording per second from the command to its exit, and the most
  memory the process held (VmHWM).

Run after scripts/build.sh: /usr/bin/python3 bench/plot_bench.py
(RECORD_MB=1024 by default; BENCH_RECORD_MB and BENCH_RESULTS to change).
"""
import os
import platform
import shutil
import subprocess
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import benchkit  # noqa: E402
from benchkit import harness, say  # noqa: E402
from record_bench import RECORD_MB, write_big_recording  # noqa: E402

RESULTS = benchkit.results_path("plot.md")


def native_rows():
    exe = harness.ROOT / "build" / "native" / "plot_store_bench"
    if not exe.exists():
        return ["| the series store alone | not measured: build/native/plot_store_bench missing | |"]
    out = subprocess.run([str(exe)], stdout=subprocess.PIPE, text=True, timeout=600).stdout
    rows = []
    for line in out.splitlines():
        if line.startswith("BM_"):
            parts = line.split()
            rows.append(f"| natively, {parts[0]} | {parts[1]} {parts[2]} | {' '.join(parts[5:])} |")
    return rows


def peak_memory(stop, out):
    """The largest VmHWM of a Quorrin.exe /plot process until stop is set."""
    while not stop.is_set():
        for pid in benchkit.pids_of("Quorrin.exe"):
            try:
                status = Path(f"/proc/{pid}/status").read_text()
                cmd = Path(f"/proc/{pid}/cmdline").read_bytes()
            except OSError:
                continue
            if b"/plot" not in cmd:
                continue
            for line in status.splitlines():
                if line.startswith("VmHWM:"):
                    out[0] = max(out[0], int(line.split()[1]))
        time.sleep(0.2)


def measure(display, rows):
    run = benchkit.QuorrinRun()
    try:
        benchkit.start_wine(run, display)
        q = harness.Quorrin(run.wine, harness.E2E / "run" / "plot-bench")
        folder = q.path("big")
        start = time.time()
        chunks, total = write_big_recording(folder, RECORD_MB)
        say(f"wrote {total:,} bytes of recording in {time.time() - start:.0f} s")
        mb = total / (1 << 20)
        q.command_line("/plot", "big", "warm.png", "/to", "1", timeout=600)  # the first start loads more
        stop, peak = threading.Event(), [0]
        watcher = threading.Thread(target=peak_memory, args=(stop, peak), daemon=True)
        watcher.start()
        t0 = time.time()
        code, err = q.command_line("/plot", "big", "big.png", "/size", "1600x900", timeout=7200)
        took = time.time() - t0
        stop.set()
        watcher.join()
        rows.append(f"| /plot of {mb:,.0f} MB of recording ({chunks:,} chunks) to a 1600x900 PNG | "
                    f"{mb / took:,.0f} MB/s from the command to its exit | {took:.1f} s, exit {code} {err}; "
                    f"most memory held {peak[0] / 1024:,.0f} MB; PNG {q.path('big.png').stat().st_size:,} bytes |")
        print(rows[-1], flush=True)
    finally:
        benchkit.stop_quorrin(run)
        shutil.rmtree(harness.E2E / "run" / "plot-bench", ignore_errors=True)


def main():
    rows, notes = native_rows(), []
    benchkit.measure_under_wine(lambda display: measure(display, rows), notes)
    benchkit.write_results(
        RESULTS, "Plot benchmarks",
        [f"Measured {time.strftime('%Y-%m-%d')} by bench/plot_bench.py on {platform.node()} "
         f"({os.cpu_count()} cores, {platform.machine()}, Linux {platform.release()}): the series store natively "
         "(Google Benchmark), and Quorrin.exe /plot under Wine 8 on a recording this script writes. "
         f"Load average when the results were written: {os.getloadavg()[0]:.1f}."],
        notes, ["| run | speed | notes |", "|---|---|---|"] + rows)


if __name__ == "__main__":
    main()
