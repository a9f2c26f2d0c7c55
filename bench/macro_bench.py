#!/usr/bin/env python3
"""Macro step rate of the whole program under Wine, written to
bench/results/macro.md: a macro of LINES lines and PEND is run from the
macro dialog; the time from the run button to the end message (text 22)
gives lines per second, against the nominal 20 (one line per 50 ms tick).
Two macros: comment lines only, and SEND lines (each writes one byte to
CH1, whose far end counts them).

Run after scripts/build.sh: /usr/bin/python3 bench/macro_bench.py
"""
import os
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "bench"))
import harness  # noqa: E402
from throughput_bench import pair  # noqa: E402

RESULTS = ROOT / "bench" / "results" / "macro.md"
LINES = 200


def main():
    display = harness.Display()
    display.start()
    wine = harness.WinePrefix(harness.PREFIX, display.name)
    wine.ensure()
    p3 = pair("macro3")
    peer = os.open(str(p3.link_peer), os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    wine.set_ports({"COM3": p3.app_path})
    driver = harness.Driver(wine)
    q = harness.Quorrin(wine, harness.E2E / "run" / "macro_bench", settings={"moji_type": 1})
    rows = []
    try:
        q.start()
        driver.main_window()
        harness.open_ports(driver)
        for name, line in (("comments", "comment line"), ("sends", "SEND 41")):
            q.path(f"{name}.mac").write_bytes(
                b"\xff\xfe" + "".join(f"{line}\r\n" for _ in range(LINES)).encode("utf-16-le") +
                "PEND\r\n".encode("utf-16-le"))
            driver.command(152)
            dlg = driver.call("dialog", "Run Macro", 10000, timeout=20)[0]
            driver.call("settext", dlg, 321, f"{name}.mac")
            start = time.time()
            driver.call("click", dlg, 251)
            hwnd, _, text = driver.message_box(60000)
            took = time.time() - start
            driver.answer(hwnd, 1)
            sent = b""
            try:
                sent = os.read(peer, 65536)
            except BlockingIOError:
                pass
            rows.append(f"| {LINES} {name} + PEND | {took:.2f} s | {(LINES + 1) / took:.1f} lines/s "
                        f"(nominal 20) | bytes on the wire: {len(sent)} |")
            print(rows[-1], flush=True)
            driver.call("click", dlg, 252)
    finally:
        try:
            driver.call("close", "main")
            q.wait_exit(20)
        except Exception:
            q.kill()
        driver.close()
        wine.stop_server()
        os.close(peer)
        p3.close()
        display.stop()
    header = ["# Macro step rate", "",
              f"Measured {time.strftime('%Y-%m-%d')} by bench/macro_bench.py: Quorrin.exe under Wine 8 on Xvfb, CH1 "
              "on a socat pty; time from the run button's click to the end message, as the test driver sees it.", "",
              "| macro | time | rate | notes |", "|---|---|---|---|"]
    RESULTS.write_text("\n".join(header + rows) + "\n")
    print(RESULTS.read_text())


if __name__ == "__main__":
    main()
