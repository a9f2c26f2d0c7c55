"""End-to-end harness: the real Quorrin.exe under Wine, on Xvfb, with its COM
ports backed by socat pseudo-terminal pairs whose far ends Python holds.
The Wine, display, pty and driver pieces live in scripts/winehost.py; this
file adds one run of Quorrin in a program directory of its own, the
settings and log file helpers, and the waits the tests share.

Every check waits for the effect it asserts, polling with a deadline: the
driver's "command", "post" and "click" only post a message, and a message
sent afterwards (any read of a window's state) is handled before posted ones
still queued, so nothing posted may be assumed done until its effect shows
(the window, the file, the toolbar state, the bytes, the pixels).
"""
import hashlib
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
from winehost import (BUILD, ROOT, WIN_BUILD, Display, Driver, DriverError, PtyPair,  # noqa: E402,F401
                      WinePrefix, to_windows_path)

PREFIX = BUILD / "wineprefix"
E2E = BUILD / "e2e"
# The test prefix opens PDF files with a stand-in handler that writes the
# path it was asked to open into this file (the prefix's set-up registers it).
PDF_OPENED = E2E / "pdf-opened.txt"


def pdf_stand_in():
    return rf'C:\windows\system32\cmd.exe /c echo %1> "{to_windows_path(PDF_OPENED)}"'


class Quorrin:
    """One run of Quorrin.exe in a program directory of its own."""

    def __init__(self, prefix, program_dir, settings=None, messages=True, env=None, programs=True, args=(),
                 preexec=None):
        """env: variables that this run of Quorrin alone gets on top of the
        prefix's environment (LANG, LC_ALL, ... for its locale). programs:
        False leaves the emptied folder for the caller to fill (a package
        unpacked there). preexec: run in the child before Wine starts (its
        resource limits)."""
        self.dir = Path(program_dir)
        if self.dir.exists():
            shutil.rmtree(self.dir)
        self.dir.mkdir(parents=True)
        if programs:
            shutil.copy(WIN_BUILD / "Quorrin.exe", self.dir / "Quorrin.exe")
            shutil.copy(WIN_BUILD / "pivotle.exe", self.dir / "pivotle.exe")
        if messages and programs:
            shutil.copy(WIN_BUILD / "quorrin_char2.ini", self.dir / "quorrin_char2.ini")
        if settings is not None:
            write_settings(self.dir / "quorrin.ini", settings)
        self.prefix = prefix
        self.env = dict(env or {})
        self.args = list(args)
        self.preexec = preexec
        self.proc = None

    def start(self):
        env = self.prefix.env()
        env.update(self.env)
        self.proc = subprocess.Popen(["wine", str(self.dir / "Quorrin.exe"), *self.args], cwd=self.dir,
                                     env=env, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL, start_new_session=True, preexec_fn=self.preexec)
        return self

    def wait_exit(self, timeout=30):
        return self.proc.wait(timeout)

    def kill(self):
        if self.proc and self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGKILL)
            self.proc.wait(10)

    def path(self, name):
        return self.dir / name

    def windows_path(self, name):
        return to_windows_path(self.dir / name)

    def command_line(self, *args, timeout=120):
        """Quorrin.exe with args run from the program directory as a shell
        would run it: (exit code, the program's own lines on standard error;
        Wine's "fixme:" and such left out)."""
        r = subprocess.run(["wine", str(self.path("Quorrin.exe")), *args], cwd=self.dir, env=self.prefix.env(),
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
        lines = [line for line in r.stderr.decode("utf-8", "replace").splitlines()
                 if line and not line.startswith(("fixme:", "err:", "warn:", "wine:"))]
        return r.returncode, lines


def locale_env(name):
    """The environment of a user whose locale is `name` ("ko_KR.UTF-8"), for
    Quorrin(env=...): a first start, with no quorrin.ini yet, takes its
    language from it. LC_ALL outranks the LC_MESSAGES and LANG that Wine reads
    the interface language from, whatever the shell running the tests set."""
    return {"LANG": name, "LC_ALL": name}


JAPANESE_USER = locale_env("ja_JP.UTF-8")


def write_settings(path, values):
    lines = ["[Setting]"] + [f"{k}={v}" for k, v in values.items()]
    Path(path).write_text("\r\n".join(lines) + "\r\n", encoding="ascii")


def read_settings(path):
    """Keys and values of quorrin.ini in file order."""
    raw = Path(path).read_bytes()
    text = raw.decode("utf-16") if raw[:2] == b"\xff\xfe" else raw.decode("latin-1")
    items = []
    for line in text.splitlines():
        if "=" in line and not line.startswith("["):
            k, v = line.split("=", 1)
            items.append((k, v))
    return items


def wait_for(predicate, timeout=10.0, step=0.05):
    deadline = time.time() + timeout
    while time.time() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return predicate()


def holds_for(predicate, seconds, step=0.05):
    """True when predicate() stays true for the whole `seconds`: a bounded
    check that nothing changes, for a state that must stay as it is."""
    deadline = time.time() + seconds
    while time.time() < deadline:
        if not predicate():
            return False
        time.sleep(step)
    return bool(predicate())


TB_GETSTATE = 0x0412
TBSTATE_ENABLED = 4
CMD_SAVE_LOG, CMD_LOAD_LOG, CMD_REPAINT, CMD_OPEN_PORTS, CMD_CLOSE_PORTS = 141, 142, 144, 158, 159
TOOLBAR_CLOSE_PORTS = 1117  # enabled while a channel is open


def toolbar_enabled(driver, button):
    toolbar = driver.call("child", "main", 1000)[0]
    return bool(int(driver.call("send", toolbar, TB_GETSTATE, button, 0)[0]) & TBSTATE_ENABLED)


def open_ports(driver, timeout=10.0):
    """Runs the open command and returns once it has finished (the close
    button of the toolbar is enabled), with no message box shown."""
    driver.command(CMD_OPEN_PORTS)
    assert wait_for(lambda: toolbar_enabled(driver, TOOLBAR_CLOSE_PORTS), timeout), "the ports did not open"
    driver.no_message_box(300)


def close_ports(driver, timeout=10.0):
    """Runs the close command and returns once it has finished: the command
    closes every channel (its receive thread ended) before it refreshes the
    toolbar, so the close button grays only then."""
    driver.command(CMD_CLOSE_PORTS)
    assert wait_for(lambda: not toolbar_enabled(driver, TOOLBAR_CLOSE_PORTS), timeout), "the ports did not close"


def texts():
    """The message table: number -> [Japanese, English, Korean, Chinese]."""
    table = {}
    for line in (ROOT / "resources" / "texts" / "messages.tsv").read_text(encoding="utf-8").splitlines():
        if line and not line.startswith("#"):
            cols = line.split("\t")
            table[int(cols[0])] = cols[1:]
    return table


def text_number(name):
    """The number of a named message text (kTextNotLog ...), as the
    program's message number list in settings/message_text.h gives it."""
    source = (ROOT / "settings" / "message_text.h").read_text(encoding="utf-8")
    m = re.search(r"\b" + name + r"\s*=\s*(\d+)", source)
    assert m, f"no message text named {name}"
    return int(m.group(1))


def message(names, language=1, *fields, path=None):
    """What a box of the named message texts shows in `language` (0
    Japanese, 1 English, 2 Korean, 3 Chinese): the texts one a line,
    formatted with `fields`, then `path` on a line of its own."""
    table = texts()
    lines = [table[text_number(n) if isinstance(n, str) else n][language] for n in names]
    # C's %ls, %lld and %lu are Python's %s and %d.
    form = re.sub(r"%([-+ #0]*\d*)l{1,2}([sdu])", lambda m: "%" + m.group(1) + ("s" if m.group(2) == "s" else "d"),
                  "\n".join(lines))
    text = form % fields if fields else form.replace("%%", "%")
    return text + "\n" + str(path) if path is not None else text


# Windows that the tests of more than one feature open: the color setting
# dialog, the preset strings send window and the macro dialog.
CMD_COLORS, CMD_PRESET_SEND, CMD_MACRO = 174, 151, 152
PRESET_CH1, PRESET_CLOSE = 251, 271  # the preset window's first CH1 button, its close button
MACRO_NAME, MACRO_RUN = 321, 251     # the macro dialog's file name field, its run button


def open_color_dialog(driver, title="Color setting"):
    driver.command(CMD_COLORS)
    hwnd, _ = driver.call("dialog", title, 10000, timeout=20)
    return hwnd


def open_preset_window(driver, message=None, command=CMD_PRESET_SEND):
    """Opens the window; `message` is the (caption, text) its load shows first."""
    driver.command(command)
    if message:
        driver.expect_message(*message)
    hwnd, _ = driver.call("dialog", texts()[70][1], 10000, timeout=20)
    return hwnd


def press(driver, window, button):
    driver.call("press", window, button)


def open_macro_dialog(driver):
    driver.command(CMD_MACRO)
    return driver.call("dialog", texts()[82][1], 10000, timeout=20)[0]


def run_macro_file(driver, dlg, name):
    driver.call("settext", dlg, MACRO_NAME, name)
    driver.call("click", dlg, MACRO_RUN)


# Log files: a 32-byte header ("%015d\r" in UTF-16LE, the record count),
# then 8 bytes a record: kind, 0, data byte, second marker character, the
# position in the chunk, three zeros.

def parse_log(data):
    header = data[:32].decode("utf-16-le")
    count = int(header[:15])
    records = [data[32 + 8 * i:40 + 8 * i] for i in range(count)]
    return header, count, records


def log_complete(path):
    """The log file exists and holds as many records as its header says
    (Quorrin writes the header, then the records)."""
    try:
        data = Path(path).read_bytes()
        return len(data) >= 32 and len(data) == 32 + 8 * int(data[:30].decode("utf-16-le"))
    except (OSError, ValueError, UnicodeDecodeError):
        return False


def log_path(q, name):
    return q.path(name if name.lower().endswith(".log") else name + ".log")


def save_log(driver, q, name, timeout=15.0):
    """Saves the capture through the save dialog; returns the path once the
    file is whole."""
    driver.command(CMD_SAVE_LOG)
    driver.file_dialog(name)
    path = log_path(q, name)
    assert wait_for(lambda: log_complete(path), timeout), f"{path} was not written whole"
    return path


def load_log(driver, name):
    driver.command(CMD_LOAD_LOG)
    driver.file_dialog(name)


def received(records, kind):
    """The data bytes of the records of one kind (1: CH1 received, 2: CH1
    sent, 3: CH2 received, 4: CH2 sent)."""
    return bytes(r[2] for r in records if r[0] == kind)


def _save_or_refusal(driver, name, deadline):
    """Runs the save command: True once the save dialog took the name, or
    (caption, text) of the message that came instead (an empty capture)."""
    driver.command(CMD_SAVE_LOG)
    while time.time() < deadline:
        try:
            driver.file_dialog(name, 500)
            return True
        except DriverError:
            pass
        try:
            hwnd, caption, text = driver.message_box(200)
        except DriverError:
            continue
        driver.answer(hwnd, 1)
        return caption, text
    raise AssertionError("the save command showed neither its dialog nor a message")


def save_log_when(driver, q, name, ready, timeout=20.0):
    """Saves the capture as a log until ready(records) holds, and returns
    that log's path. Bytes written to a pty reach the capture once a receive
    thread has taken them, which nothing on the screen says for sure, so a
    test that needs them there asks the capture itself. The first save is
    name.log, the later ones name-2.log, name-3.log, ...; a save refused
    while the capture is still empty counts as not ready."""
    deadline = time.time() + timeout
    attempt, last = 0, "nothing saved"
    while True:
        attempt += 1
        this = name if attempt == 1 else f"{name}-{attempt}"
        outcome = _save_or_refusal(driver, this, deadline + 10)
        if outcome is True:
            path = log_path(q, this)
            assert wait_for(lambda: log_complete(path), 15), f"{path} was not written whole"
            records = parse_log(path.read_bytes())[2]
            if ready(records):
                return path
            last = f"{path.name} holds {len(records)} records"
        else:
            last = f"the save was refused with {outcome}"
        if time.time() > deadline:
            raise AssertionError(f"the capture did not get ready within {timeout} s: {last}")
        time.sleep(0.2)


def log_records(driver, q, name):
    """(kind, data byte) of every record of the capture, saved as name.log."""
    _, _, records = parse_log(save_log(driver, q, name).read_bytes())
    return [(r[0], r[2]) for r in records]


def file_closed(driver, path):
    """True once no program holds the file open: Quorrin writes its files
    with no sharing, so the driver can open the file alone only when the
    writing is over. (This ends any lock the test held.)"""
    try:
        driver.call("lock", to_windows_path(path))
    except DriverError:
        return False
    driver.call("unlock")
    return True


def written_file(driver, path, timeout=10.0):
    """The bytes of a file Quorrin is writing, once it exists and is closed."""
    path = Path(path)
    assert wait_for(lambda: path.exists() and file_closed(driver, path), timeout), f"{path} was not written"
    return path.read_bytes()


def after_posted(driver):
    """Returns once every command posted to the main window before it has
    been handled: posted messages are handled in order, so it posts one
    more command whose effect shows (the ASCII table opens a new window of
    its own) and waits for that window, then closes it."""
    before = {w.split("|")[0] for w in driver.call("windows")}
    driver.command(173)
    new = wait_for(lambda: [w.split("|")[0] for w in driver.call("windows") if w.split("|")[0] not in before], 10)
    assert new, "the ASCII table command posted last was not handled"
    for hwnd in new:
        driver.call("close", hwnd)
    assert wait_for(lambda: not {w.split("|")[0] for w in driver.call("windows")} & set(new), 10)


# Screenshots. What Quorrin paints reaches the X screen a little later
# (Wine copies each window's surface to it), so a test that reads pixels
# takes pictures until the one it needs is there, within a deadline.

SCREENSHOTS = E2E / "screenshots"


def _screen_digest(display):
    grab = subprocess.run(["import", "-display", display.name, "-window", "root", "rgb:-"], capture_output=True,
                          timeout=60)
    return hashlib.sha1(grab.stdout).hexdigest()


def screenshot(display, name, driver=None, settle=3.0):
    """Saves screenshots/<name>.png for people to look at, once two pictures
    in a row are alike (or after `settle` seconds, as a screen that keeps
    changing never settles). With the driver, the main window is first moved
    to a known place, whatever cascade Wine chose."""
    if driver:
        driver.call("move", "main", 0, 0, 1000, 700)
    deadline = time.time() + settle
    last = _screen_digest(display)
    while time.time() < deadline:
        time.sleep(0.1)
        now = _screen_digest(display)
        if now == last:
            break
        last = now
    return display.screenshot(SCREENSHOTS / f"{name}.png")


def screen_until(take, ready, timeout=10.0):
    """Calls take() (which takes a picture and reads what the test needs
    from it) until ready(result) holds or the time is up; returns the last
    result, for the test to assert on."""
    deadline = time.time() + timeout
    while True:
        result = take()
        if ready(result) or time.time() > deadline:
            return result
        time.sleep(0.1)


def shot_until(display, name, ready, driver=None, timeout=10.0):
    """Takes screenshots/<name>.png until ready(path) holds or the time is
    up; returns its path. With the driver, the main window is first moved
    to a known place."""
    if driver:
        driver.call("move", "main", 0, 0, 1000, 700)
    path = SCREENSHOTS / f"{name}.png"
    return screen_until(lambda: display.screenshot(path), ready, timeout)


def pixel(shot, x, y):
    out = subprocess.run(["convert", str(shot), "-crop", f"1x1+{x}+{y}", "-depth", "8", "txt:-"],
                         capture_output=True, text=True, check=True).stdout
    rgb = out.splitlines()[1].split("(")[1].split(")")[0].split(",")
    return tuple(int(float(v)) for v in rgb[:3])


def colors_in(shot, x, y, w, h):
    out = subprocess.run(["convert", str(shot), "-crop", f"{w}x{h}+{x}+{y}", "-depth", "8", "txt:-"],
                         capture_output=True, text=True, check=True).stdout
    found = set()
    for line in out.splitlines()[1:]:
        rgb = line.split("(")[1].split(")")[0].split(",")
        found.add(tuple(int(float(v)) for v in rgb[:3]))
    return found


class Shot:
    """One region of a screenshot, read once."""

    def __init__(self, path, x, y, w, h):
        ppm = subprocess.run(["convert", str(path), "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-depth", "8", "ppm:-"],
                             capture_output=True, check=True).stdout
        fields, pos = [], 0
        while len(fields) < 4:  # P6, width, height, maxval
            while ppm[pos:pos + 1].isspace():
                pos += 1
            end = pos
            while not ppm[end:end + 1].isspace():
                end += 1
            fields.append(ppm[pos:end])
            pos = end
        self.w, self.h = int(fields[1]), int(fields[2])
        self.data = ppm[pos + 1:]

    def at(self, x, y):
        i = 3 * (y * self.w + x)
        return tuple(self.data[i:i + 3])

    def count(self, x, y, w, h, test):
        return sum(1 for j in range(y, y + h) for i in range(x, x + w) if test(self.at(i, j)))


def ink(rgb):
    return sum(rgb) < 450


def client_shot(display, driver, hwnd, name):
    """A screenshot of a window's client area as a Shot."""
    path = display.screenshot(SCREENSHOTS / f"{name}.png")
    left, top, right, bottom = map(int, driver.call("client", hwnd))
    return Shot(path, left, top, right - left, bottom - top)


def status_bar_sample(driver):
    """A point inside part 2 of the status bar, right of its short text."""
    bar = driver.call("child", "main", 1001)[0]
    left, top, right, bottom = map(int, driver.call("rect", bar))
    return left + 124, (top + bottom) // 2


def main_background_sample(driver):
    """A point of the client area right of the data view's grid."""
    left, top, right, bottom = map(int, driver.call("client", "main"))
    return right - 3, (top + bottom) // 2


# Helpers several test files share: whether a dialog is up, a restart in
# another theme, the Modbus CRC the tests compute on their own, and a port
# taken from the system's serial port list for a while.

XOFF, XON = b"\x13", b"\x11"
ANSWER_MS = 250  # the longest answer allowed in a test; the bench measures the real one


def answer_ms(driver, window):
    """The longest of three answers to a sent WM_NULL, in milliseconds."""
    _, longest = map(float, driver.call("timesend", window, 0, 0, 3, timeout=40))
    return longest


def assert_answering(driver, windows, seconds=1.0):
    """Every window answers within ANSWER_MS, again and again for a while."""
    worst = 0
    deadline = time.time() + seconds
    while time.time() < deadline:
        for w in windows:
            worst = max(worst, answer_ms(driver, w))
    assert worst < ANSWER_MS, f"a window took {worst} ms to answer"


def no_message_box(driver):
    """True when no message box comes within 100 ms; one that does is
    answered, and then False (for holds_for: no notice for a while)."""
    try:
        hwnd, _, _ = driver.message_box(100)
    except DriverError:
        return True
    driver.answer(hwnd, 1)
    return False


def dialog_shown(driver, title):
    """True while a dialog with this title is up (asked once, no wait)."""
    try:
        driver.call("dialog", title, 0)
        return True
    except DriverError:
        return False


def dialog_closed(driver, title):
    """True once no dialog with this title is up, for wait_for."""
    return not dialog_shown(driver, title)


def restart_in_theme(driver, q, theme=1):
    """Closes Quorrin, writes its theme file dkm.ini as "dkm=<theme>" (1 dark
    with the menu bar, 3 dark without it), starts it again and returns its
    main window."""
    driver.call("close", "main")
    q.wait_exit(20)
    q.path("dkm.ini").write_bytes(b"\xff\xfe" + f"dkm={theme}\r\n".encode("utf-16-le"))
    q.start()
    return driver.main_window()


def crc16_modbus(data):
    """CRC-16/MODBUS of the bytes (initial FFFF, reflected polynomial A001),
    as a number: the low byte goes first on the wire."""
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


SERIALCOMM = r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM"


def remove_serial_port(wine, port):
    """Takes `port` (e.g. "COM3") out of the system's serial port list, as a
    device unplugged, and returns the name of its value there, which
    restore_serial_port needs to put it back."""
    listing = wine.run("wine", "reg", "query", SERIALCOMM).stdout
    name = next(line.split()[0] for line in listing.splitlines() if line.strip().endswith(port))
    wine.run("wine", "reg", "delete", SERIALCOMM, "/v", name, "/f")
    return name


def restore_serial_port(wine, name, port):
    """Puts `port` back in the system's serial port list under its value `name`."""
    wine.run("wine", "reg", "add", SERIALCOMM, "/v", name, "/t", "REG_SZ", "/d", port, "/f")


class Device(threading.Thread):
    """The far end of COM3: keeps every byte it receives and answers each
    request line after a short delay, as an instrument that takes its time."""

    def __init__(self, pty, answers, delay=0.8):
        super().__init__(daemon=True)
        self.pty, self.answers, self.delay = pty, answers, delay
        self.wire, self.pending = b"", b""
        self.stopping = threading.Event()
        self.lock = threading.Lock()

    def run(self):
        while not self.stopping.is_set():
            r, _, _ = select.select([self.pty.fd], [], [], 0.05)
            if not r:
                continue
            try:
                data = os.read(self.pty.fd, 4096)
            except BlockingIOError:
                continue
            with self.lock:
                self.wire += data
            self.pending += data
            for request, answer in self.answers.items():
                while request in self.pending:
                    self.pending = self.pending.replace(request, b"", 1)
                    time.sleep(self.delay)
                    self.answer(answer)

    def answer(self, answer):
        """Puts one answer on the line; a pty passes it at once."""
        self.pty.write(answer)

    def reset(self, answers):
        with self.lock:
            self.answers, self.wire = answers, b""

    def received(self):
        with self.lock:
            return self.wire

    def stop(self):
        self.stopping.set()
        self.join(5)
