#!/usr/bin/env python3
"""Whole-program receive figures under Wine, written to bench/results/receive.md:

- idle CPU: Quorrin with CH1 open on a quiet pty, CPU time over 10 s;
- sustained receive: the peer sends 92,160 bytes/s (921,600 baud) for a few
  seconds; the log saved afterwards must hold every byte in order, and the
  CPU used meanwhile is reported.

Run after scripts/build.sh: /usr/bin/python3 bench/receive_bench.py
"""
import os
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import harness  # noqa: E402

RESULTS = ROOT / "bench" / "results" / "receive.md"


def cpu_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def quorrin_pid():
    out = subprocess.run(["pgrep", "-f", "Quorrin.exe"], capture_output=True, text=True).stdout.split()
    return int(out[0])


def received_bytes(log):
    data = log.read_bytes()
    count = int(data[:30].decode("utf-16-le"))
    recs = [data[32 + 8 * i:40 + 8 * i] for i in range(count)]
    return bytes(r[2] for r in recs if r[0] == 1)


def main():
    display = harness.Display()
    display.start()
    wine = harness.WinePrefix(harness.PREFIX, display.name)
    wine.ensure()
    work = harness.E2E / "pty"
    work.mkdir(parents=True, exist_ok=True)
    pair = harness.PtyPair(work, "bench")
    holder = os.open(pair.app_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    wine.set_ports({"COM3": pair.app_path})
    driver = harness.Driver(wine)
    q = harness.Quorrin(wine, harness.E2E / "run" / "bench", settings={"moji_type": 1})
    lines = []
    try:
        q.start()
        driver.main_window()
        driver.command(158)
        driver.no_message_box(1000)
        pid = quorrin_pid()

        time.sleep(1)
        start = cpu_seconds(pid)
        time.sleep(10)
        idle = (cpu_seconds(pid) - start) / 10 * 100
        lines.append(f"| idle CPU, CH1 open on a quiet pty (10 s) | {idle:.1f} % of one core |")

        # One second fits the capture buffer whole (no wrap), so every byte
        # can be checked.
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
        time.sleep(1.5)
        busy = (cpu_seconds(pid) - start_cpu) / (time.time() - start) * 100
        driver.command(141)
        driver.file_dialog("bench")
        log = q.path("bench.log")
        harness.wait_for(lambda: log.exists() and log.stat().st_size > 32, 15)
        time.sleep(0.5)
        got = received_bytes(log)
        lost = len(payload) - len(got)
        lines.append(f"| sustained receive, {rate} bytes/s for {seconds} s ({sent_time:.1f} s to send) | "
                     f"{len(got)} of {len(payload)} bytes received, in order: {got == payload}; "
                     f"{busy:.1f} % of one core |")
        if lost:
            print(f"lost {lost} bytes", file=sys.stderr)
    finally:
        try:
            driver.call("close", "main")
            q.wait_exit(20)
        except Exception:
            q.kill()
        driver.close()
        wine.stop_server()
        os.close(holder)
        pair.close()
        display.stop()
    header = ["# Receive benchmarks", "",
              f"Measured {time.strftime('%Y-%m-%d')} by bench/receive_bench.py: Quorrin.exe under Wine 8 on Xvfb, "
              "CH1 on a socat pty, CPU time of the Quorrin process from /proc; 2-core machine.", "",
              "| figure | result |", "|---|---|"]
    RESULTS.write_text("\n".join(header + lines) + "\n")
    print(RESULTS.read_text())


if __name__ == "__main__":
    main()
