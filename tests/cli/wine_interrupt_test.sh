#!/usr/bin/env bash
# tessaline-update.exe under Wine, stopped by Ctrl+C, by Ctrl+Break and by closing its console while
# it writes a simulated unit's flash data over UDP: exit 130 with the unit's state named, and the
# same command run again finishes the update. A helper program (console_break.exe) sends the event.
# usage: wine_interrupt_test.sh PROGRAM.exe CONSOLE_BREAK.exe SIMULATOR WORKDIR
set -euo pipefail
program=${1:?usage: wine_interrupt_test.sh PROGRAM.exe CONSOLE_BREAK.exe SIMULATOR WORKDIR}
breaker=${2:?console_break.exe path}
sim=${3:?simulator path}
work=${4:?work directory}
root=$(cd "$(dirname "$0")/../.." && pwd)
export WINEPREFIX=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/tessaline-wine}
export WINEDEBUG=-all
fail() { echo "wine_interrupt_test: $*" >&2; exit 1; }
stopped_text="Interrupted while writing the flash data: the unit stays in bootload mode without complete firmware; run the same command again to finish."

unit=
cleanup() { [ -z "$unit" ] || kill -TERM "$unit" 2>/dev/null || true; }
trap cleanup EXIT

[ -x "$sim" ] || fail "no simulator at $sim (build the native tree)"
[ -f "$WINEPREFIX/system.reg" ] || "$root/scripts/wine-prefix.sh" "$WINEPREFIX" >/dev/null
rm -rf "$work" && mkdir -p "$work"

address=127.0.11.40
for event in ctrl-c ctrl-break close; do
  echo "-- $event"
  address=${address%.*}.$((${address##*.} + 1))
  # The erase takes a second, so the event arrives while the flash data area is erased.
  "$sim" --udp "$address" --erase-delay-ms 1000 --log "$work/$event.json" >"$work/$event.unit" 2>&1 </dev/null &
  unit=$!
  for _ in $(seq 100); do grep -q '^ready' "$work/$event.unit" 2>/dev/null && break; sleep 0.1; done
  arguments=(update --ip "$address" --factory-defaults)

  code=0
  "$root/scripts/wine-run.sh" "$breaker" "$event" "Progress: UI" "Z:$program" "${arguments[@]}" \
    >"$work/$event.out" 2>"$work/$event.err" </dev/null || code=$?
  tr -d '\r' <"$work/$event.err" >"$work/$event.stderr"
  [ "$code" -eq 130 ] || fail "$event: exit $code, not 130: $(tail -n 5 "$work/$event.out" "$work/$event.stderr")"
  grep -qF "$stopped_text" "$work/$event.stderr" || fail "$event: the unit's state is not named: $(cat "$work/$event.stderr")"

  code=0
  "$root/scripts/wine-run.sh" "$program" "${arguments[@]}" >"$work/$event.again" 2>&1 </dev/null || code=$?
  [ "$code" -eq 0 ] || fail "$event: the same command run again exited $code: $(tail -n 5 "$work/$event.again")"
  kill -TERM "$unit"
  wait "$unit" || true
  unit=
  jq -e '.updateFinished == true and .flashData.length > 0' "$work/$event.json" >/dev/null ||
    fail "$event: the unit did not see the update finished: $(head -c 400 "$work/$event.json")"
done
echo "wine_interrupt_test: Ctrl+C, Ctrl+Break and closing the console stopped the update; running it again finished it"
