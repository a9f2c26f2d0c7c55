#!/usr/bin/env python3
"""Main data view figures under Wine, written to bench/results/paint.md:

- full repaint: Quorrin maximised on a 1920 x 1080 virtual screen with a
  full capture buffer (130,816 records loaded from a log); the repaint
  command (144) is sent 50 times and each send returns once the window has
  painted (InvalidateRect + UpdateWindow), so its time is the repaint's;
- live stream: 92,160 bytes/s on CH1 and on CH2 at once for 5 s; meanwhile
  the time the UI thread takes to answer a sent message is measured
  (it must stay within one timer period, 300 ms), so is an incremental
  paint (a repaint timer tick sent every 50 ms), the CPU used is read from
  /proc, and afterwards the last bytes of each channel in the capture must
  be the last bytes sent.

The repaint figures are round trips: they include Wine's copy of the whole
window surface to the X screen after the paint, which an empty capture
shows alone. Timed once inside the program (a QueryPerformanceCounter
around the paint, not kept in the code), the WM_PAINT handler itself took
about 10 ms for the full buffer and 1.5 ms for the empty grid.

Run after scripts/build.sh: /usr/bin/python3 bench/paint_bench.py
(BENCH_RESULTS writes elsewhere). Without Wine, Xvfb or socat it says what
is missing and writes that instead of figures; without ImageMagick it takes
no screenshots.
"""
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import benchkit  # noqa: E402
from benchkit import cpu_seconds, harness, missing, percent, quorrin_pid, saved_log, say  # noqa: E402

RESULTS = benchkit.results_path("paint.md")
PREFIX = harness.BUILD / "wineprefix-bench"


def picture(display, name):
    """A screenshot for people to look at, when ImageMagick is there."""
    if not missing(["import"]):
        display.screenshot(harness.E2E / "screenshots" / name)


def full_log(path, records=130816):
    recs = bytearray()
    chunk = 0
    while len(recs) // 8 + 103 <= records:
        kind = 1 if chunk % 2 == 0 else 4
        for i in range(100):
            recs += bytes([kind, 0, (chunk + i) & 0xFF, 0, i, 0, 0, 0])
        recs += bytes([128, 0, 0x74, 0x3D, 0, 0, 0, 0, 129, 0, 0x30, 0x30, 0, 0, 0, 0, 130, 0, 0x30, 0x31, 0, 0, 0, 0])
        chunk += 1
    path.write_bytes(("%015d\r" % (len(recs) // 8)).encode("utf-16-le") + bytes(recs))
    return len(recs) // 8


def stream(pair, payload, rate, stop):
    start, step = time.time(), rate // 100
    for k in range(0, len(payload), step):
        if stop.is_set():
            return
        try:
            pair.write(payload[k:k + step])  # bounded: raises when nobody reads
        except TimeoutError:
            say("a stream stopped: Quorrin took nothing for 10 s")
            return
        delay = start + (k + step) / rate - time.time()
        if delay > 0:
            time.sleep(delay)


def channel_bytes(log, kind):
    data = log.read_bytes()
    count = int(data[:30].decode("utf-16-le"))
    return bytes(data[32 + 8 * i + 2] for i in range(count) if data[32 + 8 * i] == kind)


def macro_wait_answers(driver, q):
    """The longest main-window answer while a macro waits in READ (no answer
    comes) and in TIME, 2 s of each."""
    rows = []
    q.path("wait.txt").write_bytes(b"\xff\xfe" + "READ 01,005,030\r\nTIME 030\r\nPEND\r\n".encode("utf-16-le"))
    driver.command(152)
    dlg = driver.call("dialog", harness.texts()[82][1], 10000, timeout=20)[0]
    driver.call("settext", dlg, 321, "wait.txt")
    driver.call("click", dlg, 251)
    for line in ("READ 01,005,030", "TIME 030"):
        if not harness.wait_for(lambda: driver.call("gettext", dlg, 403)[0] == line, 10):
            rows.append(f"| a macro waits in {line.split()[0]} | the macro did not reach the line |")
            continue
        worst = 0.0
        until = time.time() + 2.0
        while time.time() < until:
            worst = max(worst, float(driver.call("timesend", "main", 0, 0, 10)[1]))
        rows.append(f"| a macro waits in {line}: longest main-window answer | {worst:.1f} ms |")
    hwnd, _, _ = driver.message_box(10000)  # PEND
    driver.answer(hwnd, 1)
    driver.call("click", dlg, 252)
    return rows


def measure(display, lines):
    run = benchkit.QuorrinRun()
    try:
        benchkit.start_wine(run, display, PREFIX)
        benchkit.start_quorrin(run, ["bench1", "bench2"], "paint_bench", {"moji_type": 1, "rs_comport2": 4})
        driver, q, pairs = run.driver, run.q, run.pairs
        driver.call("post", "main", 0x0112, 0xF030, 0)  # WM_SYSCOMMAND SC_MAXIMIZE

        def client():
            return list(map(int, driver.call("client", "main")))
        harness.wait_for(lambda: client()[2] - client()[0] > 1800, 10)
        left, top, right, bottom = client()
        mean, longest = map(float, driver.call("timesend", "main", 0x0111, 144, 50, timeout=120))
        lines.append(f"| repaint of an empty capture (erase, grid, Wine's copy of the window to the screen) | "
                     f"{mean:.1f} ms / {longest:.1f} ms |")
        n = full_log(q.path("full.log"))
        driver.command(142)
        driver.file_dialog("full.log")
        # A log made here has no times file: the load ends with that notice.
        driver.expect_message("ReadFile", timeout_ms=30000)
        time.sleep(2)
        mean, longest = map(float, driver.call("timesend", "main", 0x0111, 144, 50, timeout=120))
        lines.append(f"| full repaint, client {right - left} x {bottom - top}, {n} records (mean / longest of 50) | "
                     f"{mean:.1f} ms / {longest:.1f} ms |")
        picture(display, "paint_bench_full.png")

        driver.command(145)
        hwnd, _, _ = driver.message_box()
        driver.answer(hwnd, 6)
        harness.open_ports(driver)
        pid = quorrin_pid(q)
        rate, seconds = 92160, 5
        payloads = [bytes((i * k + i // 251) & 0xFF for i in range(rate * seconds)) for k in (3, 5)]
        stop = threading.Event()
        threads = [threading.Thread(target=stream, args=(p, d, rate, stop)) for p, d in zip(pairs, payloads)]
        cpu0, t0 = cpu_seconds(pid), time.time()
        for t in threads:
            t.start()
        worst = 0.0
        increments = []
        while any(t.is_alive() for t in threads):
            _, longest = map(float, driver.call("timesend", "main", 0, 0, 10))
            worst = max(worst, longest)
            # WM_TIMER 1 as the repaint timer sends it: paints what arrived
            # since the last paint (the incremental paint).
            increments.append(float(driver.call("timesend", "main", 0x0113, 1, 1)[1]))
            time.sleep(0.05)
        busy = percent(cpu0, cpu_seconds(pid), time.time() - t0)
        time.sleep(1.0)
        picture(display, "paint_bench_stream.png")
        log = saved_log(driver, q, "stream")
        if log is None:
            lines.append("| two channels streaming | the log was not written |")
            return
        tails = [payloads[0].endswith(channel_bytes(log, 1)[-5000:]), payloads[1].endswith(channel_bytes(log, 3)[-5000:])]
        lines.append(f"| two channels at {rate} bytes/s each for {seconds} s: longest UI answer | {worst:.1f} ms "
                     f"(timer period 300 ms) |")
        lines.append(f"| same stream: incremental paint (repaint timer tick, about 50 ms of new bytes), mean / longest "
                     f"of {len(increments)} | {sum(increments) / len(increments):.1f} ms / {max(increments):.1f} ms |")
        lines.append(f"| same stream: CPU of the Quorrin process | {busy:.1f} % of one core |")
        lines.append(f"| same stream: last 5,000 bytes of CH1 and CH2 in the capture match what was sent | "
                     f"{tails[0] and tails[1]} |")
        lines.extend(macro_wait_answers(driver, q))
    finally:
        benchkit.stop_quorrin(run, 30)


def main():
    lines, notes = [], []
    benchkit.measure_under_wine(lambda display: measure(display, lines), notes, 1920, 1080)
    benchkit.write_results(
        RESULTS, "Main data view benchmarks",
        [f"Measured {time.strftime('%Y-%m-%d')} by bench/paint_bench.py: Quorrin.exe under Wine 8 in a "
         "1920 x 1080 virtual desktop on Xvfb (software rendering), 2-core machine. Repaint times are the "
         "round trip of a sent WM_COMMAND 144, timed in qdriver with QueryPerformanceCounter; they include Wine's "
         "copy of the whole window surface to the X screen, which the empty capture shows alone. Timed once "
         "inside the program (not kept in the code), the WM_PAINT handler itself took about 10 ms for the full "
         "buffer and 1.5 ms for the empty grid."],
        notes, ["| figure | result |", "|---|---|"] + lines)


if __name__ == "__main__":
    main()
