"""The timeline: chunk times kept beside the log, the export of the capture
as CSV from the window and from the command line, and a log loaded without
its times."""
import csv
import io
import subprocess
import time

import harness
from harness import load_log, save_log_when, written_file

ENGLISH = {"moji_type": 1}
CMD_CLEAR, CMD_EXPORT = 145, 176
# A received chunk's time is taken when the receive thread sees its first
# bytes: on a pty it waits with a read that completes as they arrive, so
# the time is right to about a millisecond (the README's precision
# statement). The machine is shared: allow 50 ms for a late thread.
PRECISION_S = 0.050


def rows_of(data):
    assert not data.startswith(b"\xef\xbb\xbf"), "the CSV has no byte order mark"
    text = data.decode("ascii")
    assert text.endswith("\r\n")
    rows = list(csv.reader(io.StringIO(text, newline="")))
    assert rows[0] == ["time_s", "delta_s", "channel", "direction", "bytes", "hex", "text"]
    return rows[1:]


def export(driver, q, name):
    """Runs "Export capture" into name; returns the file's bytes once written."""
    driver.command(CMD_EXPORT)
    driver.file_dialog(name)
    return written_file(driver, q.path(name), 15)


def capture_two_chunks(app, driver, com3, first=b"A"):
    """The peer sends `first`, and 300 ms later "BC"; returns (run, log path)."""
    q = app(dict(ENGLISH))
    harness.open_ports(driver)
    com3.write(first)
    time.sleep(0.3)  # the device's own pause between its two answers
    com3.write(b"BC")
    path = save_log_when(driver, q, "ab", lambda r: harness.received(r, 1) == first + b"BC")
    # The log is whole before its companions are written: wait for them too
    # (the times file at its full size, then the events file, written last).
    # A save made before "BC" arrived is saved again under another name:
    # follow the log that holds them.
    times = q.path(path.name + ".qtimes")
    assert harness.wait_for(lambda: times.exists() and times.stat().st_size == path.stat().st_size and
                            q.path(path.name + ".qevents").exists(), 10), "the save's companion files were not written"
    return q, path


def export_command_line(q, wine, log, out):
    """Quorrin.exe /export log out from the program directory, as a shell
    would run it; returns (exit code, standard error)."""
    r = subprocess.run(["wine", str(q.path("Quorrin.exe")), "/export", log, out], cwd=q.dir, env=wine.env(),
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    # Wine adds its own lines ("fixme:...") to the error stream: keep the program's.
    lines = [line for line in r.stderr.decode("utf-8", "replace").splitlines()
             if line and not line.startswith(("fixme:", "err:", "warn:", "wine:"))]
    return r.returncode, lines


def test_export_times_survive_save_clear_and_load(app, driver, com3):
    q, log = capture_two_chunks(app, driver, com3)
    assert q.path(log.name + ".qtimes").stat().st_size == 32 + (log.stat().st_size - 32)

    rows = rows_of(export(driver, q, "first.csv"))
    # The port's opening is an event row of its own before the chunks.
    assert float(rows[0][0]) < 0 and rows[0][1:] == ["", "CH1", "EV", "", "", "opened COM3"], rows[0]
    rows = rows[1:]
    assert [(r[2], r[3], r[4], r[5], r[6]) for r in rows] == [
        ("CH1", "RX", "1", "41", "A"), ("CH1", "RX", "2", "42 43", "BC")]
    assert rows[0][0] == "0.000000" and rows[0][1] == ""
    assert abs(float(rows[1][1]) - 0.300) <= PRECISION_S, rows[1]
    assert rows[1][0] == rows[1][1]

    # The readable text of the same capture: byte order mark, the wall time
    # of the first chunk, one line per chunk.
    text = export(driver, q, "first.txt")
    assert text.startswith(b"\xef\xbb\xbf")
    lines = text[3:].decode("utf-8").split("\r\n")
    assert len(lines[0]) == 26 and lines[0][4] == "-" and lines[0][10] == " "
    chunk_lines = [line for line in lines[1:] if line]
    assert len(chunk_lines) == 3 and chunk_lines[0].endswith("CH1 EV  opened COM3")
    assert chunk_lines[2].endswith("CH1 RX      2  42 43  BC")

    harness.close_ports(driver)
    driver.command(CMD_CLEAR)
    driver.expect_message("Message", "Clear all captured data?", button=6)
    load_log(driver, log.name)
    # The load is done once the export holds the loaded chunks again.
    deadline = time.time() + 20
    attempt = 0
    while True:
        attempt += 1
        driver.command(CMD_EXPORT)
        try:
            driver.file_dialog(f"again{attempt}.csv", 3000)
        except harness.DriverError:
            driver.expect_message("Quorrin", "There is no data to export.", timeout_ms=3000)
            assert time.time() < deadline, "the log did not load"
            continue
        again = rows_of(written_file(driver, q.path(f"again{attempt}.csv"), 15))
        break
    # The saved events came back with the log (the opening before the
    # chunks), and the load is an event of its own after them.
    assert again[0][2:] == ["CH1", "EV", "", "", "opened COM3"]
    assert again[-1][2:] == ["", "EV", "", "", "loaded"]
    again = again[1:-1]
    assert [r[:2] for r in again] == [r[:2] for r in rows]
    assert again == rows


def test_command_line_export_and_a_log_without_its_times(app, driver, wine, com3):
    # Two bytes first: the very first chunk of a capture gets gap digits
    # only when it is longer than one byte.
    q, log = capture_two_chunks(app, driver, com3, b"Hi")
    window_rows = rows_of(export(driver, q, "window.csv"))

    code, err = export_command_line(q, wine, log.name, "line.csv")
    assert (code, err) == (0, [])
    assert rows_of(q.path("line.csv").read_bytes()) == window_rows

    # Without the times file the export still has every chunk; its silences
    # come from the gap digits, in tenths of a second.
    q.path(log.name + ".qtimes").rename(q.path("kept.qtimes"))
    code, err = export_command_line(q, wine, log.name, "digits.csv")
    assert code == 0
    assert err == [f"{log.name}: No times file lies beside this log."]
    rows = rows_of(q.path("digits.csv").read_bytes())
    assert [(r[0], r[2], r[4], r[5]) for r in rows] == [("", "CH1", "2", "48 69"), ("", "CH1", "2", "42 43")]
    assert rows[0][1] == "" and rows[1][1] in ("0.2", "0.3", "0.4"), rows[1]

    # Loaded in the window: one notice, and every record is there.
    harness.close_ports(driver)
    load_log(driver, log.name)
    notice = driver.expect_message("ReadFile")
    assert notice.split("\n") == ["No times file lies beside this log.",
                                  "Precise times are unknown; silences come from the gap digits.",
                                  harness.to_windows_path(log)]
    assert harness.holds_for(lambda: harness.no_message_box(driver), 1.0), "a second notice came"
    again = harness.save_log(driver, q, "reloaded")
    assert again.read_bytes() == log.read_bytes()

    # Failures: one line and exit code 1.
    q.path("notalog.log").write_bytes(b"hello, this is not a log file at all")
    code, err = export_command_line(q, wine, "notalog.log", "x.csv")
    assert code == 1 and len(err) == 1 and err[0].startswith("notalog.log: This is not a log file"), err
    code, err = export_command_line(q, wine, log.name, "no-such-folder\\x.csv")
    assert code == 1 and err == ["no-such-folder\\x.csv: The file could not be opened or created."], err
    code, err = export_command_line(q, wine, log.name, "")
    assert code == 1 and len(err) == 1, err
    code, err = export_command_line(q, wine, "missing.log", "x.csv")
    assert code == 1 and err == ["missing.log: The file could not be opened or created."], err
    assert not q.path("x.csv").exists()

    # Without the message text file the export still runs; a failure then
    # says that the texts are missing.
    q.path("quorrin_char2.ini").rename(q.path("texts.kept"))
    code, err = export_command_line(q, wine, log.name, "bare.csv")
    assert code == 0 and rows_of(q.path("bare.csv").read_bytes())[1][5] == "42 43"
    assert len(err) == 1 and "The message text file is missing:" in err[0], err
    code, err = export_command_line(q, wine, "notalog.log", "x.csv")
    assert code == 1 and len(err) == 1 and err[0].startswith("notalog.log: The message text file is missing:"), err
