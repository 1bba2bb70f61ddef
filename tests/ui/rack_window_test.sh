#!/usr/bin/env bash
# The rack window of TessalineUpdater.exe under Wine, driven from outside by the keyboard as a user
# would (xdotool on the X display): four simulated units typed in, the fourth falling silent
# mid-transfer; the three others end holding exactly what the command line writes, the fourth row
# says why it failed, and Retry Failed finishes it once it answers again. Saves a screenshot of
# the finished window and prints its path; then Report..., Stop, and Esc at rest and while units
# run (No keeps them running; Yes stops them, then closes the window).
# usage: rack_window_test.sh PROGRAM.exe ROWS.exe SIMULATOR CLI WORKDIR SHOTDIR
#   (exit 77: no X display or no xdotool)
set -euo pipefail
program=${1:?usage: rack_window_test.sh PROGRAM.exe ROWS.exe SIMULATOR CLI WORKDIR SHOTDIR}
rows_exe=${2:?rows reader}
sim=${3:?simulator path}
cli=${4:?native tessaline-update}
work=${5:?work directory}
shots=${6:?screenshot directory}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
export WINEPREFIX=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/tessaline-wine}
export WINEDEBUG=-all
# The window keeps its receipts where a user's go: the per-user application data folder.
unset TESSALINE_KEY_DIR
fail() { echo "rack_window_test: $*" >&2; exit 1; }
if [ -z "${DISPLAY:-}" ] || ! command -v xdotool >/dev/null; then
  echo "rack_window_test: needs an X display and xdotool"
  exit 77
fi

# Each address a unit: .40 to .42 answer throughout, .43 falls silent after this many requests
# (inside the application's records), .44 is the reference the command line updates.
units=(127.0.0.40 127.0.0.41 127.0.0.42 127.0.0.43)
silent_after=400
pids=()
program_pid=""
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  [ -n "$program_pid" ] && kill -TERM "$program_pid" 2>/dev/null || true
  timeout 30 wineserver -k >/dev/null 2>&1 || true
}
trap cleanup EXIT
[ -f "$WINEPREFIX/system.reg" ] || "$root/scripts/wine-prefix.sh" "$WINEPREFIX" >/dev/null
rm -rf "$work" && mkdir -p "$work" "$shots"

declare -A unit_pid
start_unit() {  # start_unit ADDRESS ARGS...
  local address=$1
  shift
  "$sim" --udp "$address" "$@" --log "$work/$address.json" >"$work/$address.out" 2>&1 </dev/null &
  unit_pid[$address]=$!
  pids+=($!)
  for _ in $(seq 100); do
    grep -q '^ready' "$work/$address.out" 2>/dev/null && return 0
    sleep 0.1
  done
  cat "$work/$address.out" >&2
  fail "unit $address did not start"
}
stop_unit() {  # stop_unit ADDRESS: the unit writes its log
  kill -TERM "${unit_pid[$1]}" 2>/dev/null || true
  wait "${unit_pid[$1]}" 2>/dev/null || true
}
rows() { timeout 30 wine "$rows_exe" 2>/dev/null | tr -d '\r'; }
# Waits until the window's summary says no unit runs or waits; prints the rows then.
wait_for_rest() {
  local shown=""
  for _ in $(seq 300); do
    shown=$(rows || true)
    if grep -q '^summary.* 0 running or waiting' <<<"$shown" && grep -q 'update-all' <<<"$shown"; then
      echo "$shown"
      return 0
    fi
    sleep 1
  done
  echo "$shown" >&2
  fail "the units did not come to rest"
}
key() { xdotool key --clearmodifiers --delay 80 "$@"; }
# From the main window: Ctrl+R, the units typed into the box, Update All, and Yes to its warning.
open_rack_and_update_all() {
  timeout 10 xdotool windowfocus --sync "$main" 2>/dev/null || true
  sleep 1
  key ctrl+r
  timeout 30 xdotool search --sync --name '^Update Rack$' >/dev/null || fail "Ctrl+R opened no rack window"
  sleep 1
  # The unit box has the focus: typed lines go straight into it.
  xdotool type --delay 40 "$(printf '%s\n' "${units[@]}")"
  key alt+u
  timeout 30 xdotool search --sync --name '^Warning$' >/dev/null || fail "Update All asked nothing"
  key Return
}

for address in "${units[@]::3}"; do start_unit "$address"; done
start_unit "${units[3]}" --silent-after "$silent_after"
start_unit 127.0.0.44
"$cli" update --ip 127.0.0.44 >"$work/reference.out" 2>&1 || fail "the reference update failed: $(cat "$work/reference.out")"
stop_unit 127.0.0.44
expected=$(jq -c '[.application.sha256, .flashData.sha256]' "$work/127.0.0.44.json")

# Wine hands a page opened with ShellExecute to a browser of this machine: here to one that
# shows nothing (/bin/true), so the display keeps the rack window in front.
timeout 60 wine reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /d true /f >/dev/null 2>&1 ||
  fail "could not set the prefix's browser"

echo "-- the rack window, opened with Ctrl+R"
timeout --kill-after=10 600 wine "$program" >"$work/program.out" 2>&1 &
program_pid=$!
main=$(timeout 60 xdotool search --sync --name 'Firmware Updater$' | head -n 1) || fail "no main window"
open_rack_and_update_all
shown=$(wait_for_rest)
echo "$shown"
grep -q '^summary	4 units: 3 updated, 1 failed, 0 skipped' <<<"$shown" || fail "not three updated and one failed"
failed_row=$(grep "^row	${units[3]}	" <<<"$shown") || fail "no row for ${units[3]}"
outcome=$(cut -f 6 <<<"$failed_row")
[ -n "$outcome" ] && [ "$(cut -f 3 <<<"$failed_row")" != "Waiting" ] ||
  fail "the failed row does not say why: $failed_row"
for address in "${units[@]::3}"; do
  grep -q "^row	$address	" <<<"$shown" || fail "no row for $address"
done
grep -q 'retry' <<<"$(tail -n 1 <<<"$shown")" || fail "Retry Failed is not offered"

echo "-- the silent unit recovers; Retry Failed (Alt+L) finishes it"
stop_unit "${units[3]}"
mv "$work/${units[3]}.json" "$work/${units[3]}-silent.json"
start_unit "${units[3]}"
key alt+l
sleep 2
shown=$(wait_for_rest)
echo "$shown"
grep -q '^summary	4 units: 4 updated, 0 failed, 0 skipped' <<<"$shown" || fail "the retry did not finish the unit"
shot="$shots/rack-window-finished.png"
import -window root "$shot" && echo "screenshot: $shot"

echo "-- every unit holds what the command line writes"
for address in "${units[@]}"; do
  stop_unit "$address"
  jq -e '.updateFinished == true and .finalMode == "application"' "$work/$address.json" >/dev/null ||
    fail "unit $address did not see a whole update"
  [ "$(jq -c '[.application.sha256, .flashData.sha256]' "$work/$address.json")" = "$expected" ] ||
    fail "unit $address holds other images than the command line's unit"
done

echo "-- the receipts, signed, in the user's folder the window names"
windows_path=$(grep '^receipts' <<<"$shown" | sed 's/^receipts\tReceipts: //')
receipts=$(timeout 30 winepath -u "$windows_path" 2>/dev/null | tr -d '\r')
[ -f "$receipts" ] || fail "no receipts file at $windows_path ($receipts)"
tail -n 5 "$receipts" | jq -e -s --arg silent "${units[3]}" '
  length == 5 and all(.[]; .sig != "" and .key != "")
  and ([.[] | select(.unit == $silent)] | length == 2 and .[0].outcome.exit_code != 0
       and .[1].outcome.exit_code == 0)
  and ([.[] | select(.unit != $silent) | .outcome.exit_code] == [0, 0, 0])' >/dev/null ||
  fail "the receipts do not record the run: $(tail -n 5 "$receipts")"

echo "-- Report... (Alt+P) writes the run's HTML report beside the receipts"
key alt+p
report=""
for _ in $(seq 50); do
  report=$(find "$(dirname "$receipts")" -name 'rack-report-*.html' -newer "$work/${units[3]}-silent.json" | head -n 1)
  [ -n "$report" ] && break
  sleep 0.2
done
[ -n "$report" ] || fail "Report... wrote no report beside $receipts"
for address in "${units[@]}"; do grep -q "$address" "$report" || fail "the report lacks $address"; done
sleep 2
timeout 10 xdotool windowfocus --sync "$(xdotool search --name '^Update Rack$' | head -n 1)" 2>/dev/null || true

echo "-- Stop (Alt+S) stops every unit at its next exchange and says so"
for address in "${units[@]}"; do start_unit "$address" --erase-delay-ms 3000; done
key alt+u
timeout 30 xdotool search --sync --name '^Warning$' >/dev/null || fail "Update All asked nothing"
key Return
sleep 1
# Esc while units run asks first; No leaves them running.
key Escape
timeout 30 xdotool search --sync --name '^Warning$' >/dev/null || fail "Esc while units ran asked nothing"
key n
sleep 1
grep -q '^summary	4 units: .* [1-4] running or waiting' <<<"$(rows)" ||
  fail "answering No to Esc did not leave the units running"
key alt+s
shown=$(wait_for_rest)
echo "$shown"
grep -q '^summary	4 units: 0 updated, 4 failed, 0 skipped.*Stopped before every unit had run' <<<"$shown" ||
  fail "Stop did not stop the run or did not say so"
[ "$(grep -c '^row	.*	Interrupted' <<<"$shown")" -eq 4 ] || fail "not every row says it was interrupted"

echo "-- Esc closes the window at rest"
key Escape
sleep 2
rows >/dev/null && fail "Esc did not close the rack window"

echo "-- Esc while units run, answered Yes, stops them and then closes the window"
for address in "${units[@]}"; do
  stop_unit "$address"
  start_unit "$address" --erase-delay-ms 3000
done
open_rack_and_update_all
sleep 1
key Escape
timeout 30 xdotool search --sync --name '^Warning$' >/dev/null || fail "Esc while units ran asked nothing"
key Return
closed=""
for _ in $(seq 60); do
  rows >/dev/null || { closed=yes; break; }
  sleep 0.5
done
[ -n "$closed" ] || fail "Yes to Esc did not close the window once the units stopped"
for address in "${units[@]}"; do
  stop_unit "$address"
  jq -e '.updateFinished != true' "$work/$address.json" >/dev/null ||
    fail "unit $address finished an update the window was closed on"
done
echo "rack_window_test: four units, one silent and retried, passed"
