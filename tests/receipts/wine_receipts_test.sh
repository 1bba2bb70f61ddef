#!/usr/bin/env bash
# Receipts signed on one system verify on the other: tessaline-update.exe under Wine updates a
# simulated unit with --receipt and the Linux program checks it with the exported public key, then
# the other way round; a changed byte is refused on both sides.
# usage: wine_receipts_test.sh PROGRAM.exe NATIVE_PROGRAM SIMULATOR WORKDIR
set -euo pipefail
program=${1:?usage: wine_receipts_test.sh PROGRAM.exe NATIVE_PROGRAM SIMULATOR WORKDIR}
native=${2:?native program path}
sim=${3:?simulator path}
work=${4:?work directory}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
export WINEPREFIX=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/tessaline-wine}
export WINEDEBUG=-all
fail() { echo "wine_receipts_test: $*" >&2; exit 1; }

pids=()
cleanup() { for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done; }
trap cleanup EXIT

[ -x "$sim" ] || fail "no simulator at $sim (build the native tree)"
[ -x "$native" ] || fail "no native program at $native (build the native tree)"
[ -f "$WINEPREFIX/system.reg" ] || "$root/scripts/wine-prefix.sh" "$WINEPREFIX" >/dev/null
rm -rf "$work" && mkdir -p "$work"

start_unit() {  # start_unit NAME ADDRESS
  "$sim" --udp "$2" --log "$work/$1.json" >"$work/$1.out" 2>&1 </dev/null &
  pids+=($!)
  for _ in $(seq 100); do
    grep -q '^ready' "$work/$1.out" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "unit $1 did not start: $(cat "$work/$1.out")"
}
windows() { TESSALINE_KEY_DIR="Z:$work/windows-key" "$root/scripts/wine-run.sh" "$program" "$@"; }
linux() { TESSALINE_KEY_DIR="$work/linux-key" "$native" "$@"; }

echo "-- signed under Wine, checked on Linux"
start_unit windows 127.0.0.14
windows update --ip 127.0.0.14 --receipt "Z:$work/windows.jsonl" >"$work/windows.out" 2>&1 ||
  fail "update under Wine failed: $(tail -n 3 "$work/windows.out")"
tr -d '\r' <"$work/windows.out" | grep -q "chain head $(tail -n 1 "$work/windows.jsonl" | tr -d '\n' | sha256sum | cut -c1-64)" ||
  fail "the update under Wine did not print the chain's head: $(cat "$work/windows.out")"
windows keys --export "Z:$work/windows.pem" >/dev/null || fail "keys --export under Wine failed"
linux receipts "$work/windows.jsonl" --key "$work/windows.pem" >"$work/linux-check.out" 2>&1 ||
  fail "Linux refused the receipt signed under Wine: $(cat "$work/linux-check.out")"
grep -q "Every line is signed by the key" "$work/linux-check.out" || fail "Linux did not check the signature"

echo "-- signed on Linux, checked under Wine"
start_unit linux 127.0.0.15
linux update --ip 127.0.0.15 --receipt "$work/linux.jsonl" >"$work/linux.out" 2>&1 ||
  fail "update on Linux failed: $(tail -n 3 "$work/linux.out")"
linux keys --export "$work/linux.pem" >/dev/null
windows receipts "Z:$work/linux.jsonl" --key "Z:$work/linux.pem" >"$work/windows-check.out" 2>&1 ||
  fail "Wine refused the receipt signed on Linux: $(cat "$work/windows-check.out")"

echo "-- a changed byte is refused on both sides"
sed 's/"succeeded"/"succeedeD"/' "$work/windows.jsonl" >"$work/changed.jsonl"
code=0
linux receipts "$work/changed.jsonl" --key "$work/windows.pem" >/dev/null 2>&1 || code=$?
[ "$code" -eq 8 ] || fail "Linux took a changed receipt (exit $code)"
code=0
windows receipts "Z:$work/changed.jsonl" --key "Z:$work/windows.pem" >/dev/null 2>&1 || code=$?
[ "$code" -eq 8 ] || fail "Wine took a changed receipt (exit $code)"
echo "wine_receipts_test: receipts signed on each side verify on the other"
