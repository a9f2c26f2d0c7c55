"""The Windows package: unpacked into an empty folder, Quorrin starts from
there with its texts, and a theme change restarts it through pivotle from
that folder."""
import struct
import subprocess
import zipfile
from xml.etree import ElementTree
from pathlib import Path

import harness
from harness import ROOT, texts

CMD_CLEAR, CMD_THEME = 145, 168


def package():
    version = (ROOT / "VERSION").read_text().strip()
    r = subprocess.run([str(ROOT / "scripts" / "package.sh")], capture_output=True, text=True, timeout=600)
    assert r.returncode == 0, r.stdout + r.stderr
    return ROOT / "build" / "dist" / f"Quorrin-{version}-win64.zip", version


def assert_version_resource(data, version):
    """The program's VERSIONINFO: the fixed part's file and product versions,
    and its strings, all of them VERSION."""
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    assert at > 0, "no version resource"
    words = [int(w) for w in version.split(".")] + [0, 0, 0, 0]
    ms, ls = words[0] << 16 | words[1], words[2] << 16 | words[3]
    assert struct.unpack_from("<IIIII", data, at + 4)[1:] == (ms, ls, ms, ls)
    for key, value in (("FileVersion", version), ("ProductVersion", version), ("ProductName", "Quorrin")):
        pair = key.encode("utf-16-le") + b"\0\0"
        assert pair in data, key
        rest = data[data.index(pair) + len(pair):]
        assert rest.lstrip(b"\0")[:2 * len(value)] == value.encode("utf-16-le"), key


def assert_manifest(data, version, name):
    """The program's manifest: common controls 6, per-monitor DPI awareness
    v2 with its fallbacks, the supported Windows versions up to 10 and 11,
    no code page of its own, and VERSION as its version."""
    start, end = data.find(b"<assembly "), data.find(b"</assembly>")
    assert 0 < start < end, "no manifest"
    root = ElementTree.fromstring(data[start:end + len(b"</assembly>")])
    v1, v3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
    identity = root.find(f"{v1}assemblyIdentity")
    words = (version.split(".") + ["0"] * 4)[:4]
    assert identity.get("name") == f"Quorrin.{name}" and identity.get("version") == ".".join(words)
    controls = root.find(f"{v1}dependency/{v1}dependentAssembly/{v1}assemblyIdentity")
    assert (controls.get("name"), controls.get("version")) == ("Microsoft.Windows.Common-Controls", "6.0.0.0")
    settings = {e.tag.split("}")[1]: e.text for e in root.find(f"{v3}application/{v3}windowsSettings")}
    assert settings == {"dpiAware": "true/pm", "dpiAwareness": "PerMonitorV2, PerMonitor"}
    compatibility = "{urn:schemas-microsoft-com:compatibility.v1}"
    supported = {e.get("Id") for e in root.iter(f"{compatibility}supportedOS")}
    assert "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}" in supported and len(supported) == 4


def test_unpacked_package_starts_with_its_texts_and_restarts_after_a_theme_change(display, wine, driver):
    zip_path, version = package()
    with zipfile.ZipFile(zip_path) as z:
        names = sorted(z.namelist())
        folder = f"Quorrin-{version}/"
        assert {"Quorrin.exe", "pivotle.exe", "quorrin_char2.ini", "README.txt", "LICENSE.txt"} <= \
            {n[len(folder):] for n in names if n.startswith(folder)}, names
        assert all(n.startswith(folder) for n in names)
        q = harness.Quorrin(wine, harness.E2E / "run" / "package" / folder, programs=False)
        z.extractall(q.dir.parent)
    assert sorted(p.name for p in q.dir.iterdir()) == sorted(n[len(folder):] for n in names)
    for program in ("Quorrin.exe", "pivotle.exe"):
        assert_version_resource((q.dir / program).read_bytes(), version)
        assert_manifest((q.dir / program).read_bytes(), version, program[:-4])
    assert b"\r\n" in (q.dir / "LICENSE.txt").read_bytes() and b"the Quorrin authors" in (q.dir / "LICENSE.txt").read_bytes()
    q.start()
    try:
        driver.main_window()
        # The message text file was found: no notice, and a message in the
        # language of this first start shows its text.
        assert harness.holds_for(lambda: harness.no_message_box(driver), 2.0)
        driver.command(CMD_CLEAR)
        hwnd, caption, text = driver.message_box()
        driver.answer(hwnd, 7)
        number = harness.text_number("kTextClearCaptureAsk")
        assert text in texts()[number], text
        language = texts()[number].index(text)

        driver.command(CMD_THEME)
        dlg = driver.call("dialog", texts()[261][language], 10000, timeout=20)[0]
        driver.call("send", driver.call("child", dlg, 201)[0], 0x00F1, 1, 0)  # dark mode
        driver.call("click", dlg, 251)
        q.wait_exit(20)
        assert (q.dir / "dkm.ini").read_bytes() == b"\xff\xfe" + "dkm=1\r\n".encode("utf-16-le")
        driver.main_window(30000)  # pivotle started Quorrin again, from the package folder
        exe = str(q.dir / "Quorrin.exe")
        assert harness.wait_for(lambda: exe in running_programs(), 10), running_programs()
        harness.screenshot(display, "package_restarted_dark", driver)
    finally:
        try:
            driver.call("close", "main")
            driver.call("gone", 20000, timeout=30)
        except harness.DriverError:
            pass
        q.kill()


def running_programs():
    """The Quorrin.exe files that running processes have mapped (Wine maps
    a program's file into its process, so this tells which copy runs)."""
    found = set()
    pids = subprocess.run(["pgrep", "-f", "Quorrin.exe"], capture_output=True, text=True).stdout.split()
    for pid in pids:
        try:
            maps = Path(f"/proc/{pid}/maps").read_text()
        except OSError:
            continue
        found |= {line.split(None, 5)[5] for line in maps.splitlines()
                  if line.endswith("Quorrin.exe") and len(line.split(None, 5)) == 6}
    return found
