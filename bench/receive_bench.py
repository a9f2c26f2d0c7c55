#!/usr/bin/env python3
"""Whole-program receive figures under Wine, written to bench/results/receive.md:

- idle CPU: Quorrin with CH1 open on a quiet pty, CPU time over 10 s;
- sustained receive: the peer sends 92,160 bytes/s (921,600 baud) for a few
  seconds; the log saved afterwards must hold every byte in order, and the
  CPU used meanwhile is reported.

Run after scripts/build.sh: /usr/bin/python3 bench/receive_bench.py
(BENCH_RESULTS writes elsewhere). Without Wine, Xvfb or socat it says what
is missing and writes that instead of figures.
"""
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import benchkit  # noqa: E402
from benchkit import cpu_seconds, harness, percent, quorrin_pid, saved_log, say  # noqa: E402

RESULTS = benchkit.results_path("receive.md")


def measure(display, lines):
    run = benchkit.QuorrinRun()
    try:
        benchkit.start_wine(run, display)
        benchkit.start_quorrin(run, ["bench"], "bench", {"moji_type": 1})
        driver, q, pair = run.driver, run.q, run.pairs[0]
        harness.open_ports(driver)
        pid = quorrin_pid(q)

        time.sleep(1)
        start = cpu_seconds(pid)
        time.sleep(10)
        idle = percent(start, cpu_seconds(pid), 10)
        lines.append(f"| idle CPU, CH1 open on a quiet pty (10 s) | {idle:.1f} % of one core |")

        # One second fits the capture buffer whole (no wrap), so every byte
        # can be checked. Each write is bounded: a pty nobody reads raises.
        rate, seconds = 92160, 1
        payload = bytes((i * 7 + i // 256) & 0xFF for i in range(rate * seconds))
        start_cpu, start = cpu_seconds(pid), time.time()
        step = rate // 100
        for k in range(0, len(payload), step):
            pair.write(payload[k:k + step])
            delay = start + (k + step) / rate - time.time()
            if delay > 0:
                time.sleep(delay)
        sent_time = time.time() - start
        time.sleep(1.5)  # the receive thread takes in what is still queued
        busy = percent(start_cpu, cpu_seconds(pid), time.time() - start)
        log = saved_log(driver, q, "bench")
        if log is None:
            lines.append(f"| sustained receive, {rate} bytes/s for {seconds} s | the log was not written |")
            return
        got = harness.received(harness.parse_log(log.read_bytes())[2], 1)
        lines.append(f"| sustained receive, {rate} bytes/s for {seconds} s ({sent_time:.1f} s to send) | "
                     f"{len(got)} of {len(payload)} bytes received, in order: {got == payload}; "
                     f"{busy:.1f} % of one core |")
        if len(got) != len(payload):
            say(f"lost {len(payload) - len(got)} bytes")
    finally:
        benchkit.stop_quorrin(run)


def main():
    lines, notes = [], []
    benchkit.measure_under_wine(lambda display: measure(display, lines), notes)
    benchkit.write_results(
        RESULTS, "Receive benchmarks",
        [f"Measured {time.strftime('%Y-%m-%d')} by bench/receive_bench.py: Quorrin.exe under Wine 8 on Xvfb, "
         "CH1 on a socat pty, CPU time of the Quorrin process from /proc; 2-core machine."],
        notes, ["| figure | result |", "|---|---|"] + lines)


if __name__ == "__main__":
    main()
