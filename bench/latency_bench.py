#!/usr/bin/env python3
"""How precise the chunk times are, written to bench/results/latency.md.

Quorrin under Wine sends "Q" on CH1 every 300 ms from a macro; the peer
answers each "Q" after a known delay (2, 10 and 50 ms, measured on the
peer's own clock from the moment it read the request to the moment its
answer was written). The capture is exported as CSV, and each answer's
request-to-answer latency there is compared with the peer's turnaround:
the difference is the error of the latency Quorrin reports (the pty's own
transfer both ways is in it too).

A second figure: a chunk that comes after the line was quiet for 4 s,
then a second chunk 500 ms later. A receive thread that looked at a quiet
line less often would time the first chunk late; the delta between the two
shows by how much (500 ms minus the delta).

Idle CPU (Quorrin and its wineserver) is measured with both ports open on
quiet ptys, after the line has been quiet for a few seconds. The machine's
load average is noted: it is shared, and scheduling delays show in the
errors.

Run after scripts/build.sh: /usr/bin/python3 bench/latency_bench.py
(BENCH_RESULTS writes elsewhere). Without Wine, Xvfb or socat it says what
is missing and writes that instead of figures.
"""
import csv
import io
import os
import select
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import benchkit  # noqa: E402
from benchkit import cpu_seconds, harness, percent, quorrin_pid, wineserver_pid  # noqa: E402

RESULTS = benchkit.results_path("latency.md")
DELAYS_MS = (2, 10, 50)
REQUESTS = 40
QUIET_REPEATS = 8
CMD_EXPORT, CMD_CLEAR = 176, 145


def read_byte(fd, deadline):
    while time.time() < deadline:
        r, _, _ = select.select([fd], [], [], 0.05)
        if r:
            data = os.read(fd, 64)
            if data:
                return data, time.monotonic()
    return b"", None


def answer_requests(fd, delay_s, count):
    """Answers `count` requests after delay_s each; returns the turnarounds
    (read of the request to the answer written, in s)."""
    turnarounds = []
    while len(turnarounds) < count:
        data, got = read_byte(fd, time.time() + 5)
        if got is None:
            raise RuntimeError("no request came from the macro")
        while time.monotonic() < got + delay_s:
            pass  # a busy wait: a sleep would add the scheduler's slack to the delay
        os.write(fd, b"A")
        turnarounds.append(time.monotonic() - got)
    return turnarounds


def export_rows(driver, q, name):
    driver.command(CMD_EXPORT)
    driver.file_dialog(name)
    data = harness.written_file(driver, q.path(name), 30)
    return list(csv.reader(io.StringIO(data.decode("ascii"), newline="")))[1:]


def latencies(rows):
    """Each RX chunk's time after the TX chunk before it, in s (only RX
    chunks that directly follow a TX chunk)."""
    out = []
    for before, row in zip(rows, rows[1:]):
        if before[3] == "TX" and row[3] == "RX" and before[0] and row[0]:
            out.append(float(row[0]) - float(before[0]))
    return out


def figures(errors_ms):
    errors_ms = sorted(errors_ms)
    p95 = errors_ms[min(len(errors_ms) - 1, int(round(0.95 * len(errors_ms) + 0.5)) - 1)]
    return (f"{len(errors_ms)} | {errors_ms[0]:+.2f} | {statistics.median(errors_ms):+.2f} | "
            f"{p95:+.2f} | {errors_ms[-1]:+.2f}")


def measure(display, lines, notes):
    run = benchkit.QuorrinRun()
    try:
        benchkit.start_wine(run, display)
        benchkit.start_quorrin(run, ["bench", "bench2"], "latency", {"moji_type": 1, "rs_comport2": 4})
        driver, q = run.driver, run.q
        fd = run.pairs[0].fd
        harness.open_ports(driver)
        pid = quorrin_pid(q)
        server = wineserver_pid(run.wine)

        time.sleep(5)  # both lines quiet for a while
        start, start_server = cpu_seconds(pid), cpu_seconds(server)
        time.sleep(10)
        idle = percent(start, cpu_seconds(pid), 10)
        idle_server = percent(start_server, cpu_seconds(server), 10)

        lines.append("| answer delay | answers | min error ms | median | 95th percentile | max |")
        lines.append("|---|---|---|---|---|---|")
        (q.dir / "ping.txt").write_bytes(b"\xff\xfe" + "".join(
            line + "\r\n" for line in ["; a request every 300 ms", ":LP1", "SEND 'Q'", "TIME 003", "GOTO LP1"]).encode("utf-16-le"))
        for delay_ms in DELAYS_MS:
            driver.command(CMD_CLEAR)
            driver.expect_message("Message", "Clear all captured data?", button=6)
            dlg = harness.open_macro_dialog(driver)
            harness.run_macro_file(driver, dlg, "ping.txt")
            turnarounds = answer_requests(fd, delay_ms / 1000, REQUESTS + 1)
            driver.call("close", dlg)
            harness.wait_for(lambda: harness.dialog_closed(driver, harness.texts()[82][1]), 10)
            rows = export_rows(driver, q, f"latency-{delay_ms}.csv")
            measured = latencies(rows)
            # The first request's answer may land before the export's
            # first row; pair them from the end, where both lists agree.
            n = min(len(measured), len(turnarounds))
            errors = [(m - t) * 1000 for m, t in zip(measured[-n:], turnarounds[-n:])]
            if not errors:
                notes.append(f"{delay_ms} ms: no request and answer were paired")
                continue
            lines.append(f"| {delay_ms} ms | {figures(errors)} |")

        lines.append("")
        lines.append("| after 4 s of quiet | pairs | min lateness ms | median | 95th percentile | max |")
        lines.append("|---|---|---|---|---|---|")
        driver.command(CMD_CLEAR)
        driver.expect_message("Message", "Clear all captured data?", button=6)
        for _ in range(QUIET_REPEATS):
            time.sleep(4)  # the quiet line the first chunk comes after
            os.write(fd, b"F")
            sent = time.monotonic()
            while time.monotonic() < sent + 0.5:
                pass
            os.write(fd, b"S")
        time.sleep(0.5)
        rows = export_rows(driver, q, "quiet.csv")
        late = []
        for first, second in zip(rows, rows[1:]):
            if first[5] == "46" and second[5] == "53" and second[1]:
                late.append(500 - float(second[1]) * 1000)
        if late:
            lines.append(f"| first chunk late by | {figures(late)} |")
        lines.append("")
        lines.append(f"Idle CPU, CH1 and CH2 open on quiet ptys (10 s): Quorrin {idle:.1f} % + wineserver "
                     f"{idle_server:.1f} % = {idle + idle_server:.1f} % of one core.")
        lines.append(f"Load average at the end of the run: {os.getloadavg()[0]:.1f} (other work shares this machine).")
    finally:
        benchkit.stop_quorrin(run)


def main():
    lines, notes = [], []
    benchkit.measure_under_wine(lambda display: measure(display, lines, notes), notes)
    benchkit.write_results(
        RESULTS, "Chunk time precision",
        [f"Measured {time.strftime('%Y-%m-%d')} by bench/latency_bench.py: Quorrin.exe under Wine 8 on Xvfb, "
         "CH1 on a socat pty whose far end answers each request after a known delay; 2-core machine.",
         "Error: the request-to-answer latency in Quorrin's CSV export less the peer's own turnaround "
         "(request read to answer written). Positive: Quorrin's latency is longer."],
        notes, lines)


if __name__ == "__main__":
    main()
