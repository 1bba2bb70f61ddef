#!/usr/bin/env bash
# Sanitizer runs and a short fuzz run: the whole native suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, the threaded tests under ThreadSanitizer, and every fuzz target for
# a few seconds with libFuzzer. Each step fails the script on the first finding.
#   TESSALINE_ASAN_DIR, TESSALINE_TSAN_DIR, TESSALINE_FUZZ_DIR  build directories (default build/...)
#   TESSALINE_FUZZ_SECONDS  seconds per fuzz target (default 5)
#   TESSALINE_HARDENING_STEPS  any of "asan tsan fuzz" (default all three)
#   TESSALINE_SOAK_RUNS, TESSALINE_SOAK_SWEEP_POINTS  the soak under AddressSanitizer (default 3, 3)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)
asan_dir=${TESSALINE_ASAN_DIR:-build/asan}
tsan_dir=${TESSALINE_TSAN_DIR:-build/tsan}
fuzz_dir=${TESSALINE_FUZZ_DIR:-build/fuzz}
fuzz_seconds=${TESSALINE_FUZZ_SECONDS:-5}
steps=${TESSALINE_HARDENING_STEPS:-asan tsan fuzz}

# The tests that run worker threads: message targets, jobs, version and discovery workers, and
# a version query beside an update, and two updates at once.
threaded_tests=(ui_message_tests update_tests discovery_tests discovery_unit_sim_tests
  discovery_network_tests soak_concurrency_tests update_two_units_tests)

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

elapsed() { echo "$(( $(date +%s) - $1 )) s"; }

if [[ " $steps " == *" asan "* ]]; then
  start=$(date +%s)
  echo "== hardening: AddressSanitizer + UndefinedBehaviorSanitizer, whole native suite"
  # -Og: the sanitizers see the same code, and UndefinedBehaviorSanitizer's checks compile about
  # four times faster than at -O2 (65 s against 16 s for the largest test file). -g1: a report
  # needs only file and line, and full debug information costs another 40 % of the build.
  cmake -S . -B "$asan_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALINE_WARNINGS_AS_ERRORS=ON \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-Og -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-Og -g1 -DNDEBUG" \
    -DTESSALINE_SANITIZE=address -DTESSALINE_BUILD_BENCH=OFF -DTESSALINE_FUZZ_REPLAYS=OFF >/dev/null
  cmake --build "$asan_dir" -j "$jobs"
  # The sanitizers look for faults in the code paths, which a few soak runs and cut points cover;
  # the native suite runs the soak in full. The fuzz corpora are replayed under the same two
  # sanitizers by the libFuzzer step, which starts from them.
  TESSALINE_SOAK_RUNS=${TESSALINE_SOAK_RUNS:-3} TESSALINE_SOAK_SWEEP_POINTS=${TESSALINE_SOAK_SWEEP_POINTS:-3} \
    ctest --test-dir "$asan_dir" --output-on-failure -j "$jobs"
  echo "== asan: $(elapsed "$start")"
fi

if [[ " $steps " == *" tsan "* ]]; then
  start=$(date +%s)
  echo "== hardening: ThreadSanitizer, the tests that run workers"
  cmake -S . -B "$tsan_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALINE_WARNINGS_AS_ERRORS=ON \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
    -DTESSALINE_SANITIZE=thread -DTESSALINE_BUILD_BENCH=OFF >/dev/null
  cmake --build "$tsan_dir" -j "$jobs" --target "${threaded_tests[@]}"
  regex="^($(IFS='|'; echo "${threaded_tests[*]}"))\$"
  # ThreadSanitizer cannot map its shadow memory under the kernel's full address randomisation.
  setarch "$(uname -m)" -R ctest --test-dir "$tsan_dir" --output-on-failure -j "$jobs" -R "$regex"
  echo "== tsan: $(elapsed "$start")"
fi

if [[ " $steps " == *" fuzz "* ]]; then
  start=$(date +%s)
  echo "== hardening: libFuzzer, ${fuzz_seconds} s per target"
  cmake -S . -B "$fuzz_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALINE_WARNINGS_AS_ERRORS=ON \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DTESSALINE_BUILD_FUZZ=ON \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
    -DTESSALINE_BUILD_TESTS=OFF -DTESSALINE_BUILD_BENCH=OFF >/dev/null
  cmake --build "$fuzz_dir" -j "$jobs" --target tessaline_fuzz
  # One target per core at a time; each reports when it ends.
  fuzz_one() {
    local corpus=$1 name work runs
    name=$(basename "$corpus")
    work=$(mktemp -d)
    # New inputs go to a scratch folder; the committed seeds stay as they are.
    if ! "$fuzz_dir/fuzz/fuzz_$name" -max_total_time="$fuzz_seconds" -print_final_stats=1 \
        -artifact_prefix="$work/" "$work" "$corpus" >"$work/log" 2>&1; then
      tail -40 "$work/log"
      echo "fuzz target $name failed; the input that broke it is in $work" >&2
      # A CI machine's scratch folder is gone with it, so the log carries the input too.
      for artifact in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
        [ -f "$artifact" ] || continue
        echo "input $(basename "$artifact") (base64): $(base64 -w0 "$artifact")" >&2
      done
      return 1
    fi
    runs=$(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$work/log" | grep -o '[0-9]*$')
    echo "fuzz $name: ${runs:-?} executions, 0 crashes"
    rm -rf "$work"
  }
  export -f fuzz_one
  export fuzz_dir fuzz_seconds
  printf '%s\0' fuzz/corpus/*/ | xargs -0 -n1 -P "$jobs" bash -c 'fuzz_one "$1"' _
  echo "== fuzz: $(elapsed "$start")"
fi
echo "== hardening: all clean"
