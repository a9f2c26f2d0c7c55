"""Help > Manual: the manual of the chosen language, opened through the
shell's handler for PDF files; here a stand-in handler records what it was
asked to open."""
import harness
from harness import to_windows_path

CMD_MANUAL = 171


def test_manual_command_opens_the_manual_of_the_language(app, driver):
    opened = harness.PDF_OPENED
    for language, name in ((0, "Quorrin_manual.pdf"), (1, "Quorrin_manual_en.pdf")):
        q = app({"moji_type": language})
        for manual in ("Quorrin_manual.pdf", "Quorrin_manual_en.pdf"):
            q.path(manual).write_bytes(b"%PDF-1.4\n")
        opened.unlink(missing_ok=True)
        driver.command(CMD_MANUAL)
        assert harness.wait_for(lambda: opened.exists() and opened.read_bytes().strip(), 15), "nothing was opened"
        asked = opened.read_bytes().decode("utf-8", "replace").strip().strip('"')
        assert asked.lower() == to_windows_path(q.path(name)).lower(), asked
        driver.call("close", "main")
        q.wait_exit(20)

    # No manual beside the program: a notice says so, with the path.
    q = app({"moji_type": 1})
    driver.command(CMD_MANUAL)
    text = driver.expect_message("ShellExecute")
    assert text == harness.message(["kTextManualNotOpened"], 1, path=to_windows_path(q.path("Quorrin_manual_en.pdf")))
