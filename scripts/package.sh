#!/bin/sh
# Makes the Windows package build/dist/Quorrin-<version>-win64.zip from the
# cross build: the two programs, the message text file, the manuals that
# the build made, README.txt and LICENSE.txt (both with CR LF line ends).
# Builds first when build/win lacks a program.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WIN="$ROOT/build/win"
VERSION=$(tr -d ' \r\n' < "$ROOT/VERSION")
if [ ! -f "$WIN/Quorrin.exe" ] || [ ! -f "$WIN/pivotle.exe" ] || [ ! -f "$WIN/quorrin_char2.ini" ]; then
  "$ROOT/scripts/build.sh"
fi
mkdir -p "$ROOT/build/dist"
ZIP="$ROOT/build/dist/Quorrin-$VERSION-win64.zip"
/usr/bin/python3 - "$ROOT" "$WIN" "$VERSION" "$ZIP" <<'PY'
import sys
import zipfile
from pathlib import Path

root, win, version, out = Path(sys.argv[1]), Path(sys.argv[2]), sys.argv[3], Path(sys.argv[4])
folder = f"Quorrin-{version}"


def crlf(text):
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8")


files = [(name, (win / name).read_bytes()) for name in ("Quorrin.exe", "pivotle.exe", "quorrin_char2.ini")]
manuals = [name for name in ("Quorrin_manual.pdf", "Quorrin_manual_en.pdf") if (win / name).exists()]
files += [(name, (win / name).read_bytes()) for name in manuals]
readme = (root / "docs" / "package" / "README.txt").read_text(encoding="utf-8").replace("@VERSION@", version)
files.append(("README.txt", crlf(readme)))
files.append(("LICENSE.txt", crlf((root / "LICENSE").read_text(encoding="utf-8"))))
tmp = out.with_suffix(".part")
with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as z:
    for name, data in files:
        z.writestr(f"{folder}/{name}", data)
tmp.replace(out)
print(f"package: {out} ({', '.join(name for name, _ in files)})")
if not manuals:
    print("package: no manual in build/win yet; the package goes without it", file=sys.stderr)
PY
