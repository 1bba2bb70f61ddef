#!/usr/bin/env bash
# Builds and runs the benchmarks; they print figures and never pass or fail on time.
# Each paced serial update (115200 baud on a pseudo-terminal) takes about two minutes; the Windows
# one runs only when build/windows holds the cross-built tessaline-update.exe (scripts/test.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/setup.sh"
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSALINE_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build build/linux -j "$(nproc)" --target bench_link bench_package bench_update loopback_floor \
  tessaline-update tessaline-unit-sim
echo "== link";    build/linux/bench/link/bench_link
echo "== package"; build/linux/bench/package/bench_package
echo "== update over UDP";                 build/linux/bench/update/bench_update --udp
echo "== update over a paced serial line"; build/linux/bench/update/bench_update --serial
echo "== the command-line program in its own process, over UDP"
scripts/bench-cli.sh udp
echo "== the command-line program over a paced serial line"
scripts/bench-cli.sh serial
echo "== several units at once: 16 over UDP, 4 paced serial lines"
scripts/bench-cli.sh rack
echo "== units taken from their application: 1, then 16 at once, and the loopback floor"
scripts/bench-cli.sh running
if [ -f build/windows/src/cli/tessaline-update.exe ]; then
  echo "== the Windows command-line program under Wine over a paced serial line (COM7)"
  scripts/bench-cli.sh wine-serial
fi
