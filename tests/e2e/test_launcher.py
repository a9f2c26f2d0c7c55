"""The launcher's mapping of serial adapters to COM ports, on ptys named as
the adapters would be: no hardware needed, no Wine started."""
import os
import subprocess
import sys

import harness

LAUNCH = harness.ROOT / "scripts" / "launch.py"


def mapping(devices, sys_dir, *options):
    r = subprocess.run([sys.executable, str(LAUNCH), "--list", "--devices", str(devices), "--sys", str(sys_dir),
                        *options], capture_output=True, text=True, timeout=60)
    assert r.returncode == 0, r.stderr
    return [line.split(" ", 1) for line in r.stdout.splitlines()]


def test_adapters_become_com_ports_in_number_order(tmp_path):
    devices, sys_dir = tmp_path / "dev", tmp_path / "sys"
    devices.mkdir()
    held = []
    # Each name is a real pty; ttyS1 has no UART behind it, so it is left out.
    for name, uart in (("ttyUSB10", None), ("ttyUSB2", None), ("ttyACM0", None), ("ttyS10", "4"), ("ttyS1", "0"),
                       ("ttyS0", "4")):
        main, sub = os.openpty()
        held += [main, sub]
        (devices / name).symlink_to(os.ttyname(sub))
        if uart is not None:
            (sys_dir / name).mkdir(parents=True)
            (sys_dir / name / "type").write_text(uart + "\n")
    try:
        d = str(devices)
        assert mapping(devices, sys_dir) == [
            ["COM3", f"{d}/ttyUSB2"], ["COM4", f"{d}/ttyUSB10"], ["COM5", f"{d}/ttyACM0"],
            ["COM6", f"{d}/ttyS0"], ["COM7", f"{d}/ttyS10"]]
        # --demo puts the simulated instrument on COM3 and leaves the USB adapters out.
        assert mapping(devices, sys_dir, "--demo") == [
            ["COM3", "simulated instrument"], ["COM4", f"{d}/ttyS0"], ["COM5", f"{d}/ttyS10"]]
        # No USB adapter: the simulated instrument takes COM3, the UARTs follow.
        for name in ("ttyUSB10", "ttyUSB2", "ttyACM0"):
            (devices / name).unlink()
        assert mapping(devices, sys_dir) == [
            ["COM3", "simulated instrument"], ["COM4", f"{d}/ttyS0"], ["COM5", f"{d}/ttyS10"]]
        # The environment names the folders as well.
        env = dict(os.environ, QUORRIN_DEVICES=d, QUORRIN_SYS_TTY=str(tmp_path / "none"))
        r = subprocess.run([sys.executable, str(LAUNCH), "--list"], capture_output=True, text=True, env=env, timeout=60)
        assert r.stdout.splitlines() == ["COM3 simulated instrument"], r.stdout + r.stderr
    finally:
        for fd in held:
            os.close(fd)


def test_install_puts_a_command_and_a_desktop_entry_that_start_the_checkout(tmp_path):
    home = tmp_path / "home"
    home.mkdir()
    env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
    env["HOME"] = str(home)
    r = subprocess.run([str(harness.ROOT / "scripts" / "install.sh")], capture_output=True, text=True, env=env,
                       timeout=60)
    assert r.returncode == 0, r.stderr
    command = home / ".local" / "bin" / "quorrin"
    entry = home / ".local" / "share" / "applications" / "quorrin.desktop"
    icon = home / ".local" / "share" / "icons" / "hicolor" / "32x32" / "apps" / "quorrin.png"
    assert os.access(command, os.X_OK)
    fields = dict(line.split("=", 1) for line in entry.read_text().splitlines()[1:])
    assert entry.read_text().startswith("[Desktop Entry]\n")
    assert (fields["Type"], fields["Exec"], fields["Icon"]) == ("Application", str(command), str(icon))
    data = icon.read_bytes()
    assert data.startswith(b"\x89PNG\r\n\x1a\n") and data[16:24] == (32).to_bytes(4, "big") * 2

    # The command runs the checkout's launcher (which sets up and builds
    # first: both find nothing to do here).
    r = subprocess.run([str(command), "--list", "--devices", str(tmp_path / "no-devices")], capture_output=True,
                       text=True, env=env, timeout=300)
    assert r.returncode == 0 and r.stdout.splitlines()[-1] == "COM3 simulated instrument", r.stdout + r.stderr

    r = subprocess.run([str(harness.ROOT / "scripts" / "install.sh"), "--remove"], capture_output=True, text=True,
                       env=env, timeout=60)
    assert r.returncode == 0 and not command.exists() and not entry.exists() and not icon.exists()
