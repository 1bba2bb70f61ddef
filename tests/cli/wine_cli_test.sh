#!/usr/bin/env bash
# tessaline-update.exe under Wine, as a Windows user runs it: a full update of a simulated unit
# over UDP and over COM9 (a pseudo-terminal), then doctor inside a network namespace made here
# (one veth pair, so its discovery request never leaves the namespace).
# usage: wine_cli_test.sh PROGRAM.exe SIMULATOR WORKDIR    (exit 77: namespaces unavailable)
set -euo pipefail
program=${1:?usage: wine_cli_test.sh PROGRAM.exe SIMULATOR WORKDIR}
sim=${2:?simulator path}
work=${3:?work directory}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
export WINEPREFIX=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/tessaline-wine}
export WINEDEBUG=-all
space=tsl-wine-doctor-$$
fail() { echo "wine_cli_test: $*" >&2; exit 1; }

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  ip netns del "$space" 2>/dev/null || true
}
trap cleanup EXIT

[ -x "$sim" ] || fail "no simulator at $sim (build the native tree)"
[ -f "$WINEPREFIX/system.reg" ] || "$root/scripts/wine-prefix.sh" "$WINEPREFIX" >/dev/null
rm -rf "$work" && mkdir -p "$work"

start_unit() {  # start_unit NAME ARGS...
  local name=$1
  shift
  "$sim" "$@" --log "$work/$name.json" >"$work/$name.out" 2>&1 </dev/null &
  pids+=($!)
  for _ in $(seq 100); do
    grep -q '^ready' "$work/$name.out" 2>/dev/null && return 0
    sleep 0.1
  done
  cat "$work/$name.out" >&2
  fail "unit $name did not start"
}

# Stops a unit so that it writes its log; the update must have reached its end.
check_unit_log() {  # check_unit_log NAME PID
  kill -TERM "$2"
  wait "$2" || true
  jq -e '.updateFinished == true and .flashData.length > 0' "$work/$1.json" >/dev/null ||
    fail "unit $1 did not see a whole update: $(head -c 400 "$work/$1.json")"
}

run_update() {  # run_update NAME ARGS...
  local name=$1
  shift
  local code=0
  "$root/scripts/wine-run.sh" "$program" update "$@" --json >"$work/$name.events" 2>"$work/$name.err" || code=$?
  [ "$code" -eq 0 ] || fail "update $* exited $code: $(tail -n 3 "$work/$name.events" "$work/$name.err")"
  tail -n 1 "$work/$name.events" | jq -e '.event == "result" and .result == "succeeded"' >/dev/null ||
    fail "update $* did not end with a succeeded result"
}

echo "-- version"
"$root/scripts/wine-run.sh" "$program" --version | tr -d '\r' | head -n 1 | grep -q '^tessaline-update [0-9]' ||
  fail "--version does not name the program and its version"

echo "-- update over UDP"
start_unit udp --udp 127.0.0.12
run_update udp --ip 127.0.0.12
check_unit_log udp "${pids[-1]}"

echo "-- update over COM9"
start_unit serial --serial-link "$work/com9"
"$root/scripts/wine-serial-ports.sh" "$WINEPREFIX" "COM9=$work/com9"
run_update serial --port COM9
check_unit_log serial "${pids[-1]}"
[ "$(jq -r .application.sha256 "$work/udp.json")" = "$(jq -r .application.sha256 "$work/serial.json")" ] ||
  fail "the units updated over UDP and over COM9 hold different application images"

echo "-- doctor inside a network namespace"
if ! ip netns add "$space" 2>/dev/null; then
  echo "wine_cli_test: network namespaces are not available: doctor not tried"
  exit 77
fi
ip -n "$space" link set lo up
ip -n "$space" link add tslw0 type veth peer name tslw1
ip -n "$space" addr add 198.51.100.1/24 dev tslw0
ip -n "$space" link set tslw0 up
ip -n "$space" link set tslw1 up
# A wineserver started outside would own the sockets; the one started here lives in the namespace.
timeout 60 wineserver -k >/dev/null 2>&1 || true
code=0
ip netns exec "$space" "$root/scripts/wine-run.sh" "$program" doctor --json >"$work/doctor.events" 2>"$work/doctor.err" || code=$?
timeout 60 wineserver -k >/dev/null 2>&1 || true
tr -d '\r' <"$work/doctor.events" >"$work/doctor.jsonl"
[ "$code" -eq 0 ] || fail "doctor exited $code: $(cat "$work/doctor.jsonl" "$work/doctor.err")"
jq -e -s 'map(select(.event == "doctor"))[0] | .blocked == false and .discovery.requests_sent >= 1
       and any(.interfaces[]; .address == "198.51.100.1" and .subnet == "198.51.100.0/24"
               and .broadcast == "198.51.100.255" and .request_sent)' \
  "$work/doctor.jsonl" >/dev/null || fail "doctor's report lacks the veth: $(cat "$work/doctor.jsonl")"
jq -e -s 'map(select(.event == "doctor"))[0] | .firewall | type == "string"' "$work/doctor.jsonl" >/dev/null ||
  fail "doctor's report lacks the firewall state"
echo "wine_cli_test: updates over UDP and COM9 and doctor passed"
