#!/usr/bin/env python3
"""Receive throughput and CPU of the whole program under Wine, written to
bench/results/throughput.md:

- drain rate: a peer writes a numbered stream ("%09d\\n" lines) into a socat
  pty pair as fast as the pty takes it, for SECONDS seconds; the writes
  block when the reader falls behind, so bytes written / time is the rate
  at which the reader takes them in. Readers: plain `cat` (the ceiling of
  this machine's ptys), picocom logging to a file (a Linux serial
  terminal), Quorrin on CH1 alone, and Quorrin on CH1 and CH2 at once;
- the capture's last window, saved as a log after each Quorrin run, must
  hold the numbered stream of each channel without a gap or a reordering;
- CPU of the Quorrin process (user + system from /proc): idle with both
  ports open, and with 92,160 bytes/s (921,600 baud) on each channel.

Run after scripts/build.sh: /usr/bin/python3 bench/throughput_bench.py
(SECONDS=20 by default; set BENCH_SECONDS to change it).
"""
import os
import platform
import subprocess
import sys
import threading
import time
import tty
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import harness  # noqa: E402

RESULTS = ROOT / "bench" / "results" / "throughput.md"
SECONDS = float(os.environ.get("BENCH_SECONDS", "20"))
LINE = 10  # "%09d\n"
KIND_RECV = {0: 1, 1: 3}
NOTE = (
    'What limits the drain rate (measured 2026-12-08): neither process is busy (Quorrin and wineserver '
    'each use about a third of a core at full drain), so the limit is latency, not CPU. Every turn of a '
    'receive thread reads at most 100 bytes, and under Wine each turn is several round trips through '
    'wineserver (ClearCommError, the overlapped ReadFile and its completion): about 0.35 to 0.4 ms a '
    "turn, which caps one channel near 250-290 kB/s, just under the 300 kB/s target; the two channels' "
    'threads run side by side, so both at once reach about the same each. Two changes were measured on '
    'the way. Reading on without a wait while the queue still holds bytes took one channel from about 150'
    " kB/s to about 500 kB/s; but Wine's overlapped WaitCommEvent keeps about 46 bytes per call, which "
    'the soak run showed as 120 KiB a minute of steady growth (3.4 MB in 30 minutes). Since Wine fails '
    'that wait on a pty anyway, a receive thread whose wait has failed polls the queue instead: every 1 '
    'ms while traffic flows, 10 ms after 50 ms of quiet, 25 ms after a second. Memory is flat with it '
    '(soak.md), idle CPU fell below 1 %, and the drain rate is the figure above. On Windows, where the '
    'wait does not fail, the thread keeps waiting.')


def numbered(first, count):
    return b"".join(b"%09d\n" % i for i in range(first, first + count))


class Writer(threading.Thread):
    """Writes the numbered stream into a pty's peer end, blocking when the
    reader falls behind, for `seconds` (or paced at `rate` bytes/s)."""

    def __init__(self, peer_path, seconds, rate=None):
        super().__init__(daemon=True)
        self.fd = os.open(peer_path, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.fd)
        self.seconds, self.rate, self.written, self.elapsed = seconds, rate, 0, 0.0

    def run(self):
        block_lines = 4096 // LINE
        start = time.time()
        n = 0
        while time.time() - start < self.seconds:
            data = numbered(n, block_lines)
            view = memoryview(data)
            while view:
                view = view[os.write(self.fd, view):]
            n += block_lines
            self.written += len(data)
            if self.rate:
                delay = start + self.written / self.rate - time.time()
                if delay > 0:
                    time.sleep(delay)
        self.elapsed = time.time() - start

    def close(self):
        os.close(self.fd)


def pair(name):
    work = harness.E2E / "pty"
    work.mkdir(parents=True, exist_ok=True)
    p = harness.PtyPair(work, name)
    os.close(p.fd)  # the writer opens the peer end blocking
    return p


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


def received_by_channel(log):
    data = log.read_bytes()
    count = int(data[:30].decode("utf-16-le"))
    out = {1: bytearray(), 3: bytearray()}
    for i in range(count):
        rec = data[32 + 8 * i:40 + 8 * i]
        if rec[0] in out:
            out[rec[0]].append(rec[2])
    return out


def cpu_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def pid_of(pattern):
    out = subprocess.run(["pgrep", "-n", "-f", pattern], capture_output=True, text=True).stdout.split()
    return int(out[0])


def plain_reader(argv_for, label):
    """Drain rate of a Linux reader on one pty pair."""
    p = pair("ceiling")
    out = harness.E2E / "bench-reader.out"
    out.unlink(missing_ok=True)
    proc = subprocess.Popen(argv_for(p.app_path, out), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    time.sleep(1.0)
    w = Writer(p.link_peer, SECONDS)
    w.start()
    w.join()
    time.sleep(1.0)
    proc.terminate()
    proc.wait(10)
    w.close()
    p.close()
    size = out.stat().st_size if out.exists() else 0
    lines, ok = stream_check(out.read_bytes()) if size else (0, False)
    return f"| {label}, {SECONDS:.0f} s | {w.written / w.elapsed:,.0f} bytes/s | " \
           f"{size:,} bytes kept, {lines:,} numbered lines in order: {ok} |"


def quorrin_runs(display, wine):
    rows = []
    p3, p4 = pair("bench3"), pair("bench4")
    holders = [os.open(p.app_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK) for p in (p3, p4)]
    wine.set_ports({"COM3": p3.app_path, "COM4": p4.app_path})
    driver = harness.Driver(wine)
    q = harness.Quorrin(wine, harness.E2E / "run" / "throughput",
                        settings={"moji_type": 1, "rs_comport": 3, "rs_comport2": 4})
    try:
        q.start()
        driver.main_window()
        harness.open_ports(driver)
        pid = pid_of("Quorrin.exe")
        # Wine's server process does part of every serial call's work.
        server = pid_of("wineserver")

        time.sleep(2)
        start = cpu_seconds(pid)
        time.sleep(10)
        rows.append(f"| idle CPU, CH1 and CH2 open on quiet ptys (10 s) | "
                    f"{(cpu_seconds(pid) - start) / 10 * 100:.1f} % of one core | |")

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
                w.join()
            time.sleep(1.5)
            took = time.time() - start
            cpu = (cpu_seconds(pid) - start_cpu) / took * 100
            server_cpu = (cpu_seconds(server) - start_server) / took * 100
            name = f"run{len(rows)}"
            driver.command(141)
            driver.file_dialog(name)
            log = q.path(name + ".log")
            harness.wait_for(lambda: log.exists() and log.stat().st_size > 32, 30)
            time.sleep(1.0)
            got = received_by_channel(log)
            checks = []
            for k, w in enumerate(writers):
                lines, ok = stream_check(bytes(got[KIND_RECV[k]]))
                checks.append(f"CH{k + 1} {w.written / w.elapsed:,.0f} bytes/s, last window {lines:,} lines "
                              f"in order: {ok}")
                w.close()
            rows.append(f"| Quorrin: {label}, {SECONDS:.0f} s | {'; '.join(checks)} | CPU {cpu:.1f} % of one core "
                        f"(wineserver {server_cpu:.1f} %) |")
            print(rows[-1], flush=True)
    finally:
        try:
            driver.call("close", "main")
            q.wait_exit(20)
        except Exception:
            q.kill()
        driver.close()
        wine.stop_server()
        for h in holders:
            os.close(h)
        p3.close()
        p4.close()
    return rows


def main():
    rows = [plain_reader(lambda dev, out: ["sh", "-c", f"exec cat {dev} > {out}"], "plain cat (ceiling)")]
    print(rows[-1], flush=True)
    rows.append(plain_reader(lambda dev, out: ["script", "-qfc", f"picocom -q -b 921600 --logfile {out} {dev}",
                                               "/dev/null"], "picocom logging to a file"))
    print(rows[-1], flush=True)
    display = harness.Display()
    display.start()
    try:
        wine = harness.WinePrefix(harness.PREFIX, display.name)
        wine.ensure()
        rows += quorrin_runs(display, wine)
    finally:
        display.stop()
    header = ["# Throughput and CPU benchmarks", "",
              f"Measured {time.strftime('%Y-%m-%d')} by bench/throughput_bench.py on {platform.node()} "
              f"({os.cpu_count()} cores, {platform.machine()}, Linux {platform.release()}): Quorrin.exe under Wine 8 "
              "on Xvfb, each port a socat pty pair whose far end a Python thread writes with blocking writes of "
              "numbered lines; rate = bytes written / seconds written, so a slow reader shows as a low rate. "
              "CPU is user + system time of the Quorrin process from /proc over the run.", "",
              NOTE, "", "| run | rate and integrity | notes |", "|---|---|---|"]
    RESULTS.write_text("\n".join(header + rows) + "\n")
    print(RESULTS.read_text())


if __name__ == "__main__":
    main()
