#!/usr/bin/env bash
# Builds the native core with its unit tests (build/native) and the Win32
# programs with mingw-w64 (build/win: Quorrin.exe, qdriver.exe and the
# message text file quorrin_char2.ini), then the manual PDFs.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j "$jobs"

cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" >/dev/null
cmake --build build/win -j "$jobs"

# The user manuals (docs/manual/en.md, ja.md) become PDFs beside Quorrin.exe,
# each made again only when its sources are newer.
/usr/bin/python3 scripts/build_manual.py
echo "build: native tests in build/native, Quorrin.exe and the manuals in build/win"
