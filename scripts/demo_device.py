#!/usr/bin/env python3
"""A small simulated instrument on the far end of a pseudo-terminal, so that
Quorrin shows live traffic without serial hardware.

It answers like a bench device would:
- a line ending in CR or LF is echoed back, then answered: "*IDN?" gives an
  identity, "MEAS?" a reading, anything else "OK";
- a Modbus RTU request (slave 1, function 3 or 4, valid CRC) gets its
  registers, and a Modbus ASCII request (":" ... LRC CR LF) likewise;
- every few seconds it sends a status line of its own.

Usage: demo_device.py PEER_PTY [--interval SECONDS]
"""
import argparse
import os
import random
import select
import sys
import time
import tty


def crc16_modbus(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def registers(start, count):
    return [(start + i) * 10 % 65536 for i in range(count)]


def answer_rtu(frame):
    """A reply to one RTU read request, or None when the frame is not one."""
    if len(frame) != 8 or frame[0] != 1 or frame[1] not in (3, 4):
        return None
    if crc16_modbus(frame[:6]) != frame[6] | frame[7] << 8:
        return None
    start, count = frame[2] << 8 | frame[3], frame[4] << 8 | frame[5]
    if not 1 <= count <= 125:
        return None
    body = bytes([1, frame[1], 2 * count]) + b"".join(r.to_bytes(2, "big") for r in registers(start, count))
    crc = crc16_modbus(body)
    return body + bytes([crc & 0xFF, crc >> 8])


def answer_ascii(line):
    """A reply to one Modbus ASCII read request (":" hex LRC), or None."""
    try:
        raw = bytes.fromhex(line[1:].decode("ascii"))
    except ValueError:
        return None
    if len(raw) != 7 or raw[0] != 1 or raw[1] not in (3, 4) or (-sum(raw[:6])) & 0xFF != raw[6]:
        return None
    start, count = raw[2] << 8 | raw[3], raw[4] << 8 | raw[5]
    if not 1 <= count <= 125:
        return None
    body = bytes([1, raw[1], 2 * count]) + b"".join(r.to_bytes(2, "big") for r in registers(start, count))
    lrc = (-sum(body)) & 0xFF
    return b":" + (body + bytes([lrc])).hex().upper().encode("ascii") + b"\r\n"


def answer_line(line):
    text = line.strip().decode("latin-1")
    if text.upper() == "*IDN?":
        return b"QUORRIN-DEMO,THERMO-1,0001,1.0\r\n"
    if text.upper() == "MEAS?":
        return ("%.2f C\r\n" % (23 + random.random())).encode("ascii")
    return b"OK\r\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("pty")
    parser.add_argument("--interval", type=float, default=5.0)
    args = parser.parse_args()
    fd = os.open(args.pty, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(fd)
    pending = b""
    next_status = time.time() + 1.0
    count = 0
    while True:
        timeout = max(0.0, next_status - time.time())
        ready, _, _ = select.select([fd], [], [], min(timeout, 0.05) if pending else timeout)
        if ready:
            try:
                data = os.read(fd, 4096)
            except OSError:
                data = b""
            if not data:  # the other side went away: wait for it to return
                time.sleep(0.2)
                continue
            pending += data
            continue
        if pending:
            # A pause of 50 ms ends a request.
            reply = answer_rtu(pending)
            if reply is None:
                for line in pending.replace(b"\r\n", b"\n").replace(b"\r", b"\n").split(b"\n"):
                    if not line:
                        continue
                    reply = answer_ascii(line) if line.startswith(b":") else None
                    os.write(fd, reply if reply else line + b"\r\n" + answer_line(line))
            else:
                os.write(fd, reply)
            pending = b""
        if time.time() >= next_status:
            count += 1
            os.write(fd, ("STATUS %d T=%.1fC OK\r\n" % (count, 22 + 2 * random.random())).encode("ascii"))
            next_status = time.time() + args.interval


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        sys.exit(0)
