"""Send File and Receive File on CH1 against lrzsz (sx, rx, sb, rb) on the
far end of its pty, the independent implementation: XMODEM, XMODEM-1K and
YMODEM both ways with a 200 KB random file, a macro that sends by YMODEM,
and Cancel in the middle of a transfer ending both sides."""
import os
import random
import subprocess

import pytest

import harness
from harness import texts
from test_auto_answer import short_read_interval

CMD_SEND_FILE, CMD_RECEIVE_FILE = 190, 191
START, CANCEL = 252, 253
FILE, COUNTS, STATUS = 407, 408, 410
PROTOCOL, PATH = 502, 503
CB_SETCURSEL = 0x014E
XMODEM, XMODEM_1K, YMODEM = 1, 2, 3
SIZE = 200 * 1024


def random_bytes(size, seed):
    data = bytearray(random.Random(seed).randbytes(size))
    data[-1] = 0x55  # not the padding byte: XMODEM's end is then exact
    return bytes(data)


PEERS = []  # the lrzsz programs a test started; none outlives it


@pytest.fixture(autouse=True)
def no_peer_left():
    yield
    while PEERS:
        proc = PEERS.pop()
        if proc.poll() is None:
            proc.kill()
            proc.wait(10)


def peer(com3, args, cwd):
    """An lrzsz program with its standard input and output on the peer end."""
    fd = os.open(os.path.realpath(com3.link_peer), os.O_RDWR | os.O_NOCTTY)
    try:
        PEERS.append(subprocess.Popen(args, stdin=fd, stdout=fd, stderr=subprocess.PIPE, cwd=cwd))
        return PEERS[-1]
    finally:
        os.close(fd)


def ready(app, driver, com3):
    q = app({"moji_type": 1})
    harness.open_ports(driver)
    short_read_interval(driver)
    return q


def open_window(driver, sending):
    driver.command(CMD_SEND_FILE if sending else CMD_RECEIVE_FILE)
    title = texts()[650 if sending else 651][1]
    return driver.call("dialog", title, 10000, timeout=20)[0]


def start(driver, dlg, protocol, path):
    combo = driver.call("child", dlg, PROTOCOL)[0]
    driver.call("send", combo, CB_SETCURSEL, protocol, 0)
    driver.call("settext", dlg, PATH, path)
    driver.call("click", dlg, START)


def status(driver, dlg):
    return driver.call("gettext", dlg, STATUS)[0]


def ended(driver, dlg, proc, timeout=120):
    """Waits for the window's result and the peer's exit: (status, exit code)."""
    table = texts()
    finals = (table[673][1].split("%")[0], table[692][1].split("%")[0], "Failed", table[677][1])
    assert harness.wait_for(lambda: status(driver, dlg).startswith(finals) and proc.poll() is not None, timeout), \
        (status(driver, dlg), proc.poll())
    return status(driver, dlg), proc.returncode


def test_sends_by_each_protocol_to_lrzsz(app, driver, display, com3, tmp_path):
    q = ready(app, driver, com3)
    data = random_bytes(SIZE, 1)
    q.path("out.bin").write_bytes(data)
    dlg = open_window(driver, True)
    for protocol, args in ((XMODEM, ["rx", "-c", "got.bin"]), (XMODEM_1K, ["rx", "-c", "got.bin"]),
                           (YMODEM, ["rb"])):
        where = tmp_path / str(protocol)
        where.mkdir()
        start(driver, dlg, protocol, q.windows_path("out.bin"))
        proc = peer(com3, args, where)
        result, code = ended(driver, dlg, proc)
        # lrzsz flushes its output as it exits, which on a pty can take its
        # last ACK with it: the window then says the end went unanswered.
        assert result in ("Done: 1 files, %d bytes" % SIZE,
                          "Sent: 1 files, %d bytes; the receiver did not answer the end" % SIZE), \
            (protocol, result, proc.stderr.read())
        assert code == 0, proc.stderr.read()
        if protocol == YMODEM:
            assert (where / "out.bin").read_bytes() == data
        else:  # rx keeps the padding up to a whole block
            got = (where / "got.bin").read_bytes()
            assert got[:SIZE] == data and set(got[SIZE:]) <= {0x1A} and len(got) % 128 == 0
    harness.screenshot(display, "transfer_sent")


def test_receives_by_each_protocol_from_lrzsz(app, driver, display, com3, tmp_path):
    q = ready(app, driver, com3)
    data = random_bytes(SIZE, 2)
    (tmp_path / "dev.bin").write_bytes(data)
    (q.path("in")).mkdir()
    dlg = open_window(driver, False)
    for protocol, args, into in ((XMODEM, ["sx", "dev.bin"], "x.bin"), (XMODEM_1K, ["sx", "-k", "dev.bin"], "k.bin"),
                                 (YMODEM, ["sb", "dev.bin"], "in")):
        start(driver, dlg, protocol, q.windows_path(into))
        proc = peer(com3, args, tmp_path)
        result, code = ended(driver, dlg, proc)
        assert result.startswith("Done: 1 files"), (protocol, result, proc.stderr.read())
        assert code == 0, proc.stderr.read()
        got = q.path("in/dev.bin" if protocol == YMODEM else into).read_bytes()
        assert got == data, (protocol, len(got))
    harness.screenshot(display, "transfer_received")


def test_a_macro_sends_a_file_by_ymodem_to_rb(app, driver, com3, tmp_path):
    q = ready(app, driver, com3)
    data = random_bytes(50 * 1024, 3)
    q.path("fw.bin").write_bytes(data)
    lines = ["XSND Y,ERR,'fw.bin'", "SEND 'SENT'", "PEND", ":ERR", "SEND 'FAIL'", "PEND"]
    q.path("update.txt").write_bytes(b"\xff\xfe" + "".join(line + "\r\n" for line in lines).encode("utf-16-le"))
    proc = peer(com3, ["rb"], tmp_path)
    dlg = harness.open_macro_dialog(driver)
    harness.run_macro_file(driver, dlg, "update.txt")
    assert harness.wait_for(lambda: proc.poll() is not None, 60), "rb did not finish"
    assert proc.returncode == 0, proc.stderr.read()
    assert (tmp_path / "fw.bin").read_bytes() == data
    driver.expect_message("Quorrin", texts()[22][1], timeout_ms=30000)
    assert com3.read(4, timeout=5) == b"SENT"


def test_cancel_ends_both_sides(app, driver, display, com3, tmp_path):
    q = ready(app, driver, com3)
    q.path("big.bin").write_bytes(random_bytes(4 * 1024 * 1024, 4))
    dlg = open_window(driver, True)
    start(driver, dlg, YMODEM, q.windows_path("big.bin"))
    proc = peer(com3, ["rb"], tmp_path)
    assert harness.wait_for(lambda: status(driver, dlg) == texts()[672][1], 60), status(driver, dlg)
    assert proc.poll() is None
    driver.call("click", dlg, CANCEL)
    result, code = ended(driver, dlg, proc, timeout=30)
    assert result == texts()[677][1]
    assert code != 0  # rb saw CAN CAN and gave up
    harness.screenshot(display, "transfer_cancelled")
    # The window takes the next transfer.
    assert harness.wait_for(lambda: driver.call("enabled", dlg, START)[0] == "1", 10)
