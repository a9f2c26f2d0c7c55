#!/usr/bin/env bash
# Runs every test: unit tests (plain, with AddressSanitizer and
# UndefinedBehaviorSanitizer, the concurrency tests with ThreadSanitizer),
# the fuzzers for a short bounded time, and the end-to-end tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
FUZZ_SECONDS=${FUZZ_SECONDS:-20}

scripts/setup.sh
scripts/build.sh

echo "== unit tests"
ctest --test-dir build/native --output-on-failure

echo "== unit tests with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/asan -G Ninja -DQUORRIN_SANITIZE=address -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/asan --target unit_tests
ctest --test-dir build/asan --output-on-failure

echo "== concurrency tests with ThreadSanitizer"
cmake -S . -B build/tsan -G Ninja -DQUORRIN_SANITIZE=thread -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/tsan --target unit_tests
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build/tsan --output-on-failure -R Concurrency

echo "== fuzzers, ${FUZZ_SECONDS} s each"
cmake -S . -B build/fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DQUORRIN_FUZZ=ON -DQUORRIN_SANITIZE=address -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
for target in fuzz_logfile fuzz_settings fuzz_frame fuzz_macro; do
  cmake --build build/fuzz --target "$target"
  mkdir -p "build/fuzz/corpus/$target"
  "build/fuzz/$target" -max_total_time="$FUZZ_SECONDS" -max_len=8192 "build/fuzz/corpus/$target" 2>&1 | tail -n 2
done

echo "== end-to-end tests under Wine"
/usr/bin/python3 -m pytest tests/e2e -q -p no:cacheprovider
