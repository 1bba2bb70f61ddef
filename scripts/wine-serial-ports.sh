#!/usr/bin/env bash
# Maps Windows COM ports to host serial devices in a Wine prefix: wine-serial-ports.sh PREFIX COMn=/path...
# Wine reads HKLM\Software\Wine\Ports when its server starts, so the server is restarted here.
set -euo pipefail
prefix=${1:?usage: wine-serial-ports.sh PREFIX COMn=/path ...}
shift
export WINEPREFIX=$prefix WINEDEBUG=-all
for pair in "$@"; do
  port=${pair%%=*}
  device=${pair#*=}
  if [[ ! $port =~ ^COM[0-9]+$ ]] || [ -z "$device" ] || [ "$device" = "$pair" ]; then
    echo "wine-serial-ports: expected COMn=/path, got '$pair'" >&2
    exit 2
  fi
  timeout 60 wine reg add 'HKLM\Software\Wine\Ports' /v "$port" /t REG_SZ /d "$device" /f >/dev/null 2>&1
done
timeout 60 wineserver -k >/dev/null 2>&1 || true
timeout 60 wineserver -w >/dev/null 2>&1 || true
