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
from benchkit import harness, lacking_note, missing, pair, say  # noqa: E402

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


def dialog_closed(driver):
    try:
        driver.call("dialog", TITLE, 0)
        return False
    except harness.DriverError:
        return True


def measure(display, rows):
    display.start()
    wine = harness.WinePrefix(harness.PREFIX, display.name)
    wine.ensure()
    p3 = peer = driver = q = None
    try:
        p3 = pair("macro3")
        peer = os.open(str(p3.link_peer), os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        wine.set_ports({"COM3": p3.app_path})
        driver = harness.Driver(wine)
        q = harness.Quorrin(wine, harness.E2E / "run" / "macro_bench", settings={"moji_type": 1})
        q.start()
        driver.main_window()
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
            harness.wait_for(lambda: dialog_closed(driver), 10)
    finally:
        if q:
            try:
                driver.call("close", "main")
                q.wait_exit(20)
            except Exception:
                q.kill()
        if driver:
            driver.close()
        wine.stop_server()
        if peer is not None:
            os.close(peer)
        if p3:
            p3.close()


def main():
    rows, notes = [], []
    lacking = missing(benchkit.WINE_TOOLS, benchkit.WINE_FILES)
    if lacking:
        notes.append(lacking_note("every figure", lacking))
    else:
        display = harness.Display()
        try:
            measure(display, rows)
        except Exception as e:  # noqa: BLE001 - what was measured is still written
            notes.append(f"the run stopped: {type(e).__name__}: {e}")
            say(notes[-1])
        finally:
            display.stop()
    header = ["# Macro step rate", "",
              f"Measured {time.strftime('%Y-%m-%d')} by bench/macro_bench.py: Quorrin.exe under Wine 8 on Xvfb, CH1 "
              "on a socat pty; time from the run button's click to the end message, as the test driver sees it.", ""]
    header += [f"- {n}." for n in notes] + ([""] if notes else [])
    header += ["| macro | time | rate | notes |", "|---|---|---|---|"]
    RESULTS.write_text("\n".join(header + rows) + "\n")
    print(RESULTS.read_text())


if __name__ == "__main__":
    main()
