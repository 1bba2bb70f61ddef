#!/usr/bin/env bash
# Runs one Windows program under Wine for ctest: bounded in time, quiet, exit code passed through.
# Uses $WINEPREFIX when set (scripts/test.sh makes a fresh one per run), else a cached prefix.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX="${XDG_CACHE_HOME:-$HOME/.cache}/tessaline-wine"
  [ -f "$WINEPREFIX/system.reg" ] || "$here/wine-prefix.sh" "$WINEPREFIX" >/dev/null
fi
export WINEDEBUG=-all
exec timeout --kill-after=10 "${TESSALINE_WINE_TIMEOUT:-900}" wine "$@"
