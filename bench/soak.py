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

Run after scripts/build.sh: /usr/bin/python3 bench/soak.py
"""
import os
import sys
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "bench"))
import harness  # noqa: E402
from throughput_bench import Writer, cpu_seconds, pair, pid_of, received_by_channel, stream_check  # noqa: E402

RESULTS = Path(os.environ.get("SOAK_RESULTS", ROOT / "bench" / "results" / "soak.md"))
MINUTES = float(os.environ.get("SOAK_MINUTES", "30"))
RATE = int(os.environ.get("SOAK_RATE", "92160"))
WITH_MACRO = os.environ.get("SOAK_MACRO", "1") == "1"
MACRO = [":LP1", "MOVE 01,'00'", ":LP2", "SEND 'PING'0D", "SED2 'PONG'0D", "READ 02,004,005", "MINC 01",
         "MSED 01", "TIME 005", "GOTO LP2"]
CAPTURE_RECORDS_PER_WRAP = 130816


def rss_kib(pid):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
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
        import select
        while not self.stop.is_set():
            r, _, _ = select.select([self.fd], [], [], 0.2)
            if r:
                try:
                    self.data += os.read(self.fd, 65536)
                except BlockingIOError:
                    pass


def main():
    display = harness.Display()
    display.start()
    wine = harness.WinePrefix(harness.PREFIX, display.name)
    wine.ensure()
    p3, p4 = pair("soak3"), pair("soak4")
    holders = [os.open(p.app_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK) for p in (p3, p4)]
    wine.set_ports({"COM3": p3.app_path, "COM4": p4.app_path})
    driver = harness.Driver(wine)
    q = harness.Quorrin(wine, harness.E2E / "run" / "soak",
                        settings={"moji_type": 1, "rs_comport": 3, "rs_comport2": 4})
    q.path("soak.mac").write_bytes(b"\xff\xfe" + "".join(line + "\r\n" for line in MACRO).encode("utf-16-le"))
    rows, notes = [], []
    writers, sinks = [], []
    try:
        q.start()
        driver.main_window()
        harness.open_ports(driver)
        pid, server = pid_of("Quorrin.exe"), pid_of("wineserver")
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
            time.sleep(min(60, max(1, start + (minute + 1) * 60 - time.time())))
            minute += 1
            _, answer = map(float, driver.call("timesend", "main", 0, 0, 3))
            now = time.time() - start
            rows.append(f"| {minute} | {rss_kib(pid):,} | {(cpu_seconds(pid) - cpu0) / now * 100:.1f} | "
                        f"{(cpu_seconds(server) - server0) / now * 100:.1f} | {answer:.1f} | "
                        f"{sum(w.written for w in writers):,} |")
            print(rows[-1], flush=True)
        elapsed = time.time() - start
        rss_end = rss_kib(pid)
        steps = []
        if dlg:
            for _ in range(8):  # the loop takes about 0.8 s: the label must move
                steps.append(driver.call("gettext", dlg, 402)[0])
                time.sleep(0.25)
            driver.call("click", dlg, 254)  # stop
            time.sleep(1.0)
            driver.call("click", dlg, 252)  # close
        driver.command(159)
        driver.command(141)
        driver.file_dialog("soak_end")
        log = q.path("soak_end.log")
        harness.wait_for(lambda: log.exists() and log.stat().st_size > 32, 30)
        time.sleep(1.0)
        got = received_by_channel(log)
        checks = []
        for kind, name in ((1, "CH1"), (3, "CH2")):
            lines, ok = stream_check(bytes(got[kind]))
            checks.append(f"{name}: {lines:,} numbered lines in the last window, in order: {ok}")
        received = sum(w.written for w in writers)
        pings = sinks[0].data.count(b"PING\r")
        pongs = sinks[1].data.count(b"PONG\r")
        notes += [
            f"- Ran {elapsed / 60:.1f} minutes; the peers wrote {received:,} bytes "
            f"({received / elapsed:,.0f} bytes/s in all), so the capture buffer wrapped about "
            f"{received * 1.03 / CAPTURE_RECORDS_PER_WRAP:,.0f} times (received records and their gap markers).",
            f"- Memory of the Quorrin process (VmRSS): {rss_start:,} KiB when the traffic began, {rss_end:,} KiB "
            f"when it ended, {rss_kib(pid):,} KiB after the log was saved through the save dialog.",
            f"- The macro sent {pings:,} PING lines on CH1 and {pongs:,} PONG lines on CH2; its step label still "
            f"moved at the end: {len(set(steps)) > 1} ({', '.join(sorted(set(steps)))}).",
            f"- Final log: {'; '.join(checks)}.",
            f"- The process was alive at the end: {q.proc.poll() is None}.",
        ]
    finally:
        for s in sinks:
            s.stop.set()
        try:
            driver.call("close", "main")
            q.wait_exit(30)
        except Exception:
            q.kill()
        driver.close()
        wine.stop_server()
        for w in writers:
            w.close()
        for h in holders:
            os.close(h)
        p3.close()
        p4.close()
        display.stop()
    header = ["# Soak run", "",
              f"Measured {time.strftime('%Y-%m-%d')} by bench/soak.py: Quorrin.exe under Wine 8 on Xvfb, CH1 and CH2 "
              f"on socat ptys each receiving {RATE:,} bytes/s of numbered lines, a macro sending PING on CH1 and PONG "
              "on CH2 every half second (READ, MINC, MSED, TIME, GOTO in its loop).", ""] + notes + [
              "", "| minute | VmRSS KiB | Quorrin CPU % of one core | wineserver CPU % | window answer ms "
              "(longest of 3) | bytes written by the peers |", "|---|---|---|---|---|---|"]
    RESULTS.write_text("\n".join(header + rows) + "\n")
    print(RESULTS.read_text())


if __name__ == "__main__":
    main()
