#!/usr/bin/env python3
"""Starts Quorrin under Wine, with its COM ports mapped to this machine's
serial adapters, or to a simulated instrument when there are none.

- USB and ACM adapters (/dev/ttyUSB*, /dev/ttyACM*) become COM3, COM4, ...
  With none, the demo device (scripts/demo_device.py) sits on COM3, CH1's
  default port. Built-in UARTs (/dev/ttyS* that report a UART type) follow.
- With a usable $DISPLAY Quorrin opens there and the launcher waits for it to
  close. Without one it runs on a private Xvfb for a while, saves a
  screenshot, prints where it is, and closes Quorrin.
- The program directory is build/app: settings, logs and the message text
  file live there between runs. The first start there, with no quorrin.ini
  yet, takes its language from the locale (LC_ALL, LC_MESSAGES or LANG,
  passed through to Wine as they are); later starts keep the file's.

Options: --demo forces the simulated device onto COM3; --seconds N sets how
long a run without a display lasts (default 20); --no-open leaves the ports
closed at start; --devices DIR (or QUORRIN_DEVICES) looks for the adapters
in DIR instead of /dev, --sys DIR (QUORRIN_SYS_TTY) for the UART types
instead of /sys/class/tty; --list prints the mapping and stops.
"""
import argparse
import glob
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from winehost import BUILD, ROOT, WIN_BUILD, Display, Driver, DriverError, PtyPair, WinePrefix  # noqa: E402

PREFIX = BUILD / "wineprefix-run"
APP_DIR = BUILD / "app"


def uart_present(dev, sys_dir):
    """A ttyS* counts when the kernel found a UART behind it."""
    try:
        return (Path(sys_dir) / Path(dev).name / "type").read_text().strip() not in ("", "0")
    except OSError:
        return False


def device_number(dev, prefix):
    digits = Path(dev).name[len(prefix):]
    return int(digits) if digits.isdigit() else -1


def find_adapters(dev_dir="/dev", sys_dir="/sys/class/tty"):
    """(USB and ACM adapters, built-in UARTs) in `dev_dir`, each in number order."""
    def named(prefix):
        return sorted(glob.glob(os.path.join(dev_dir, prefix + "*")), key=lambda d: device_number(d, prefix))
    usb = named("ttyUSB") + named("ttyACM")
    uarts = [d for d in named("ttyS") if uart_present(d, sys_dir)]
    return usb, uarts


def port_map(usb, uarts, demo_path=None):
    """COM port name -> device: the demo device (when given) on COM3, then
    the USB and ACM adapters, then the UARTs, numbered on from there."""
    ports = {}
    if demo_path:
        ports["COM3"] = demo_path
    number = 4 if demo_path else 3
    for dev in usb + uarts:
        ports[f"COM{number}"] = dev
        number += 1
    return ports


def display_usable(name):
    if not name:
        return False
    return subprocess.run(["xdpyinfo", "-display", name], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, check=False).returncode == 0


def main():
    parser = argparse.ArgumentParser(description="Start Quorrin under Wine.")
    parser.add_argument("--demo", action="store_true", help="put the simulated device on COM3")
    parser.add_argument("--seconds", type=float, default=20.0, help="run time without a display")
    parser.add_argument("--no-open", action="store_true", help="leave the ports closed")
    parser.add_argument("--devices", default=os.environ.get("QUORRIN_DEVICES", "/dev"),
                        help="folder holding the ttyUSB*, ttyACM* and ttyS* devices (QUORRIN_DEVICES)")
    parser.add_argument("--sys", default=os.environ.get("QUORRIN_SYS_TTY", "/sys/class/tty"),
                        help="folder that tells which ttyS* have a UART (QUORRIN_SYS_TTY)")
    parser.add_argument("--list", action="store_true", help="print which device becomes which COM port, and stop")
    args = parser.parse_args()

    usb, uarts = find_adapters(args.devices, args.sys)
    if args.list:
        demo = not usb or args.demo
        for name, dev in port_map([] if args.demo else usb, uarts, "demo" if demo else None).items():
            print(f"{name} {'simulated instrument' if dev == 'demo' else dev}")
        return

    if not (WIN_BUILD / "Quorrin.exe").exists():
        sys.exit(f"{WIN_BUILD / 'Quorrin.exe'} is missing: run scripts/build.sh first")

    headless = not display_usable(os.environ.get("DISPLAY"))
    display = None
    if headless:
        display = Display()
        display_name = display.start()
        print(f"launch: no usable display, running on Xvfb {display_name}")
    else:
        display_name = os.environ["DISPLAY"]

    prefix = WinePrefix(PREFIX, display_name)
    print(f"launch: Wine prefix {PREFIX}")
    prefix.ensure()
    # Help > Manual opens a PDF: Wine's winebrowser hands it to xdg-open,
    # so the desktop's own viewer shows it.
    prefix.associate(".pdf", "Quorrin.Manual", 'winebrowser "%1"')

    demo = None
    if not usb or args.demo:
        work = BUILD / "pty"
        work.mkdir(parents=True, exist_ok=True)
        demo = PtyPair(work, "demo")
    ports = port_map([] if args.demo else usb, uarts, demo.app_path if demo else None)
    prefix.set_ports(ports)

    demo_proc = holder = None
    if demo:
        os.close(demo.fd)  # the device process holds the far end itself
        # Keep the app end open too, so the device never sees a hang-up when
        # Quorrin closes the port.
        holder = os.open(demo.app_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        demo_proc = subprocess.Popen([sys.executable, str(ROOT / "scripts" / "demo_device.py"),
                                      os.path.realpath(demo.link_peer), "--interval", "2"])
    print("launch: serial ports")
    for name, dev in ports.items():
        what = "simulated instrument (echo, *IDN?, MEAS?, Modbus RTU/ASCII)" if demo and dev == demo.app_path else dev
        print(f"  {name:6} {what}")

    APP_DIR.mkdir(parents=True, exist_ok=True)
    for name in ("Quorrin.exe", "pivotle.exe", "quorrin_char2.ini"):
        shutil.copy(WIN_BUILD / name, APP_DIR / name)
    print(f"launch: program directory {APP_DIR}")
    if not (APP_DIR / "quorrin.ini").exists():
        chosen = next((os.environ[v] for v in ("LC_ALL", "LC_MESSAGES", "LANG") if os.environ.get(v)), "C")
        print(f"launch: first start: the language follows the locale {chosen} (English when it is none of"
              " Japanese, English, Korean, Chinese or is not made on this machine)")

    # "/open" opens the ports once the window is up, as the Open command does.
    command = ["wine", str(APP_DIR / "Quorrin.exe")] + ([] if args.no_open else ["/open"])
    quorrin = subprocess.Popen(command, cwd=APP_DIR, env=prefix.env(), stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    driver = Driver(prefix)
    try:
        driver.main_window(30000)
        if headless:
            time.sleep(args.seconds)
            shot = display.screenshot(BUILD / "launch-screenshot.png")
            print(f"launch: screenshot {shot}")
            driver.call("close", "main")
            quorrin.wait(30)
        else:
            print("launch: Quorrin is running; close its window to stop")
            quorrin.wait()
    except (DriverError, subprocess.TimeoutExpired) as e:
        print(f"launch: {e}")
        quorrin.kill()
    finally:
        driver.close()
        prefix.stop_server()
        if demo_proc:
            demo_proc.terminate()
            demo_proc.wait(5)
        if holder is not None:
            os.close(holder)
        if demo:
            demo.proc.terminate()
        if display:
            display.stop()


if __name__ == "__main__":
    main()
