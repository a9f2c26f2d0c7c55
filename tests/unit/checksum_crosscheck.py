#!/usr/bin/python3
"""Compares Quorrin's CRC16 and LRC (printed by checksum_cli) with crcmod's
'modbus' CRC and an LRC written here from its definition, over random
inputs: plain bytes, and Modbus ASCII bodies with the odd blank, sign or
stray character that the pair reading must take like C's strtol."""
import random
import subprocess
import sys

import crcmod.predefined

HEX = b"0123456789abcdefABCDEF"
BLANKS = b" \t\n\v\f\r"


def pair_value(pair):
    """strtol(pair, NULL, 16) on a two-character string, low 8 bits."""
    s = pair.split(b"\0")[0]
    i = 0
    while i < len(s) and s[i] in BLANKS:
        i += 1
    sign = 1
    if i < len(s) and s[i] in b"+-":
        sign = -1 if s[i] == ord("-") else 1
        i += 1
    value = 0
    while i < len(s) and s[i] in HEX:
        value = value * 16 + int(chr(s[i]), 16)
        i += 1
    return (sign * value) & 0xFF


def lrc(data):
    total = sum(pair_value(data[i:i + 2]) for i in range(0, len(data) - 1, 2))
    return -total & 0xFF


def random_input(rng):
    n = rng.choice([0, 1, 2, 3, rng.randrange(0, 40), rng.randrange(0, 300)])
    if rng.random() < 0.4:
        return bytes(rng.randrange(256) for _ in range(n))
    alphabet = HEX * 8 + BLANKS + b"+-xXgG:\0\xff"
    return bytes(rng.choice(alphabet) for _ in range(n))


def main():
    cli = sys.argv[1]
    crc16 = crcmod.predefined.mkCrcFun("modbus")
    rng = random.Random(20240611)
    inputs = [b"", b"123456789", b"abc", b"01030000000A"] + [random_input(rng) for _ in range(3000)]
    failures = 0
    for start in range(0, len(inputs), 500):
        batch = inputs[start:start + 500]
        out = subprocess.run([cli] + [b.hex() for b in batch], capture_output=True, text=True, check=True)
        lines = out.stdout.splitlines()
        assert len(lines) == len(batch), (len(lines), len(batch))
        for data, line in zip(batch, lines):
            crc = crc16(data)
            want_lrc = lrc(data)
            want = "%04X %02X %02X%02X %02X" % (crc, want_lrc, crc & 0xFF, crc >> 8, want_lrc)
            if line != want:
                failures += 1
                if failures <= 10:
                    print("input %s: got %r, want %r" % (data.hex(), line, want))
    print("%d inputs, %d mismatches" % (len(inputs), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
