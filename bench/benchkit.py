"""Pieces the whole-program benchmarks share: where results go, what the
machine lacks, a pty writer that never blocks for good, CPU figures from
/proc, one run of Quorrin under Wine set up and taken down the same way
for every benchmark, and the results page each one writes.

A benchmark never hangs and never fails silently for want of a tool: it
says what it lacks, skips the figures that need it, and writes what it
could measure. Every write to and read from a pty is bounded by select
and a deadline, as a pty that nobody reads takes a blocking write forever.
"""
import os
import select
import shutil
import subprocess
import sys
import threading
import time
import tty
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import harness  # noqa: E402

# BENCH_RESULTS puts the results elsewhere (a trial run keeps the recorded ones).
RESULTS_DIR = Path(os.environ.get("BENCH_RESULTS", ROOT / "bench" / "results"))

# What running Quorrin under Wine on a virtual screen with pty ports takes.
WINE_TOOLS = ["wine", "wineserver", "Xvfb", "socat", "pgrep"]
WINE_FILES = [harness.WIN_BUILD / "Quorrin.exe", harness.WIN_BUILD / "qdriver.exe"]


def results_path(name):
    RESULTS_DIR.mkdir(parents=True, exist_ok=True)
    return RESULTS_DIR / name


def missing(tools=(), files=()):
    """Names of the programs not on PATH and the files that do not exist."""
    lacking = [t for t in tools if shutil.which(t) is None]
    lacking += [str(f) for f in files if not Path(f).exists()]
    return lacking


def say(text):
    print(text, file=sys.stderr, flush=True)


def lacking_note(what, lacking):
    """One line for the results and stderr: which figures were skipped and why."""
    text = f"{what}: not measured; this machine lacks {', '.join(lacking)}"
    say(text)
    return text


def cpu_seconds(pid):
    """User + system time of a process, or None once it is gone."""
    try:
        fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    except OSError:
        return None
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def pids_of(pattern):
    out = subprocess.run(["pgrep", "-f", pattern], capture_output=True, text=True).stdout
    return [int(p) for p in out.split()]


def quorrin_pid(q):
    """This run's Quorrin process (others may run on a shared machine):
    the one started from its own program directory."""
    found = pids_of(str(q.dir / "Quorrin.exe"))
    return found[-1] if found else None


def wineserver_pid(prefix):
    """The wineserver of this prefix, told from others by its WINEPREFIX or
    by its folder (Wine names it server-<device>-<inode> of the prefix)."""
    want = f"WINEPREFIX={prefix.path}".encode()
    st = os.stat(prefix.path)
    folder = f"server-{st.st_dev:x}-{st.st_ino:x}"
    for pid in pids_of("wineserver"):
        try:
            if want in Path(f"/proc/{pid}/environ").read_bytes().split(b"\0") or \
                    os.readlink(f"/proc/{pid}/cwd").endswith(folder):
                return pid
        except OSError:
            pass
    return None


def percent(cpu_before, cpu_after, seconds):
    if cpu_before is None or cpu_after is None or seconds <= 0:
        return float("nan")
    return (cpu_after - cpu_before) / seconds * 100


def numbered(first, count, width=10):
    return b"".join(b"%0*d\n" % (width - 1, i) for i in range(first, first + count))


def numbered_stream(write, seconds, rate, written, line=10):
    """Writes the numbered stream in blocks of about 4 kB with write(data)
    (which returns False to stop) for `seconds`, paced at `rate` bytes/s
    when given (written() says how many bytes went out so far); returns
    the seconds it wrote."""
    block_lines = 4096 // line
    start = time.time()
    n = 0
    while time.time() - start < seconds:
        if not write(numbered(n, block_lines, line)):
            break
        n += block_lines
        if rate:
            delay = start + written() / rate - time.time()
            if delay > 0:
                time.sleep(delay)
    return max(time.time() - start, 1e-6)


class Writer(threading.Thread):
    """Writes a numbered stream ("%09d\\n" lines) into a pty's peer end for
    `seconds`, as fast as the pty takes it (or paced at `rate` bytes/s).
    The writes wait for room with select; when the reader takes nothing for
    `stall` seconds the writer gives up and says so (`stalled`), so a reader
    that is gone or never came cannot hold it."""

    LINE = 10

    def __init__(self, peer_path, seconds, rate=None, stall=5.0):
        super().__init__(daemon=True)
        self.fd = os.open(str(peer_path), os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        tty.setraw(self.fd)
        self.seconds, self.rate, self.stall = seconds, rate, stall
        self.written, self.elapsed, self.stalled = 0, 0.0, False

    def _write_all(self, data):
        view = memoryview(data)
        last = time.time()
        while view:
            try:
                n = os.write(self.fd, view)
            except BlockingIOError:
                n = 0
            if n:
                view, last = view[n:], time.time()
                self.written += n
                continue
            if time.time() - last > self.stall:
                self.stalled = True
                return False
            select.select([], [self.fd], [], 0.1)
        return True

    def run(self):
        self.elapsed = numbered_stream(self._write_all, self.seconds, self.rate, lambda: self.written)

    def rate_text(self):
        text = f"{self.written / self.elapsed:,.0f} bytes/s"
        if self.stalled:
            text += f" (the reader took nothing for {self.stall:.0f} s: stopped)"
        return text

    def close(self):
        try:
            os.close(self.fd)
        except OSError:
            pass


def pair(name):
    """A socat pty pair under build/e2e/pty; the benchmark opens its peer end itself."""
    work = harness.E2E / "pty"
    work.mkdir(parents=True, exist_ok=True)
    p = harness.PtyPair(work, name)
    os.close(p.fd)
    return p


def saved_log(driver, q, name, timeout=30.0):
    """Saves the capture as name.log; its path once whole, or None."""
    driver.command(harness.CMD_SAVE_LOG)
    driver.file_dialog(name)
    path = q.path(name + ".log")
    return path if harness.wait_for(lambda: harness.log_complete(path), timeout) else None


def received_by_channel(log):
    _, _, records = harness.parse_log(Path(log).read_bytes())
    return {1: harness.received(records, 1), 3: harness.received(records, 3)}


class QuorrinRun:
    """What a benchmark holds while Quorrin runs under Wine: the prefix, the
    pty pairs behind COM3 and COM4 (in that order; each pair's `fd` is its
    far end, raw and non-blocking), the descriptors that hold their app ends
    open so a far end never sees a hang-up, the test driver and the program.
    start_wine and start_quorrin fill it a piece at a time and stop_quorrin
    ends whatever of it there is, so a run that stopped half way is taken
    down too."""

    def __init__(self):
        self.wine = None
        self.pairs = []
        self.holders = []
        self.driver = None
        self.q = None


def start_wine(run, display, prefix=harness.PREFIX):
    """The Wine prefix on this display, made ready for Quorrin."""
    run.wine = harness.WinePrefix(prefix, display.name)
    run.wine.ensure()


def start_quorrin(run, names, program_dir, settings, env=None, args=()):
    """Makes a socat pty pair for each name, registers them as COM3 (and
    COM4), holds their app ends open, starts Quorrin in
    build/e2e/run/<program_dir> with these settings (and `env`'s variables
    added to its environment, and `args` on its command line) and waits for
    its main window."""
    work = harness.E2E / "pty"
    work.mkdir(parents=True, exist_ok=True)
    for name in names:
        run.pairs.append(harness.PtyPair(work, name))
    for p in run.pairs:
        run.holders.append(os.open(p.app_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK))
    run.wine.set_ports({f"COM{3 + k}": p.app_path for k, p in enumerate(run.pairs)})
    run.driver = harness.Driver(run.wine)
    run.q = harness.Quorrin(run.wine, harness.E2E / "run" / program_dir, settings=settings, env=env, args=args)
    run.q.start()
    run.driver.main_window()


def stop_quorrin(run, timeout=20):
    """Closes Quorrin's main window and waits `timeout` seconds for the
    program to end (kills it otherwise), then ends the driver, the wine
    server, the held app ends and the pty pairs: whatever the run got to."""
    if run.q:
        try:
            run.driver.call("close", "main")
            run.q.wait_exit(timeout)
        except Exception:  # noqa: BLE001 - a program that does not close is killed
            run.q.kill()
    if run.driver:
        run.driver.close()
    if run.wine:
        run.wine.stop_server()  # before socat goes, or Wine floods stderr
    for fd in run.holders:
        os.close(fd)
    for p in run.pairs:
        p.close()


def measure_under_wine(measure, notes, width=1920, height=1080):
    """Calls measure(display) with a virtual screen of its own, when this
    machine has what running Quorrin under Wine takes. Otherwise, or when
    the run stops on an error, a note in `notes` says what the machine
    lacks or where the run stopped (what was measured until then is kept by
    measure itself)."""
    lacking = missing(WINE_TOOLS, WINE_FILES)
    if lacking:
        notes.append(lacking_note("every figure", lacking))
        return
    display = harness.Display()
    try:
        display.start(width, height)
        measure(display)
    except Exception as e:  # noqa: BLE001 - what was measured is still written
        notes.append(f"the run stopped: {type(e).__name__}: {e}")
        say(notes[-1])
    finally:
        display.stop()


def write_results(path, title, paragraphs, notes, table):
    """Writes a results page and prints it: the title, the paragraphs that
    say how it was measured, the notes as a list ("- note."), then the
    table's lines (its head and rows)."""
    lines = [f"# {title}", ""]
    for paragraph in paragraphs:
        lines += [paragraph, ""]
    lines += [f"- {n}." for n in notes] + ([""] if notes else [])
    path.write_text("\n".join(lines + table) + "\n")
    print(path.read_text())
