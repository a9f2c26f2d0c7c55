"""Faults found in review of Receive File, shown with the real program: each
test fails while its fault is there. The peer is lrzsz's sb on the far end
of CH1's pty, or the test itself."""
import harness
from harness import texts
from test_input_send import SEND_CH1, click, open_window as open_input, type_text
from test_transfer import YMODEM, open_window, peer, ready, start, status, ended

RAW = 0
QUIET_MS = 506  # the raw receive's quiet field


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
    harness.load_log(driver, "old.log")
    box, caption, text = driver.message_box()  # the log has no times file: it says so
    driver.call("answer", box, 1)
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
    type_text(driver, window, "hello")
    click(driver, window, SEND_CH1)
    try:
        _, caption, text = driver.message_box(5000)
    except Exception:  # no message came
        caption = text = None
    went = com3.read(5, timeout=1)
    assert text and text.startswith(texts()[693][1].replace("%d", "1")), (caption, text, went)
    assert b"hello" not in went
