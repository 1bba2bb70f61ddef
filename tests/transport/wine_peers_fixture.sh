#!/usr/bin/env bash
# Starts (or stops) the COM7/COM8 null-modem loop the Windows serial tests use under Wine.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
dir=/tmp/tessaline-com
pidfile=$dir/socat.pid
# The same prefix scripts/wine-run.sh will use for the tests.
export WINEPREFIX=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/tessaline-wine}

stop_socat() {
  if [ -f "$pidfile" ]; then
    kill "$(cat "$pidfile")" 2>/dev/null || true
    rm -f "$pidfile"
  fi
}

case ${1:-} in
  start)
    [ -f "$WINEPREFIX/system.reg" ] || "$root/scripts/wine-prefix.sh" "$WINEPREFIX" >/dev/null
    mkdir -p "$dir"
    stop_socat
    rm -f "$dir/com7" "$dir/com8"
    setsid socat pty,raw,echo=0,link="$dir/com7" pty,raw,echo=0,link="$dir/com8" \
      </dev/null >"$dir/socat.log" 2>&1 &
    echo $! >"$pidfile"
    for _ in $(seq 100); do
      [ -e "$dir/com7" ] && [ -e "$dir/com8" ] && break
      sleep 0.05
    done
    if ! [ -e "$dir/com7" ] || ! [ -e "$dir/com8" ]; then
      echo "com loop: socat did not create $dir/com7 and $dir/com8" >&2
      cat "$dir/socat.log" >&2
      exit 1
    fi
    "$root/scripts/wine-serial-ports.sh" "$WINEPREFIX" COM7="$dir/com7" COM8="$dir/com8"
    ;;
  stop)
    stop_socat
    ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
