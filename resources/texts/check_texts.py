#!/usr/bin/env python3
"""Checks the message texts against the program's code:

- every message text number the code uses has four non-empty texts of at
  most 63 characters in messages.tsv. Numbers are found where the code names
  them: the first argument of get_text, the text argument of show_message,
  set_dialog_text and the refusals, the failure texts of the open command,
  the menu and toolbar tables, and every name of the MessageNumber list in
  settings/message_text.h;
- every text has, in all four languages, exactly the format fields that
  message_fields gives for its number (none for a text that is not
  formatted), so a translation can never make the program print garbage;
- every show_texts call passes as many values as its texts have fields."""
import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
SOURCES = [p for d in ("app", "serial", "send", "view", "codec", "tools", "ui", "macro", "settings", "restart", "net", "transfer")
           for p in (ROOT / d).glob("*.cpp")]


def table():
    entries = {}
    for line in (ROOT / "resources" / "texts" / "messages.tsv").read_text(encoding="utf-8").splitlines():
        if line.strip() and not line.startswith("#"):
            cols = line.split("\t")
            entries[int(cols[0])] = cols[1:]
    return entries


def call_arguments(text, name):
    """The argument lists of every call of `name` in text; a braced list
    is one argument."""
    for m in re.finditer(r"\b" + name + r"\(", text):
        depth, i, args, start = 1, m.end(), [], m.end()
        while i < len(text) and depth:
            c = text[i]
            if c in "({":
                depth += 1
            elif c in ")}":
                depth -= 1
            elif c == "," and depth == 1:
                args.append(text[start:i])
                start = i + 1
            i += 1
        args.append(text[start:i - 1])
        yield args


def used_numbers():
    """Every number the MessageNumber list names, with the numbers between a
    ...First and its ...Last: number -> where it is named."""
    used = {}
    names = named_numbers()
    for name, n in names.items():
        used.setdefault(n, f"settings/message_text.h ({name})")
        if name.endswith("First"):
            last = names.get(name[:-len("First")] + "Last")
            for k in range(n, (last if last is not None else n) + 1):
                used.setdefault(k, f"settings/message_text.h ({name} to its Last)")
    return used


def bare_numbers():
    """Text numbers written as bare numbers where the code takes a text:
    the first argument of get_text, the text of show_message,
    set_dialog_text and the refusals, and the texts of the label tables."""
    problems = []
    for path in SOURCES + [p for d in ("app", "tools", "serial", "send", "settings", "view", "macro", "ui", "codec", "net")
                           for p in (ROOT / d).glob("*.h")]:
        text = path.read_text(encoding="utf-8")
        where = path.relative_to(ROOT)
        found = []
        for args in call_arguments(text, "get_text"):
            found += re.findall(r"(?<![\w.])\d+(?![\w.])", args[0])
        for args in call_arguments(text, "set_dialog_text"):
            if len(args) > 2:
                found += re.findall(r"(?<![\w.])\d+(?![\w.])", args[2])
        for name in ("show_message", "refuse", "refuse_text4"):
            for args in call_arguments(text, name):
                if len(args) > 1:
                    found += re.findall(r"(?<![\w.])\d+(?![\w.])", args[1])
        found += re.findall(r"\{IDC_\w+, *(\d+)\}", "".join(re.findall(r"kLabels\[\] = \{.*?\};", text, re.S)))
        for n in found:
            problems.append(f"{where}: message text {n} is written as a bare number; name it in MessageNumber")
    return problems


def named_numbers():
    """The MessageNumber list: name -> number."""
    header = (ROOT / "settings" / "message_text.h").read_text(encoding="utf-8")
    body = header[header.index("enum MessageNumber"):]
    body = body[:body.index("};")]
    return {m.group(1): int(m.group(2)) for m in re.finditer(r"\b(kText\w+)\s*=\s*(\d+)", body)}


def expected_fields():
    """message_fields as the core's table gives it: number -> ["d", "ls" ...]."""
    names = named_numbers()
    source = (ROOT / "settings" / "message_text.cpp").read_text(encoding="utf-8")
    table = source[source.index("kFields[]"):]
    table = table[:table.index("};")]
    return {names[m.group(1)]: m.group(2).split() for m in re.finditer(r"\{(kText\w+), \"([^\"]*)\"\}", table)}


FIELD = re.compile(r"%(%|[-+ #0]*\d*(?:\.\d+)?((?:ll|l|h)?[A-Za-z])?)")


def fields_of(text):
    """The format fields of a text as message_fields_match reads them;
    None stands for one it refuses (a lone %, %*d)."""
    out = []
    for m in FIELD.finditer(text):
        if m.group(1) == "%":
            continue
        out.append(m.group(2))
    return out


def show_texts_calls(fields):
    """Problems of show_texts calls whose values do not match their fields."""
    names = named_numbers()
    problems = []
    for path in SOURCES:
        text = path.read_text(encoding="utf-8")
        for args in call_arguments(text, "show_texts"):
            if len(args) < 4 or "{" not in args[2]:
                continue  # the declaration or the template itself
            listed = re.findall(r"kText\w+", args[2])
            # A choice between texts (a ? b : c) takes one of them: all
            # choices must have the same fields.
            choices = [re.findall(r"kText\w+", part) for part in args[2].strip("{} ").split(",")]
            want = 0
            for choice in choices:
                counts = {len(fields.get(names[n], [])) for n in choice if n in names}
                if len(counts) > 1:
                    problems.append(f"{path.relative_to(ROOT)}: show_texts chooses between texts with different fields")
                want += counts.pop() if counts else 0
            given = len(args) - 4
            # The macro's stop passes all three of its numbers whatever its text names.
            if "f.text" in args[2]:
                continue
            if given != want:
                problems.append(f"{path.relative_to(ROOT)}: show_texts({', '.join(listed)}) passes {given} values "
                                f"for {want} fields")
    return problems


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
    fields = expected_fields()
    for n, texts in sorted(entries.items()):
        want = fields.get(n, [])
        for lang, t in zip(("Japanese", "English", "Korean", "Chinese"), texts):
            got = fields_of(t)
            if got != want:
                problems.append(f"message text {n} {lang} has the fields {got}, the code formats {want}")
    for n in fields:
        if n not in entries:
            problems.append(f"message text {n} has format fields but no texts")
    problems += show_texts_calls(fields)
    problems += bare_numbers()
    for p in problems:
        print(p)
    print(f"{len(used)} message texts used by the code, {len(entries)} in the table, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
