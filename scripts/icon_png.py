#!/usr/bin/env python3
"""Writes one image of a Windows .ico file as PNG: icon_png.py ICO SIZE OUT.
Takes the entry of that size, stored either as PNG (written as it is) or as
a 32-bit DIB (top half colour BGRA, bottom up; its alpha is used)."""
import struct
import sys
import zlib


def png(width, height, rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    ico, size, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    data = open(ico, "rb").read()
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind != 1:
        sys.exit(f"{ico}: not an icon file")
    for i in range(count):
        w, h, _, _, _, bits, length, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        if (w or 256) != size or offset + length > len(data):
            continue
        image = data[offset:offset + length]
        if image.startswith(b"\x89PNG"):
            open(out, "wb").write(image)
            return
        header, width, height2, _, bpp = struct.unpack_from("<IiiHH", image, 0)
        if bpp != 32:
            continue
        stride = width * 4
        pixels = image[header:header + stride * width]
        rows = []
        for y in range(width - 1, -1, -1):
            row = pixels[y * stride:(y + 1) * stride]
            rows.append(b"".join(row[x + 2:x + 3] + row[x + 1:x + 2] + row[x:x + 1] + row[x + 3:x + 4]
                                 for x in range(0, stride, 4)))
        open(out, "wb").write(png(width, width, rows))
        return
    sys.exit(f"{ico}: no {size} x {size} image of 32 bits")


if __name__ == "__main__":
    main()
