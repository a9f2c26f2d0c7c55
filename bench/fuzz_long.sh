#!/usr/bin/env bash
# Long fuzzing runs, one target after another, written to
# bench/results/fuzz.md (or $BENCH_RESULTS/fuzz.md) with each run's
# execution count. The test command runs the same targets for a few
# seconds only.
#   bench/fuzz_long.sh [seconds per target, default 600] [target ...]
# Without clang, cmake or ninja it says what is missing and writes nothing.
# Each run is bounded twice: libFuzzer's own -max_total_time, and timeout(1)
# a little after it, should a single input hang the target.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
missing=()
for tool in clang clang++ cmake ninja timeout; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if [ ${#missing[@]} -ne 0 ]; then
  echo "fuzz_long.sh: not run; this machine lacks ${missing[*]}" >&2
  exit 0
fi
cmake -S . -B build/fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DQUORRIN_FUZZ=ON -DQUORRIN_SANITIZE=address -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi
results_dir=${BENCH_RESULTS:-bench/results}
mkdir -p "$results_dir"
results=$results_dir/fuzz.md
if [ ! -f "$results" ]; then
  printf '# Long fuzzing runs\n\nbench/fuzz_long.sh: libFuzzer with AddressSanitizer and UBSan, -max_len=8192, the corpus kept in build/fuzz/corpus between runs.\n\n| target | date | machine | seconds | executions | result |\n|---|---|---|---|---|---|\n' > "$results"
fi
for target in "${targets[@]}"; do
  cmake --build build/fuzz --target "$target" >/dev/null
  mkdir -p "build/fuzz/corpus/$target"
  log="build/fuzz/$target.long.log"
  status=0
  timeout --kill-after=30 $((seconds + 120)) "build/fuzz/$target" -max_total_time="$seconds" -max_len=8192 \
    -print_final_stats=1 "build/fuzz/corpus/$target" >"$log" 2>&1 || status=$?
  case $status in
    0) result="no crash" ;;
    124|137) result="FAILED: still running $((seconds + 120)) s in, stopped; see $log" ;;
    *) result="FAILED: see $log" ;;
  esac
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  echo "| $target | $(date +%Y-%m-%d) | $(nproc) cores, $(uname -m) | $seconds | $runs | $result |" | tee -a "$results"
done
