"""Faults found in review of Send File and Receive File, shown with the real
program: each test fails while its fault is there. The peer is lrzsz (sb,
rb) on the far end of CH1's pty, or the test itself."""
import harness
from harness import DriverError, texts
from test_input_send import SEND_CH1, click, open_window as open_input, type_text
from test_transfer import CANCEL, COUNTS, YMODEM, open_window, peer, ready, start, status, ended

RAW = 0
BYTE_MS, QUIET_MS = 504, 506  # the raw send's pause after each byte, the raw receive's quiet


def send_from_input_window(driver, window):
    """Sends "hello" on CH1 from the Input Send window: the refusal's
    (caption, text), or (None, None) when none came."""
    type_text(driver, window, "hello")
    click(driver, window, SEND_CH1)
    try:
        _, caption, text = driver.message_box(3000)
        return caption, text
    except DriverError:
        return None, None


def test_a_batch_with_one_name_twice_loses_neither_file(app, driver, com3, tmp_path):
    # Two files of one name in one batch (from two folders of the sender):
    # the second must not silently replace the first.
    q = ready(app, driver, com3)
    first, second = b"first file\n" * 50, b"second file\n" * 70
    for folder, data in (("a", first), ("b", second)):
        (tmp_path / folder).mkdir()
        (tmp_path / folder / "same.bin").write_bytes(data)
    q.path("in").mkdir()
    dlg = open_window(driver, False)
    start(driver, dlg, YMODEM, q.windows_path("in"))
    proc = peer(com3, ["sb", "a/same.bin", "b/same.bin"], tmp_path)
    result, _ = ended(driver, dlg, proc)
    kept = {p.read_bytes() for p in q.path("in").iterdir()}
    assert first in kept or not result.startswith("Done"), (result, sorted(p.name for p in q.path("in").iterdir()))
    # Decided: the second is saved under a numbered name, and the window says so.
    assert q.path("in/same.bin").read_bytes() == first and q.path("in/same (2).bin").read_bytes() == second
    assert result == texts()[696][1].replace("%d", "2", 1).replace("%lld", str(len(first) + len(second))) \
        .replace("%ls", "same.bin", 1).replace("%ls", "same (2).bin"), result


def test_a_log_opened_during_a_receive_is_not_taken_for_received_bytes(app, driver, com3):
    # The transfer reads what the channel received from the capture: a log
    # loaded meanwhile puts its own CH1 records there.
    q = ready(app, driver, com3)
    record = lambda b: bytes([1, 0, b, 0, 0, 0, 0, 0])  # CH1 received
    logged = b"FROM-THE-LOG"
    q.path("old.log").write_bytes(("%015d\r" % len(logged)).encode("utf-16-le") + b"".join(map(record, logged)))
    dlg = open_window(driver, False)
    driver.call("settext", dlg, QUIET_MS, "3000")
    start(driver, dlg, RAW, q.windows_path("raw.bin"))
    com3.write(b"LINE-1;")
    assert harness.wait_for(lambda: status(driver, dlg) == texts()[672][1], 20), status(driver, dlg)
    # Open Log is refused while the transfer runs, before any file is chosen.
    driver.command(harness.CMD_LOAD_LOG)
    box, caption, text = driver.message_box()
    driver.call("answer", box, 1)
    assert texts()[693][1].replace("%d", "1") in text and texts()[697][1] in text, (caption, text)
    com3.write(b"LINE-2;")
    assert harness.wait_for(lambda: status(driver, dlg).startswith("Done"), 30), status(driver, dlg)
    assert q.path("raw.bin").read_bytes() == b"LINE-1;LINE-2;"


def test_the_windows_send_is_refused_while_a_receive_runs(app, driver, com3):
    # Typed bytes among a transfer's blocks and answers break it; the window
    # says "CH1 is sending or receiving a file." and sends nothing. Today
    # the refusal comes only while the worker's own write is on its way.
    q = ready(app, driver, com3)
    q.path("in").mkdir()
    window = open_input(driver)
    dlg = open_window(driver, False)
    start(driver, dlg, YMODEM, q.windows_path("in"))
    assert com3.read(1, timeout=10) == b"C"  # the receive has begun: it asks
    caption, text = send_from_input_window(driver, window)
    went = com3.read(5, timeout=1)
    assert text and text.startswith(texts()[693][1].replace("%d", "1")), (caption, text, went)
    assert b"hello" not in went


def test_every_file_chosen_for_a_batch_is_sent(app, driver, com3, tmp_path):
    # Forty files chosen together in the open dialog (whose answer fits its
    # buffer): the window joins them as whole paths into a field of 2,048
    # units, which they overflow. Each must reach the receiver, or the
    # window must refuse the choice before it sends any.
    q = ready(app, driver, com3)
    names = ["transfer_batch_file_%02d.bin" % i for i in range(40)]
    for i, name in enumerate(names):
        q.path(name).write_bytes(b"%d\n" % i * 40)
    joined = sum(len(str(q.windows_path(n))) + 1 for n in names)
    assert len(str(q.dir)) + sum(len(n) + 1 for n in names) < 2000 < joined
    dlg = open_window(driver, True)
    combo = driver.call("child", dlg, 502)[0]
    driver.call("send", combo, 0x014E, YMODEM, 0)  # CB_SETCURSEL
    driver.call("click", dlg, 251)  # Browse
    driver.file_dialog(harness.to_windows_path(q.dir) + "\\", 15000)  # into the folder first: the dialog stays open
    driver.file_dialog(" ".join('"%s"' % n for n in names))
    assert harness.wait_for(lambda: driver.call("gettext", dlg, 503)[0] != "", 10)
    driver.call("click", dlg, 252)  # Start
    proc = peer(com3, ["rb"], tmp_path)
    result, _ = ended(driver, dlg, proc)
    got = sorted(p.name for p in tmp_path.iterdir() if p.name in names)
    # All of them, or none with the window saying why: never a part.
    assert got == names or (not got and not result.startswith(("Done", "Sent"))), (result, len(got))


def test_a_raw_send_reaches_the_peer_without_the_windows_bytes(app, driver, com3):
    # A paced raw send writes a byte at a time; a frame sent from the Input
    # Send window meanwhile lands among the file's bytes, and the send still
    # says it is done.
    q = ready(app, driver, com3)
    data = bytes(range(48, 58)) * 200
    q.path("slow.txt").write_bytes(data)
    window = open_input(driver)
    dlg = open_window(driver, True)
    driver.call("settext", dlg, BYTE_MS, "1")
    start(driver, dlg, RAW, q.windows_path("slow.txt"))
    assert com3.read(10, timeout=10) == data[:10]
    caption, text = send_from_input_window(driver, window)
    got = data[:10] + com3.read(len(data) + 5, timeout=30)
    assert got == data, (caption, text, len(got), got.find(b"hello"))


def test_a_name_of_255_bytes_goes_whole(app, driver, com3, tmp_path):
    # YMODEM carries names of up to 255 bytes; the window made room for 254
    # and called such a file unreadable. In C:\ so the path fits MAX_PATH.
    q = ready(app, driver, com3)
    name = ("n" * 251) + ".bin"
    where = harness.PREFIX / "drive_c" / name
    where.write_bytes(b"long name\n" * 30)
    try:
        dlg = open_window(driver, True)
        start(driver, dlg, YMODEM, "C:\\" + name)
        proc = peer(com3, ["rb"], tmp_path)
        result, code = ended(driver, dlg, proc)
        assert result.startswith(("Done", "Sent")) and code == 0, (result, proc.stderr.read())
        assert (tmp_path / name).read_bytes() == where.read_bytes()
    finally:
        where.unlink()


def test_a_late_end_message_leaves_the_running_transfers_progress(app, driver, com3, tmp_path):
    # An earlier worker's end can reach the window after it started the next
    # transfer; the window then stopped showing that transfer's progress.
    q = ready(app, driver, com3)
    q.path("big.bin").write_bytes(bytes(range(256)) * 4096)
    dlg = open_window(driver, True)
    start(driver, dlg, YMODEM, q.windows_path("big.bin"))
    proc = peer(com3, ["rb"], tmp_path)
    assert harness.wait_for(lambda: status(driver, dlg) == texts()[672][1], 60), status(driver, dlg)
    driver.call("send", dlg, 0x8003, 0, 0)  # the window's "worker ended"
    counts = driver.call("gettext", dlg, COUNTS)[0]
    assert harness.wait_for(lambda: driver.call("gettext", dlg, COUNTS)[0] != counts, 10), counts
    driver.call("click", dlg, CANCEL)
    ended(driver, dlg, proc, timeout=30)
