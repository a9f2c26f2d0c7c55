#!/usr/bin/env bash
# Builds the native core with its unit tests (build/native) and the Win32
# programs with mingw-w64 (build/win: Quorrin.exe, qdriver.exe and the
# message text file quorrin_char2.ini).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j "$jobs"

cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" >/dev/null
cmake --build build/win -j "$jobs"
echo "build: native tests in build/native, Quorrin.exe in build/win"
