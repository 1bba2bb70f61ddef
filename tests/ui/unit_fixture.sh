#!/usr/bin/env bash
# Starts or stops the simulated units that the window's update tests talk to:
#   127.0.0.2  a unit of the package's variant, bootloader on UDP
#   127.0.0.4  a unit of another variant (GD32 with ADAU1462)
#   127.0.0.5  a unit whose version read back stays the one from before the write
#   127.0.0.6  a unit that runs application 2.0, newer than the package
#   COM7       a unit of the package's variant on a pseudo-terminal mapped into the Wine prefix
# usage: unit_fixture.sh start|stop SIMULATOR WORKDIR
set -euo pipefail
action=${1:?usage: unit_fixture.sh start|stop SIMULATOR WORKDIR}
sim=${2:?simulator path}
work=${3:?work directory}
here=$(cd "$(dirname "$0")" && pwd)
prefix=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/tessaline-wine}

stop_units() {
  for pidfile in "$work"/*.pid; do
    [ -f "$pidfile" ] || continue
    pid=$(cat "$pidfile")
    kill -TERM "$pid" 2>/dev/null || true
    rm -f "$pidfile"
  done
}

start_unit() {  # start_unit NAME ARGS...
  local name=$1
  shift
  setsid "$sim" "$@" >"$work/$name.out" 2>&1 </dev/null &
  echo $! >"$work/$name.pid"
  for _ in $(seq 100); do
    grep -q '^ready' "$work/$name.out" 2>/dev/null && return 0
    kill -0 "$(cat "$work/$name.pid")" 2>/dev/null || break
    sleep 0.1
  done
  echo "unit_fixture: unit $name did not start:" >&2
  cat "$work/$name.out" >&2
  return 1
}

case $action in
  start)
    [ -x "$sim" ] || { echo "unit_fixture: no simulator at $sim (build the native tree)" >&2; exit 1; }
    mkdir -p "$work"
    stop_units
    start_unit udp --udp 127.0.0.2
    start_unit other --udp 127.0.0.4 --identity Tessaline,GD32,ADAU1462
    start_unit stale --udp 127.0.0.5 --stale-version
    start_unit newer --udp 127.0.0.6 --app-version 2.0
    start_unit serial --serial-link "$work/com7"
    [ -f "$prefix/system.reg" ] || "$here/../../scripts/wine-prefix.sh" "$prefix" >/dev/null
    "$here/../../scripts/wine-serial-ports.sh" "$prefix" "COM7=$work/com7"
    ;;
  stop)
    stop_units
    ;;
  *)
    echo "usage: unit_fixture.sh start|stop SIMULATOR WORKDIR" >&2
    exit 2
    ;;
esac
