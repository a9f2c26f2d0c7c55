"""Where received chunks end, on the real program under Wine, with the
receive thread waiting for the first byte of each chunk with a read.

The read interval time-out set in the DCB and timeouts dialog decides where
a chunk that is not full ends, counted from the chunk's first byte; bytes
already queued are cut into chunks of 100 bytes in order, whatever their
number, and the capture they go into is in time order."""
import csv
import io
import os
import time

import harness
from harness import dialog_closed, save_log_when, written_file

ENGLISH = {"moji_type": 1}
CMD_DCB_CH1, CMD_EXPORT = 163, 176
READ_INTERVAL, READ_MULTIPLIER, READ_CONSTANT = 335, 336, 337


def set_read_timeouts(driver, interval, multiplier, constant):
    driver.command(CMD_DCB_CH1)
    dlg = driver.call("dialog", "DCB&TIME_Setting for CH1", 10000, timeout=20)[0]
    for cid, value in ((READ_INTERVAL, interval), (READ_MULTIPLIER, multiplier), (READ_CONSTANT, constant)):
        driver.call("settext", dlg, cid, str(value))
    driver.call("click", dlg, 251)
    assert harness.wait_for(lambda: dialog_closed(driver, "DCB&TIME_Setting for CH1"), 10)


def export_rows(driver, q, name):
    driver.command(CMD_EXPORT)
    driver.file_dialog(name)
    text = written_file(driver, q.path(name), 15).decode("ascii")
    return list(csv.reader(io.StringIO(text, newline="")))[1:]


def chunks(driver, q, name):
    """(bytes, hex) of every chunk in the CSV export of the capture."""
    return [(int(r[4]), r[5]) for r in export_rows(driver, q, name) if r[2] == "CH1" and r[3] == "RX"]


def test_a_chunk_ends_the_read_interval_after_its_first_byte(app, driver, com3):
    q = app(dict(ENGLISH))
    harness.open_ports(driver)
    # One second between bytes at most, five in all: the interval decides.
    set_read_timeouts(driver, 1000, 0, 5000)
    time.sleep(1.0)  # a quiet line before the device speaks
    com3.write(b"A")
    time.sleep(0.3)  # the device's own pauses: B inside A's interval,
    com3.write(b"B")
    time.sleep(0.9)  # C after it ends but within a second of B
    com3.write(b"C")
    save_log_when(driver, q, "abc", lambda r: harness.received(r, 1) == b"ABC")
    assert chunks(driver, q, "abc.csv") == [(2, "41 42"), (1, "43")]


def test_after_a_full_chunk_the_interval_still_counts_from_the_first_byte(app, driver, com3):
    q = app(dict(ENGLISH))
    harness.open_ports(driver)
    set_read_timeouts(driver, 500, 0, 5000)
    time.sleep(1.0)
    # A full chunk and one byte more in one write: the turn after the full
    # chunk finds "x" queued, and its chunk ends 500 ms after "x".
    com3.write(b"e" * 100 + b"x")
    time.sleep(0.3)
    com3.write(b"y")
    time.sleep(0.4)
    com3.write(b"z")
    save_log_when(driver, q, "exyz", lambda r: harness.received(r, 1) == b"e" * 100 + b"xyz")
    assert chunks(driver, q, "exyz.csv") == [(100, " ".join(["65"] * 100)), (2, "78 79"), (1, "7A")]


def test_queued_bytes_are_cut_into_chunks_of_100_in_order(app, driver, com3, com4):
    q = app(dict(ENGLISH, rs_comport2=4))
    harness.open_ports(driver)
    # 250 bytes at once: two whole chunks and the rest, which the interval
    # time-out ends.
    burst = bytes(range(250))
    com3.write(burst)
    save_log_when(driver, q, "burst", lambda r: harness.received(r, 1) == burst)
    sizes = [n for n, _ in chunks(driver, q, "burst.csv")]
    assert sizes == [100, 100, 50], sizes

    # A long numbered stream on both channels at once arrives whole and in
    # order, in chunks of at most 100 bytes.
    stream = b"".join(b"%09d\n" % i for i in range(3000))
    sent = {com3: 0, com4: 0}
    deadline = time.time() + 60
    while any(n < len(stream) for n in sent.values()):
        assert time.time() < deadline, sent
        for peer in sent:
            if sent[peer] < len(stream):
                try:
                    sent[peer] += os.write(peer.fd, stream[sent[peer]:sent[peer] + 4096])
                except BlockingIOError:
                    pass
        time.sleep(0.001)  # the ptys are full: let Quorrin take some
    log = save_log_when(driver, q, "stream", lambda r: harness.received(r, 1) == burst + stream
                        and harness.received(r, 3) == stream, timeout=60)
    _, _, records = harness.parse_log(log.read_bytes())
    run, longest = 0, 0
    for r in records:
        run = run + 1 if r[0] in (1, 3) else 0
        longest = max(longest, run)
    assert 0 < longest <= 100
    # Both receive threads appended at once, yet the capture is in time
    # order: no chunk's time is before the one above it.
    rows = [r for r in export_rows(driver, q, "stream.csv") if r[3] == "RX"]
    assert len(rows) >= 2 * len(stream) // 100
    backwards = [(i, r[0], r[1]) for i, r in enumerate(rows[1:], 1) if float(r[1]) < 0]
    assert not backwards, backwards[:5]
