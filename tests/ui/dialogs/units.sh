#!/usr/bin/env bash
# Starts (start SIM DIR) or stops (stop DIR) the simulated units the dialog tests talk to.
set -euo pipefail
action=$1

# name, then the unit's arguments (@DIR@ is the work directory); every address is on loopback,
# and the serial bootloader's pseudo-terminal becomes COM8 of the Wine prefix.
units=(
  "entering --tcp-text 127.0.161.21:4999 --udp 127.0.161.21 --mode application --pin 4321"
  "refusing --tcp-text 127.0.161.22:4999 --mode application --pin 4321"
  "bootloader --udp 127.0.161.24 --discovery 127.0.161.24"
  "serial --serial-link @DIR@/com8"
)
here=$(cd "$(dirname "$0")" && pwd)

stop_units() {
  local dir=$1
  for pidfile in "$dir"/*.pid; do
    [ -f "$pidfile" ] || continue
    pid=$(cat "$pidfile")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
    rm -f "$pidfile"
  done
}

case $action in
  start)
    sim=$2 dir=$3
    [ -x "$sim" ] || { echo "units.sh: no simulated unit at $sim" >&2; exit 1; }
    mkdir -p "$dir"
    stop_units "$dir"
    for unit in "${units[@]}"; do
      read -r name args <<<"$unit"
      args=${args//@DIR@/$dir}
      # shellcheck disable=SC2086
      "$sim" $args >"$dir/$name.out" 2>&1 &
      echo $! >"$dir/$name.pid"
    done
    for unit in "${units[@]}"; do
      read -r name _ <<<"$unit"
      for _ in $(seq 100); do grep -q '^ready' "$dir/$name.out" && break; sleep 0.1; done
      grep -q '^ready' "$dir/$name.out" || { cat "$dir/$name.out" >&2; stop_units "$dir"; exit 1; }
      echo "$name: $(head -1 "$dir/$name.out")"
    done
    prefix=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/tessaline-wine}
    [ -f "$prefix/system.reg" ] || "$here/../../../scripts/wine-prefix.sh" "$prefix" >/dev/null
    "$here/../../../scripts/wine-serial-ports.sh" "$prefix" "COM8=$dir/com8"
    ;;
  stop)
    stop_units "$2"
    ;;
  *)
    echo "usage: units.sh start SIM DIR | stop DIR" >&2
    exit 2
    ;;
esac
