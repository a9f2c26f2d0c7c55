#!/usr/bin/env python3
"""Checks that every message text number the program's code uses has four
non-empty texts of at most 63 characters in messages.tsv.

Numbers are found where the code names them: the first argument of
get_text, the text argument of show_message and the refusals, the failure
texts of the open command, and the menu and toolbar tables."""
import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
SOURCES = [p for d in ("app", "serial", "view", "codec", "tools", "macro", "settings", "restart")
           for p in (ROOT / d).glob("*.cpp")]


def table():
    entries = {}
    for line in (ROOT / "resources" / "texts" / "messages.tsv").read_text(encoding="utf-8").splitlines():
        if line.strip() and not line.startswith("#"):
            cols = line.split("\t")
            entries[int(cols[0])] = cols[1:]
    return entries


def call_arguments(text, name):
    """The argument lists of every call of `name` in text."""
    for m in re.finditer(r"\b" + name + r"\(", text):
        depth, i, args, start = 1, m.end(), [], m.end()
        while i < len(text) and depth:
            c = text[i]
            if c == "(":
                depth += 1
            elif c == ")":
                depth -= 1
            elif c == "," and depth == 1:
                args.append(text[start:i])
                start = i + 1
            i += 1
        args.append(text[start:i - 1])
        yield args


def used_numbers():
    used = {}
    for path in SOURCES:
        text = path.read_text(encoding="utf-8")
        where = path.relative_to(ROOT)
        found = []
        for args in call_arguments(text, "get_text"):
            found += re.findall(r"\b\d+\b", args[0])
        for name in ("show_message", "refuse", "refuse_text4"):
            for args in call_arguments(text, name):
                if len(args) > 1:
                    found += re.findall(r"^\s*(\d+)\s*$", args[1])
        m = re.search(r"kFailText\[2\]\s*=\s*\{(\d+),\s*(\d+)\}", text)
        if m:
            found += m.groups()
        if path.name == "chrome.cpp":
            menu = text[text.index("kMenuBar[kMenus]"):text.index("kToolbar[kToolButtons]")]
            found += re.findall(r"\{(\d+), \d+, \{", menu)                 # titles
            found += re.findall(r"\{-?[1-9]\d*, (\d+), \d+\}", menu)      # items, not separators
            tools = text[text.index("kToolbar[kToolButtons]"):text.index("kStatusPartEdges")]
            found += re.findall(r"\{11\d\d, (\d+), [01]\}", tools)
        for n in found:
            used.setdefault(int(n), where)
    return used


def main():
    entries = table()
    used = used_numbers()
    problems = []
    for n, where in sorted(used.items()):
        texts = entries.get(n)
        if texts is None:
            problems.append(f"message text {n} (used in {where}) is missing")
            continue
        for lang, t in zip(("Japanese", "English", "Korean", "Chinese"), texts):
            if not t.strip():
                problems.append(f"message text {n} (used in {where}) has no {lang} text")
            if len(t) > 63:
                problems.append(f"message text {n} {lang} is longer than 63 characters")
    for p in problems:
        print(p)
    print(f"{len(used)} message texts used by the code, {len(entries)} in the table, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
