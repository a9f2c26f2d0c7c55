#!/usr/bin/env python3
"""Quorrin.exe /find on a generated recording of RECORD_MB megabytes (the
writer of bench/record_bench.py: 64 MB files, 100-byte chunks on CH1 and
CH2 received), written to bench/results/find.md beside the matcher's own
figures (build/native/find_matcher_bench, when built):

- a hex pattern that is not there (the whole recording read and searched),
- the same with "??" wildcards,
- text in any case,
each timed from the command to its exit, in MB of recording per second.

Run after scripts/build.sh: /usr/bin/python3 bench/find_bench.py
(RECORD_MB=1024 by default; BENCH_RECORD_MB and BENCH_RESULTS to change).
"""
import os
import platform
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import benchkit  # noqa: E402
from benchkit import harness, say  # noqa: E402
from record_bench import RECORD_MB, write_big_recording  # noqa: E402

RESULTS = benchkit.results_path("find.md")


def matcher_rows():
    exe = harness.ROOT / "build" / "native" / "find_matcher_bench"
    if not exe.exists():
        return ["| the matcher alone | not measured: build/native/find_matcher_bench missing | |"]
    out = subprocess.run([str(exe)], stdout=subprocess.PIPE, text=True, timeout=600).stdout
    rows = []
    for line in out.splitlines():
        if line.startswith("BM_"):
            parts = line.split()
            rows.append(f"| matcher, {parts[0]} (64 MB in memory, 100-byte chunks) | {parts[-1].split('=')[-1]} | "
                        f"{parts[1]} {parts[2]} a pass |")
    return rows


def measure(display, rows):
    run = benchkit.QuorrinRun()
    try:
        benchkit.start_wine(run, display)
        q = harness.Quorrin(run.wine, harness.E2E / "run" / "find-bench")
        folder = q.path("big")
        start = time.time()
        chunks, total = write_big_recording(folder, RECORD_MB)
        say(f"wrote {total:,} bytes of recording in {time.time() - start:.0f} s")
        # The same on 16 MB: what starting Quorrin.exe under Wine costs,
        # which a search of any size pays once.
        small_chunks, small = write_big_recording(q.path("small"), 16)
        mb, small_mb = total / (1 << 20), small / (1 << 20)
        for label, args in (("hex, not there", ["01 03 00 00 00 0A C5 CD", "/hex"]),
                            ("hex with ?? wildcards, not there", ["01 03 ?? ?? 00 0A", "/hex"]),
                            ("text in any case, not there", ["timeout", "/text", "/anycase"])):
            q.command_line("/find", "small", *args, timeout=600)  # warm: the first start loads more
            t0 = time.time()
            q.command_line("/find", "small", *args, timeout=600)
            start_up = time.time() - t0
            t0 = time.time()
            code, err = q.command_line("/find", "big", *args, timeout=3600)
            took = time.time() - t0
            rows.append(f"| /find of {mb:,.0f} MB of recording ({chunks:,} chunks), {label} | "
                        f"{mb / took:,.0f} MB/s from the command to its exit; "
                        f"{(mb - small_mb) / max(took - start_up, 0.001):,.0f} MB/s of search beyond the start "
                        f"| {took:.1f} s, exit {code} {err}; {start_up:.1f} s for {small_mb:.0f} MB |")
            print(rows[-1], flush=True)
    finally:
        benchkit.stop_quorrin(run)
        shutil.rmtree(harness.E2E / "run" / "find-bench", ignore_errors=True)


def main():
    rows, notes = matcher_rows(), []
    benchkit.measure_under_wine(lambda display: measure(display, rows), notes)
    benchkit.write_results(
        RESULTS, "Find benchmarks",
        [f"Measured {time.strftime('%Y-%m-%d')} by bench/find_bench.py on {platform.node()} "
         f"({os.cpu_count()} cores, {platform.machine()}, Linux {platform.release()}): the matcher natively "
         "(Google Benchmark), and Quorrin.exe /find under Wine 8 on a recording this script writes. "
         f"Load average when the results were written: {os.getloadavg()[0]:.1f}."],
        notes, ["| run | speed | notes |", "|---|---|---|"] + rows)


if __name__ == "__main__":
    main()
