#!/usr/bin/env python3
"""Record to Disk and the readers of recordings, written to
bench/results/recording.md:

- receive rate of CH1 and CH2 at once, as fast as the ptys take it, for
  SECONDS seconds, in a run of the program without recording and in one
  that records everything (/record): the two should be within 5 %;
- CPU of the Quorrin process and of its wineserver at 92,160 bytes/s on
  each channel (921,600 baud), with and without recording; what recording
  adds; the bytes on disk per data byte recorded;
- memory (resident set of the Quorrin process) every 10 s through a
  recording of MEMORY_SECONDS at 2 x 92,160 bytes/s: it should stay flat;
- a recording of RECORD_MB megabytes made here by this script's own writer
  of the documented format (64 MB files, 100-byte chunks on CH1 and CH2):
  "/export" of all of it to CSV (MB of recording per second) and of a
  one-minute slice; Open Recording's first screen, Go to End and a move of
  the scroll bar's thumb to the middle, each timed from the command to the
  window's next message handled, and the memory they add.

Run after scripts/build.sh: /usr/bin/python3 bench/record_bench.py
(SECONDS=20, MEMORY_SECONDS=120 and RECORD_MB=1024 by default; set
BENCH_SECONDS, BENCH_MEMORY_SECONDS, BENCH_RECORD_MB to change them,
BENCH_RESULTS to write elsewhere).
"""
import os
import platform
import shutil
import struct
import subprocess
import sys
import time
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import benchkit  # noqa: E402
from benchkit import Writer, cpu_seconds, harness, percent, quorrin_pid, say, wineserver_pid  # noqa: E402
from throughput_bench import cpu_text  # noqa: E402
from test_recording import read_recording  # noqa: E402

RESULTS = benchkit.results_path("recording.md")
SECONDS = float(os.environ.get("BENCH_SECONDS", "20"))
MEMORY_SECONDS = float(os.environ.get("BENCH_MEMORY_SECONDS", "120"))
RECORD_MB = int(os.environ.get("BENCH_RECORD_MB", "1024"))
SETTINGS = {"moji_type": 1, "rs_comport": 3, "rs_comport2": 4}
WORK = harness.E2E / "run" / "record-bench"


def rss_kb(pid):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def folder_bytes(folder):
    return sum(p.stat().st_size for p in Path(folder).glob("*.qrec"))


def stream(run, peers, rate, seconds):
    """Writes both channels for `seconds`; (bytes/s each, CPU of Quorrin, CPU of its wineserver, bytes)."""
    pid, server = quorrin_pid(run.q), wineserver_pid(run.wine)
    writers = [Writer(p.link_peer, seconds, rate) for p in peers]
    start_cpu, start_server, start = cpu_seconds(pid), cpu_seconds(server), time.time()
    for w in writers:
        w.start()
    for w in writers:
        w.join(seconds + 30)
    time.sleep(1.5)  # the receive threads take in what is still queued
    took = time.time() - start
    rates = [w.written / w.elapsed for w in writers]
    written = sum(w.written for w in writers)
    for w in writers:
        w.close()
    return rates, percent(start_cpu, cpu_seconds(pid), took), percent(start_server, cpu_seconds(server), took), written


def program_runs(display, rows):
    """The receive rate and CPU without and with recording, and memory through a longer recording."""
    folder = WORK / "rec"
    figures = {}
    for recording in (0, 1):
        shutil.rmtree(folder, ignore_errors=True)
        run = benchkit.QuorrinRun()
        try:
            benchkit.start_wine(run, display)
            args = ["/record", str(harness.to_windows_path(folder))] if recording else []
            benchkit.start_quorrin(run, ["rec3", "rec4"], "record-bench-run", SETTINGS, args=args)
            harness.open_ports(run.driver)
            label = "recording" if recording else "not recording"
            rates, q_cpu, s_cpu, written = stream(run, run.pairs, None, SECONDS)
            figures[recording] = sum(rates)
            rows.append(f"| CH1 and CH2 at once, as fast as the ptys take it, {label}, {SECONDS:.0f} s | "
                        f"{rates[0]:,.0f} + {rates[1]:,.0f} = {sum(rates):,.0f} bytes/s | {cpu_text(q_cpu, s_cpu)} |")
            print(rows[-1], flush=True)
            rates, q_cpu, s_cpu, slow = stream(run, run.pairs, 92160, SECONDS)
            figures[(recording, "cpu")] = q_cpu + s_cpu
            rows.append(f"| CH1 and CH2 at 92,160 bytes/s each, {label}, {SECONDS:.0f} s | "
                        f"{rates[0]:,.0f} + {rates[1]:,.0f} bytes/s | {cpu_text(q_cpu, s_cpu)} |")
            print(rows[-1], flush=True)
            if recording:
                # Wait for the writer's next turn, then weigh what reached the disk.
                time.sleep(1.0)
                on_disk = folder_bytes(folder)
                recorded = sum(len(d) for path in sorted(folder.glob("*.qrec"))
                               for kind, _, d in read_recording(path)[0] if kind in (1, 3))
                rows.append(f"| what the recording holds | {recorded:,} of the {written + slow:,} bytes written to "
                            f"the ptys | {on_disk:,} bytes in {len(list(folder.glob('*.qrec')))} files: "
                            f"{on_disk / max(recorded, 1):.4f} bytes on disk per data byte |")
                print(rows[-1], flush=True)
                pid = quorrin_pid(run.q)
                samples = [rss_kb(pid)]
                writers = [Writer(p.link_peer, MEMORY_SECONDS, 92160) for p in run.pairs]
                for w in writers:
                    w.start()
                end = time.time() + MEMORY_SECONDS
                while time.time() < end:
                    time.sleep(10)
                    samples.append(rss_kb(pid))
                for w in writers:
                    w.join(30)
                    w.close()
                rows.append(f"| memory through {MEMORY_SECONDS:.0f} s of recording at 2 x 92,160 bytes/s "
                            f"(resident KB every 10 s) | {', '.join(f'{s:,}' for s in samples)} | "
                            f"first to last {samples[-1] - samples[0]:+,} KB |")
                print(rows[-1], flush=True)
        finally:
            benchkit.stop_quorrin(run)
    if 0 in figures and 1 in figures:
        rows.append(f"| receive rate recording / not recording | {figures[1] / figures[0] * 100:.1f} % | |")
        rows.append(f"| CPU that recording adds at 2 x 92,160 bytes/s | "
                    f"{figures[(1, 'cpu')] - figures[(0, 'cpu')]:+.1f} % of one core | |")


def write_big_recording(folder, megabytes):
    """megabytes of recording in 64 MB files: 100-byte chunks, CH1 and CH2
    received in turn, one every 100 µs; returns the chunks written."""
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    data = [bytes((i * 7 + k) & 0xFF for k in range(100)) for i in range(256)]
    per_file = 64 << 20
    entry = 11 + 100
    per_block = 65536 // entry
    chunk, total, f = 0, 0, 0
    while total < megabytes << 20:
        seconds = chunk // 10000
        header = bytearray(224)
        header[:8] = b"QREC" + struct.pack("<HH", 1, 224)
        header[8:15] = struct.pack("<HBBBBB", 2026, 12, 9, 8 + seconds // 3600, seconds // 60 % 60, seconds % 60)
        struct.pack_into("<q", header, 16, 1_000_000 + seconds * 1_000_000)
        for ch in range(2):
            struct.pack_into("<IBBBBBBH", header, 24 + 96 * ch, 921600, 8, 0, 0, 0, 0, 0, 3 + ch)
        struct.pack_into("<I", header, 216, zlib.crc32(bytes(header[:216])))
        parts, size = [bytes(header)], 224
        while size < per_file and total + size < megabytes << 20:
            payload = b"".join(struct.pack("<BHq", 1 + 2 * (n & 1), 100, 1_000_000 + n * 100) + data[n & 255]
                               for n in range(chunk, chunk + per_block))
            head = b"QBLK" + struct.pack("<IIIq", len(payload), per_block, zlib.crc32(payload),
                                         1_000_000 + chunk * 100)
            parts += [head, struct.pack("<I", zlib.crc32(head)), payload]
            size += 28 + len(payload)
            chunk += per_block
        (folder / f"quorrin-20261209-{8 + seconds // 3600:02d}{seconds // 60 % 60:02d}{seconds % 60:02d}.qrec"
         ).write_bytes(b"".join(parts))
        total += size
        f += 1
    return chunk, total


def reader_runs(display, rows):
    run = benchkit.QuorrinRun()
    try:
        benchkit.start_wine(run, display)
        benchkit.start_quorrin(run, ["rec3", "rec4"], "record-bench-read", SETTINGS)
        q, driver = run.q, run.driver
        # In the folder Open Recording starts in, so the chooser takes bare names.
        folder = q.path("recordings")
        start = time.time()
        chunks, total = write_big_recording(folder, RECORD_MB)
        say(f"wrote {total:,} bytes of recording in {time.time() - start:.0f} s")
        mb = total / (1 << 20)
        out = WORK / "out.csv"
        WORK.mkdir(parents=True, exist_ok=True)
        for label, extra in (("all of it", []), ("a one-minute slice, from 0:30 to 1:30 after the start",
                                                  ["/from", "30", "/to", "90"])):
            t0 = time.time()
            code, err = q.command_line("/export", "recordings", str(harness.to_windows_path(out)), *extra,
                                       timeout=3600)
            took = time.time() - t0
            size = out.stat().st_size if out.exists() else 0
            rows.append(f"| /export of {mb:,.0f} MB of recording ({chunks:,} chunks) to CSV, {label} | "
                        f"{took:.1f} s: {mb / took:,.1f} MB of recording per second | exit {code} {err}; "
                        f"{size:,} bytes of CSV |")
            print(rows[-1], flush=True)
            out.unlink(missing_ok=True)
        names = sorted(p.name for p in folder.glob("*.qrec"))
        pid = quorrin_pid(q)
        before = rss_kb(pid)

        def timed(action):
            t0 = time.time()
            action()
            driver.call("send", "main", 0, 0, 0)  # WM_NULL: answered once the window is back in its loop
            return time.time() - t0

        def command(cmd):
            # Sent, not posted: a sent message goes before posted ones, so
            # the answer comes once the command has run.
            return timed(lambda: driver.call("send", "main", 0x0111, cmd, 0))

        driver.command(182)
        opened = timed(lambda: driver.file_dialog(" ".join(f'"{n}"' for n in names)))
        rows.append(f"| Open Recording, all {len(names)} files ({mb:,.0f} MB): first screen, from the chooser's OK | "
                    f"{opened * 1000:.0f} ms | |")
        end = command(148)
        rows.append(f"| Go to End | {end * 1000:.0f} ms | |")
        middle = timed(lambda: driver.call("send", "main", 0x0115, (5000 << 16) | 4, 0))
        rows.append(f"| the scroll bar's thumb to the middle | {middle * 1000:.0f} ms | |")
        back = command(147)
        rows.append(f"| one scroll step up from there (the window before) | {back * 1000:.0f} ms | |")
        start = command(149)
        rows.append(f"| Go to Beginning | {start * 1000:.0f} ms | |")
        rows.append(f"| memory the open recording adds (resident) | {rss_kb(pid) - before:+,} KB | |")
        print("\n".join(rows[-6:]), flush=True)
    finally:
        benchkit.stop_quorrin(run)
        shutil.rmtree(harness.E2E / "run" / "record-bench-read" / "recordings", ignore_errors=True)


def main():
    rows, notes = [], []
    benchkit.measure_under_wine(lambda display: (program_runs(display, rows), reader_runs(display, rows)), notes)
    benchkit.write_results(
        RESULTS, "Recording benchmarks",
        [f"Measured {time.strftime('%Y-%m-%d')} by bench/record_bench.py on {platform.node()} "
         f"({os.cpu_count()} cores, {platform.machine()}, Linux {platform.release()}): Quorrin.exe under Wine 8 "
         "on Xvfb, each port a socat pty pair whose far end a Python thread writes with numbered lines; rate = "
         "bytes written / seconds written. CPU is user + system time of the Quorrin process and of its wineserver "
         f"from /proc. Load average when the results were written: {os.getloadavg()[0]:.1f} (other work shares "
         "this machine)."],
        notes, ["| run | figure | notes |", "|---|---|---|"] + rows)


if __name__ == "__main__":
    main()
