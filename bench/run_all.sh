#!/usr/bin/env bash
# Every whole-program benchmark, one after another, each writing its figures
# to bench/results/ (or $BENCH_RESULTS): receive throughput and CPU
# (throughput.md), receive without loss (receive.md), painting (paint.md),
# macro step rate (macro.md), the Modbus monitor's ticks
# (modbus-monitor-tick.md), the window through five outages (reconnect.md),
# network ports (network.md), recording and its readers (recording.md), /find (find.md), file transfer (transfer.md), highlight rules (highlight.md). With --soak, the 30-minute soak run (soak.md)
# follows, and with --fuzz, ten minutes of every fuzz target (fuzz.md).
# A script that lacks a tool says so and writes what it could; one that
# fails does not stop the others, and the exit status says whether any did.
# Run on a quiet machine after scripts/build.sh.
set -uo pipefail
cd "$(dirname "$0")/.."
py=/usr/bin/python3
failed=()
run() {
  "$@" || { echo "run_all.sh: $* failed" >&2; failed+=("$*"); }
}
run $py bench/throughput_bench.py
run $py bench/receive_bench.py
run $py bench/paint_bench.py
run $py bench/macro_bench.py
run $py bench/monitor_tick_bench.py
run $py bench/reconnect_bench.py
run $py bench/network_bench.py
run $py bench/record_bench.py
run $py bench/find_bench.py
run $py bench/transfer_bench.py
run $py bench/highlight_bench.py
run $py bench/repeat_bench.py
for arg in "$@"; do
  case "$arg" in
    --soak) run $py bench/soak.py ;;
    --fuzz) run bench/fuzz_long.sh 600 ;;
  esac
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "run_all.sh: failed: ${failed[*]}" >&2
  exit 1
fi
