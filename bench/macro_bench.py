#!/usr/bin/env python3
"""Macro step rate of the whole program under Wine, written to
bench/results/macro.md: a macro of LINES lines and PEND is run from the
macro dialog; the time from the run button to the end message (text 22)
gives lines per second, against the nominal 20 (one line per 50 ms tick).
Two macros: comment lines only, and SEND lines (each writes one byte to
CH1, whose far end counts them).

Run after scripts/build.sh: /usr/bin/python3 bench/macro_bench.py
(BENCH_RESULTS writes elsewhere). Without Wine, Xvfb or socat it says what
is missing and writes that instead of figures.
"""
import os
import select
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import benchkit  # noqa: E402
from benchkit import harness  # noqa: E402

RESULTS = benchkit.results_path("macro.md")
LINES = 200
TITLE = "Run Macro"


def drain(fd):
    """Everything the far end holds now, without waiting for more."""
    out = b""
    while select.select([fd], [], [], 0)[0]:
        try:
            chunk = os.read(fd, 65536)
        except BlockingIOError:
            break
        if not chunk:
            break
        out += chunk
    return out


def measure(display, rows):
    run = benchkit.QuorrinRun()
    try:
        benchkit.start_wine(run, display)
        benchkit.start_quorrin(run, ["macro3"], "macro_bench", {"moji_type": 1})
        driver, q, peer = run.driver, run.q, run.pairs[0].fd
        harness.open_ports(driver)
        for name, line in (("comments", "comment line"), ("sends", "SEND 41")):
            q.path(f"{name}.mac").write_bytes(
                b"\xff\xfe" + "".join(f"{line}\r\n" for _ in range(LINES)).encode("utf-16-le") +
                "PEND\r\n".encode("utf-16-le"))
            driver.command(152)
            dlg = driver.call("dialog", TITLE, 10000, timeout=20)[0]
            driver.call("settext", dlg, 321, f"{name}.mac")
            start = time.time()
            driver.call("click", dlg, 251)
            hwnd, _, text = driver.message_box(60000)
            took = time.time() - start
            driver.answer(hwnd, 1)
            sent = drain(peer)
            rows.append(f"| {LINES} {name} + PEND | {took:.2f} s | {(LINES + 1) / took:.1f} lines/s "
                        f"(nominal 20) | bytes on the wire: {len(sent)} |")
            print(rows[-1], flush=True)
            driver.call("click", dlg, 252)
            harness.wait_for(lambda: harness.dialog_closed(driver, TITLE), 10)
    finally:
        benchkit.stop_quorrin(run)


def main():
    rows, notes = [], []
    benchkit.measure_under_wine(lambda display: measure(display, rows), notes)
    benchkit.write_results(
        RESULTS, "Macro step rate",
        [f"Measured {time.strftime('%Y-%m-%d')} by bench/macro_bench.py: Quorrin.exe under Wine 8 on Xvfb, CH1 "
         "on a socat pty; time from the run button's click to the end message, as the test driver sees it."],
        notes, ["| macro | time | rate | notes |", "|---|---|---|---|"] + rows)


if __name__ == "__main__":
    main()
