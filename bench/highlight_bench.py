#!/usr/bin/env python3
"""What highlight rules cost, under Wine, written to
bench/results/highlight.md:

- receiving: 92,160 bytes/s on CH1 and on CH2 at once for SECONDS seconds
  (the receive path of throughput_bench.py), with no rules and with 20
  rules on (text, text in any case, hex with ??, the strings notation,
  a silence and a line event, on either channel and direction); the CPU of
  the Quorrin process and of its wineserver from /proc. The two are run in
  turn, twice each, as the machine is shared;
- full repaint: Quorrin maximised on a 1920 x 1080 virtual screen with a
  full capture (130,816 records loaded from a log), the repaint command
  (144) sent 30 times, with no rules and with the 20 rules (the round trip
  of a sent WM_COMMAND, which includes Wine's copy of the window to the
  screen).

Run after scripts/build.sh: /usr/bin/python3 bench/highlight_bench.py
(BENCH_SECONDS=10 by default; BENCH_RESULTS writes elsewhere).
"""
import os
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import benchkit  # noqa: E402
from benchkit import cpu_seconds, harness, percent, quorrin_pid, say, wineserver_pid  # noqa: E402
from paint_bench import full_log, stream  # noqa: E402

RESULTS = benchkit.results_path("highlight.md")
PREFIX = harness.BUILD / "wineprefix-bench"
SECONDS = float(os.environ.get("BENCH_SECONDS", "10"))
RATE = 92160

# Twenty rules of every form that colours, most on both channels.
RULES = [
    "FF00FF\tT\t*\t*\tALARM", "FF0000\tt\t*\t*\terror", "00FF00\tT\t1\tRX\tOK", "FFFF00\tH\t*\t*\t06 ?? 15",
    "00FFFF\tS\t*\t*\t\"NAK\"0D0A", "FF8000\tT\t2\t*\tFAULT", "8000FF\tt\t*\tTX\treset", "0080FF\tH\t1\t*\t01 03 ?? ?? 00 0A",
    "80FF00\tT\t*\t*\tTIMEOUT", "FF0080\tt\t*\t*\twarning", "008000\tH\t*\t*\t7E ?? ?? 7E", "800000\tT\t*\tRX\tBUSY",
    "000080\tS\t*\t*\t02\"STX\"03", "808000\tt\t2\tRX\toverrun", "800080\tH\t*\t*\tFF FF FF", "008080\tT\t*\t*\tREADY",
    "C0C0C0\tt\t*\t*\tchecksum", "404040\tH\t2\t*\t10 02 ?? 10 03", "FFC0C0\tQ\t*\t*\t500", "C0FFC0\tE\t*\t*\tlost",
]


def rules_file(q, lines):
    path = q.path("highlights.txt")
    if lines:
        path.write_bytes(b"\xff\xfe" + "".join(line + "\r\n" for line in lines).encode("utf-16-le"))
    else:
        path.unlink(missing_ok=True)


def restart(run, lines):
    """Quorrin again with these rules (read at start)."""
    run.driver.call("close", "main")
    run.q.wait_exit(20)
    rules_file(run.q, lines)
    run.q.start()
    run.driver.main_window()


def payload(k):
    """A stream with the rules' words in it now and then, among other bytes."""
    words = [b"ALARM", b"Error", b"OK", b"\x06A\x15", b"NAK\r\n", b"READY", b"\x01\x03\x00\x10\x00\x0a"]
    out = bytearray()
    i = 0
    while len(out) < RATE * int(SECONDS):
        out += bytes((i * k + j) & 0xFF for j in range(200))
        out += words[i % len(words)]
        i += 1
    return bytes(out[:RATE * int(SECONDS)])


def receive_cpu(run, pid, server):
    driver = run.driver
    harness.open_ports(driver)
    stop = threading.Event()
    threads = [threading.Thread(target=stream, args=(p, payload(k), RATE, stop)) for p, k in zip(run.pairs, (3, 5))]
    c0, s0, t0 = cpu_seconds(pid), cpu_seconds(server), time.time()
    for t in threads:
        t.start()
    for t in threads:
        t.join(SECONDS + 30)
    took = time.time() - t0
    cpu, server_cpu = percent(c0, cpu_seconds(pid), took), percent(s0, cpu_seconds(server), took)
    harness.close_ports(driver)
    return cpu, server_cpu


def measure(display, lines):
    run = benchkit.QuorrinRun()
    try:
        benchkit.start_wine(run, display, PREFIX)
        benchkit.start_quorrin(run, ["bench1", "bench2"], "highlight_bench",
                               {"moji_type": 1, "rs_comport": 3, "rs_comport2": 4})
        figures = {0: [], 20: []}
        for count in (0, 20, 0, 20):
            restart(run, RULES[:count])
            pid, server = quorrin_pid(run.q), wineserver_pid(run.wine)
            figures[count].append(receive_cpu(run, pid, server))
            say(f"{count} rules: {figures[count][-1]}")
        for count in (0, 20):
            runs = "; ".join(f"Quorrin {a:.1f} % + wineserver {b:.1f} %" for a, b in figures[count])
            mean = sum(a for a, _ in figures[count]) / len(figures[count])
            lines.append(f"| 2 x {RATE:,} bytes/s for {SECONDS:.0f} s, {count} rules on | {runs} | "
                         f"Quorrin mean {mean:.1f} % of one core |")
        extra = (sum(a for a, _ in figures[20]) - sum(a for a, _ in figures[0])) / 2
        lines.append(f"| 20 rules less none, Quorrin's mean | {extra:+.1f} % of one core | |")

        full_log(run.q.path("full.log"))
        for count in (0, 20, 0, 20):
            restart(run, RULES[:count])
            driver = run.driver
            driver.call("post", "main", 0x0112, 0xF030, 0)  # WM_SYSCOMMAND SC_MAXIMIZE

            def client():
                return list(map(int, driver.call("client", "main")))
            harness.wait_for(lambda: client()[2] - client()[0] > 1800, 10)
            driver.command(142)
            driver.file_dialog("full.log")
            driver.expect_message("ReadFile", timeout_ms=30000)
            time.sleep(2)
            mean, longest = map(float, driver.call("timesend", "main", 0x0111, 144, 30, timeout=120))
            lines.append(f"| full repaint, 130,816 records, {count} rules on (mean / longest of 30) | "
                         f"{mean:.1f} ms / {longest:.1f} ms | |")
            if count:
                display.screenshot(harness.E2E / "screenshots" / "highlight_bench_full.png")
    finally:
        benchkit.stop_quorrin(run, 30)


def main():
    lines, notes = [], []
    benchkit.measure_under_wine(lambda display: measure(display, lines), notes, 1920, 1080)
    load = os.getloadavg()
    benchkit.write_results(
        RESULTS, "Highlight rules benchmarks",
        [f"Measured {time.strftime('%Y-%m-%d')} by bench/highlight_bench.py: Quorrin.exe under Wine 8 on Xvfb, "
         f"2-core shared machine (load average {load[0]:.2f} {load[1]:.2f} {load[2]:.2f} at the end). CPU is "
         "user + system time of the process from /proc over the stream. The rules colour at paint time: the "
         "receive threads never see them; the window's thread runs each rule's Find pass over the records it "
         "paints (and a look-back of each painted stream's own bytes, the longest pattern's, up to 65,536 "
         "records) on each repaint timer tick."],
        notes, ["| run | CPU | |", "|---|---|---|"] + lines)


if __name__ == "__main__":
    main()
