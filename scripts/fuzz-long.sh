#!/usr/bin/env bash
# The long fuzz run: every target until it reaches a number of executions (default 1,000,000) or
# a time limit, printing executions and crashes per target. Findings land in build/fuzz-findings.
#   TESSALINE_FUZZ_RUNS     executions per target (default 1000000)
#   TESSALINE_FUZZ_LIMIT_S  longest time per target in seconds (default 1800)
#   TESSALINE_FUZZ_DIR      clang build directory (default build/fuzz)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs=${TESSALINE_FUZZ_RUNS:-1000000}
limit=${TESSALINE_FUZZ_LIMIT_S:-1800}
fuzz_dir=${TESSALINE_FUZZ_DIR:-build/fuzz}
findings="$root/build/fuzz-findings"
mkdir -p "$findings"

cmake -S . -B "$fuzz_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALINE_WARNINGS_AS_ERRORS=ON \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DTESSALINE_BUILD_FUZZ=ON \
  -DTESSALINE_BUILD_TESTS=OFF -DTESSALINE_BUILD_BENCH=OFF >/dev/null || exit 1
cmake --build "$fuzz_dir" -j "$(nproc)" --target tessaline_fuzz || exit 1

total_crashes=0
printf '%-24s %12s %8s %8s %8s\n' target executions crashes seconds corpus
for corpus in fuzz/corpus/*/; do
  name=$(basename "$corpus")
  work="$findings/$name"
  mkdir -p "$work/corpus"
  start=$(date +%s)
  "$fuzz_dir/fuzz/fuzz_$name" -runs="$runs" -max_total_time="$limit" -print_final_stats=1 \
    -artifact_prefix="$work/" "$work/corpus" "$corpus" >"$work/log" 2>&1
  status=$?
  seconds=$(( $(date +%s) - start ))
  executed=$(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$work/log" | grep -o '[0-9]*$')
  crashes=$(find "$work" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
  if [ "$status" -ne 0 ] && [ "$crashes" -eq 0 ]; then crashes=1; fi
  total_crashes=$(( total_crashes + crashes ))
  printf '%-24s %12s %8s %8s %8s\n' "$name" "${executed:-?}" "$crashes" "$seconds" \
    "$(find "$work/corpus" -type f | wc -l)"
done
echo "crashes in all: $total_crashes (details and inputs under $findings)"
[ "$total_crashes" -eq 0 ]
