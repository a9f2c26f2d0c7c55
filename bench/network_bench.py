#!/usr/bin/env python3
"""Receive rate and CPU of channels on network ports, beside the same
program's COM ports, written to bench/results/network.md:

- CH1 on socket://127.0.0.1:PORT, fed by a Python server that writes a
  numbered stream ("%09d\\n" lines) as fast as the socket takes it for
  SECONDS seconds: bytes written / time is the rate at which Quorrin takes
  them in (TCP holds the writer back when the reader falls behind);
- CH1 and CH2 on two such links at 92,160 bytes/s each (what 921,600 baud
  carries), and both links open and quiet: CPU of the Quorrin process and
  of its wineserver (user + system from /proc);
- the same 2 x 92,160 bytes/s on COM3 and COM4 (socat pty pairs), measured
  in the same run, so the two kinds of port compare under the same load;
- after each run the capture is saved as a log, and each channel's last
  window must hold the numbered stream without a gap or a reordering.

Run after scripts/build.sh: /usr/bin/python3 bench/network_bench.py
(SECONDS=20 by default; BENCH_SECONDS and BENCH_RESULTS as for the other
benchmarks).
"""
import os
import platform
import socket
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import benchkit  # noqa: E402
from benchkit import (Writer, cpu_seconds, harness, numbered_stream, percent, quorrin_pid,  # noqa: E402
                      received_by_channel, saved_log, say, wineserver_pid)
from throughput_bench import cpu_text, idle_cpu_text, stream_check  # noqa: E402

RESULTS = benchkit.results_path("network.md")
SECONDS = float(os.environ.get("BENCH_SECONDS", "20"))
KIND_RECV = {0: 1, 1: 3}


class NetWriter(threading.Thread):
    """A loopback server that takes one connection, then writes the
    numbered stream on it for `seconds` (paced at `rate` bytes/s, or as fast
    as the socket takes it) once `go` is set."""

    LINE = 10

    def __init__(self, seconds, rate=None):
        super().__init__(daemon=True)
        self.server = socket.create_server(("127.0.0.1", 0))
        self.port = self.server.getsockname()[1]
        self.seconds, self.rate = seconds, rate
        self.conn = None
        self.go = threading.Event()
        self.written, self.elapsed, self.error = 0, 1e-6, None

    def run(self):
        self.server.settimeout(30)
        try:
            self.conn, _ = self.server.accept()
            self.go.wait()
            self.elapsed = numbered_stream(self._send, self.seconds, self.rate, lambda: self.written)
        except OSError as e:
            self.error = e

    def _send(self, data):
        self.conn.sendall(data)
        self.written += len(data)
        return True

    def rate_text(self):
        text = f"{self.written / self.elapsed:,.0f} bytes/s"
        return text + (f" (stopped: {self.error})" if self.error else "")

    def close(self):
        for s in (self.conn, self.server):
            if s is not None:
                s.close()


def checked(driver, q, name, writers):
    log = saved_log(driver, q, name)
    got = received_by_channel(log) if log else None
    checks = []
    for k, w in enumerate(writers):
        if got is None:
            checks.append(f"CH{k + 1} {w.rate_text()}, the log was not written")
        else:
            lines, ok = stream_check(bytes(got[KIND_RECV[k]]))
            checks.append(f"CH{k + 1} {w.rate_text()}, last window {lines:,} lines in order: {ok}")
    return "; ".join(checks)


def clear(driver):
    driver.command(145)  # clear, so the saved window is this run's alone
    hwnd, _, _ = driver.message_box()
    driver.answer(hwnd, 6)


def timed_run(pid, server, writers, go):
    """Starts the writers (go(w) for each) and waits for their end; the CPU
    of Quorrin and its wineserver meanwhile."""
    start_cpu, start_server, start = cpu_seconds(pid), cpu_seconds(server), time.time()
    for w in writers:
        go(w)
    for w in writers:
        w.join(SECONDS + 30)
    time.sleep(1.5)  # the link threads take in what is still on the way
    took = time.time() - start
    return cpu_text(percent(start_cpu, cpu_seconds(pid), took), percent(start_server, cpu_seconds(server), took))


def network_runs(run):
    rows = []
    writers = []
    try:
        # One server per run and channel: each run's links connect anew.
        plan = [("CH1 alone, as fast as the link takes it", [None]),
                ("CH1 and CH2 at 92,160 bytes/s each", [92160, 92160])]
        for label, rates in plan:
            writers = [NetWriter(SECONDS, rate) for rate in rates]
            for w in writers:
                w.start()
            args = []
            for k, w in enumerate(writers):
                args += [f"/port{k + 1}", f"socket://127.0.0.1:{w.port}"]
            benchkit.start_quorrin(run, [], f"network{len(rows)}", {"moji_type": 1, "rs_comport": 0,
                                                                    "rs_comport2": 0}, args=args + ["/open"])
            driver, q = run.driver, run.q
            assert harness.wait_for(lambda: all(w.conn for w in writers), 15), "Quorrin did not connect"
            pid, server = quorrin_pid(q), wineserver_pid(run.wine)
            if len(rates) == 2:
                rows.append(f"| idle CPU, CH1 and CH2 connected, nothing sent (10 s) | "
                            f"{idle_cpu_text(pid, server)} | |")
                print(rows[-1], flush=True)
            clear(driver)
            cpu = timed_run(pid, server, writers, lambda w: w.go.set())
            rows.append(f"| Quorrin on socket://: {label}, {SECONDS:.0f} s | {checked(driver, q, 'net', writers)} | "
                        f"{cpu}; load average {os.getloadavg()[0]:.1f} |")
            print(rows[-1], flush=True)
            for w in writers:
                w.close()
            writers = []
            benchkit.stop_quorrin(run)
            run.q = run.driver = None
        # The COM ports under the same load, for comparison.
        benchkit.start_quorrin(run, ["netbench3", "netbench4"], "network-com",
                               {"moji_type": 1, "rs_comport": 3, "rs_comport2": 4})
        driver, q, (p3, p4) = run.driver, run.q, run.pairs
        harness.open_ports(driver)
        pid, server = quorrin_pid(q), wineserver_pid(run.wine)
        clear(driver)
        com = [Writer(p.link_peer, SECONDS, 92160) for p in (p3, p4)]
        cpu = timed_run(pid, server, com, lambda w: w.start())
        rows.append(f"| Quorrin on COM3 and COM4 at 92,160 bytes/s each, {SECONDS:.0f} s | "
                    f"{checked(driver, q, 'com', com)} | {cpu}; load average {os.getloadavg()[0]:.1f} |")
        print(rows[-1], flush=True)
        for w in com:
            w.close()
    except Exception as e:  # noqa: BLE001 - the figures so far are still written
        rows.append(f"| Quorrin runs stopped | {type(e).__name__}: {e} | |")
        say(rows[-1])
    finally:
        for w in writers:
            w.close()
        benchkit.stop_quorrin(run)
    return rows


def main():
    notes = []
    rows = []

    def measure(display):
        run = benchkit.QuorrinRun()
        benchkit.start_wine(run, display)
        rows.extend(network_runs(run))

    benchkit.measure_under_wine(measure, notes)
    benchkit.write_results(
        RESULTS, "Network port benchmarks",
        [f"Measured {time.strftime('%Y-%m-%d')} by bench/network_bench.py on {platform.node()} "
         f"({os.cpu_count()} cores, {platform.machine()}, Linux {platform.release()}): Quorrin.exe under Wine 8 "
         "on Xvfb; each network channel a socket:// link to a Python server on loopback that writes numbered "
         "lines, each COM port a socat pty pair written the same way. Rate = bytes written / seconds written. "
         "CPU is user + system time of the Quorrin process and of its wineserver from /proc over the run.",
         "How a network channel receives (net/link_net_win.cpp): its link thread sleeps in "
         "WaitForMultipleObjects on the socket's WSAEventSelect event, the close's wake event and the event "
         "of its outgoing queue, then reads everything the socket holds, 4,096 bytes a recv, and cuts it into "
         "chunks of 100 bytes with the time of that recv; between reads it sends what its queue holds. No read "
         "time-outs and no polling: the cost is a few calls per burst."],
        notes, ["| run | rate and integrity | CPU |", "|---|---|---|"] + rows)


if __name__ == "__main__":
    main()
