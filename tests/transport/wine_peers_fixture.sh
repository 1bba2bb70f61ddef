#!/usr/bin/env bash
# Starts (or stops) the host-side peers of the transport tests under Wine: the COM7/COM8 null-modem
# loop, and a UDP sender on 127.0.0.3 (Wine itself can send from no loopback address but 127.0.0.1).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
dir=/tmp/tessaline-com
stranger_control_port=46234  # kStrangerControlPort in loopback.h
# The same prefix scripts/wine-run.sh will use for the tests.
export WINEPREFIX=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/tessaline-wine}

stop_group() {
  local pidfile=$1
  if [ -f "$pidfile" ]; then
    kill -- -"$(cat "$pidfile")" 2>/dev/null || true
    rm -f "$pidfile"
  fi
}

# Orders are "<target port> <ack port>": send BAD from 127.0.0.3 to the target, then ack.
stranger_loop() {
  socat -u UDP4-RECV:$stranger_control_port,bind=127.0.0.1 STDOUT | while read -r target ack; do
    printf BAD | socat -u STDIN UDP4-SENDTO:127.0.0.1:"$target",bind=127.0.0.3 || true
    printf SENT | socat -u STDIN UDP4-SENDTO:127.0.0.1:"$ack" || true
  done
}

case ${1:-} in
  start)
    [ -f "$WINEPREFIX/system.reg" ] || "$root/scripts/wine-prefix.sh" "$WINEPREFIX" >/dev/null
    mkdir -p "$dir"
    stop_group "$dir/socat.pid"
    stop_group "$dir/stranger.pid"
    rm -f "$dir/com7" "$dir/com8"
    setsid socat pty,raw,echo=0,link="$dir/com7" pty,raw,echo=0,link="$dir/com8" \
      </dev/null >"$dir/socat.log" 2>&1 &
    echo $! >"$dir/socat.pid"
    export -f stranger_loop
    export stranger_control_port
    setsid bash -c stranger_loop </dev/null >"$dir/stranger.log" 2>&1 &
    echo $! >"$dir/stranger.pid"
    for _ in $(seq 100); do
      [ -e "$dir/com7" ] && [ -e "$dir/com8" ] && break
      sleep 0.05
    done
    if ! [ -e "$dir/com7" ] || ! [ -e "$dir/com8" ]; then
      echo "wine peers: socat did not create $dir/com7 and $dir/com8" >&2
      cat "$dir/socat.log" >&2
      exit 1
    fi
    "$root/scripts/wine-serial-ports.sh" "$WINEPREFIX" COM7="$dir/com7" COM8="$dir/com8"
    ;;
  stop)
    stop_group "$dir/socat.pid"
    stop_group "$dir/stranger.pid"
    ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
