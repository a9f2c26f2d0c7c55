#!/usr/bin/env python3
"""Builds quorrin_char2.ini (UTF-16LE with BOM, section "quorrin") from the
readable message text table messages.tsv. Fails on a malformed line or a
text longer than 63 characters, so a bad table never reaches the program."""
import sys

LANG_KEYS = ("j", "e", "k", "c")
MAX_CHARS = 63


def read_table(path):
    table = {}
    with open(path, encoding="utf-8") as f:
        for lineno, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            cols = line.split("\t")
            if len(cols) != 5 or not cols[0].isdigit():
                sys.exit(f"{path}:{lineno}: expected number and four texts separated by tabs")
            n = int(cols[0])
            if n >= 400 or n in table:
                sys.exit(f"{path}:{lineno}: number {n} out of range or repeated")
            for text in cols[1:]:
                if len(text) > MAX_CHARS:
                    sys.exit(f"{path}:{lineno}: text longer than {MAX_CHARS} characters: {text!r}")
            table[n] = cols[1:]
    return table


def main():
    src, out = sys.argv[1], sys.argv[2]
    table = read_table(src)
    lines = ["[quorrin]"]
    for n in sorted(table):
        for key, text in zip(LANG_KEYS, table[n]):
            lines.append(f"No.{n}:comt-{key}={text}")
    data = "\r\n".join(lines) + "\r\n"
    with open(out, "wb") as f:
        f.write(b"\xff\xfe" + data.encode("utf-16-le"))


if __name__ == "__main__":
    main()
