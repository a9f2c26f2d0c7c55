#!/usr/bin/env bash
# Every whole-program benchmark, one after another, each writing its figures
# to bench/results/: receive throughput and CPU (throughput.md), receive
# without loss (receive.md), painting (paint.md), macro step rate
# (macro.md). With --soak, the 30-minute soak run (soak.md) follows, and
# with --fuzz, ten minutes of every fuzz target (fuzz.md).
# Run on a quiet machine after scripts/build.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
py=/usr/bin/python3
$py bench/throughput_bench.py
$py bench/receive_bench.py
$py bench/paint_bench.py
$py bench/macro_bench.py
for arg in "$@"; do
  case "$arg" in
    --soak) $py bench/soak.py ;;
    --fuzz) bench/fuzz_long.sh 600 ;;
  esac
done
