#!/usr/bin/env bash
# The demo: a full update of a simulated unit over UDP, then proof that the unit holds exactly
# the package (digests from the unit's memory model against digests computed from the package
# files by independent tools). Exits non-zero if anything differs. Safe to run twice.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build="$root/build/linux"
unit_address=127.0.0.2

"$root/scripts/setup.sh"

echo "== building tessaline-update and the simulated unit (build/linux)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSALINE_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build" --target tessaline-update tessaline-unit-sim -j "$(nproc)"

work=$(mktemp -d /tmp/tessaline-demo.XXXXXX)
sim_pid=""
stop_unit() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill -TERM "$sim_pid"
    wait "$sim_pid" || true
  fi
  sim_pid=""
}
cleanup() { stop_unit; rm -rf "$work"; }
trap cleanup EXIT

echo "== starting a simulated unit in bootload mode on $unit_address (application version 1.1)"
"$build/tools/unit-sim/tessaline-unit-sim" --udp "$unit_address" --app-version 1.1 \
  --log "$work/unit-log.json" >"$work/unit.out" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do
  grep -q '^ready' "$work/unit.out" 2>/dev/null && break
  kill -0 "$sim_pid" 2>/dev/null || { cat "$work/unit.out" >&2; exit 1; }
  sleep 0.1
done
grep -q '^ready' "$work/unit.out" || { echo "demo: the simulated unit did not start" >&2; exit 1; }

echo "== tessaline-update update --ip $unit_address --factory-defaults"
"$build/src/cli/tessaline-update" update --ip "$unit_address" --factory-defaults

echo "== stopping the unit and comparing its memory with the package"
stop_unit

package="$build/package"
hex="$package/HEX/APPLICATION_STM32_ADAU1452.hex"
bin="$package/BIN/FLASH_STM32_ADAU1452.bin"
# The application as the unit must hold it: records laid out from the lowest address, gaps 0xFF.
srec_cat '(' "$hex" -Intel -fill 0xFF -over "$hex" -Intel ')' \
  -offset - -minimum-address "$hex" -Intel -o "$work/application.bin" -Binary
expected_app_base=$(srec_info "$hex" -Intel | awk '/Data:/ {print $2; exit}')
expected_app_sha=$(sha256sum "$work/application.bin" | cut -d' ' -f1)
expected_app_len=$(stat -c %s "$work/application.bin")
expected_flash_sha=$(sha256sum "$bin" | cut -d' ' -f1)
expected_flash_len=$(stat -c %s "$bin")

log="$work/unit-log.json"
unit_app_base=$(printf '%08X' "$(jq -r '.application.base' "$log")")
unit_app_sha=$(jq -r '.application.sha256' "$log")
unit_app_len=$(jq -r '.application.length' "$log")
unit_flash_sha=$(jq -r '.flashData.sha256' "$log")
unit_flash_len=$(jq -r '.flashData.length' "$log")
defaults=$(jq -r '.factoryDefaultsRestored' "$log")
finished=$(jq -r '.updateFinished' "$log")

status=0
compare() {  # what, from the unit, from the package
  if [ "$2" = "$3" ]; then
    printf '  %-26s %s  (same)\n' "$1" "$2"
  else
    printf '  %-26s unit %s  package %s  DIFFERENT\n' "$1" "$2" "$3"
    status=1
  fi
}
compare "application base address" "$unit_app_base" "${expected_app_base^^}"
compare "application length" "$unit_app_len" "$expected_app_len"
compare "application sha256" "$unit_app_sha" "$expected_app_sha"
compare "flash data length" "$unit_flash_len" "$expected_flash_len"
compare "flash data sha256" "$unit_flash_sha" "$expected_flash_sha"
compare "factory defaults restored" "$defaults" "true"
compare "update finished" "$finished" "true"

if [ "$status" -eq 0 ]; then
  echo "== the unit holds exactly the package"
else
  echo "== the unit's memory differs from the package" >&2
fi
exit "$status"
