#!/usr/bin/env bash
# Creates a fresh 64-bit Wine prefix for the tests: no window-manager waits, quiet, ready to use.
set -euo pipefail
prefix=${1:?usage: wine-prefix.sh DIR}
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$prefix"
timeout 120 wineboot -i >/dev/null 2>&1 || true
timeout 60 wineserver -w || true
# Without a window manager Wine waits 2 s whenever a top-level window is shown or hidden; a
# virtual desktop removes that wait and lets Wine draw captions for screenshots.
cat > "$prefix/tessaline.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="1024x768"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
"Decorated"="N"
REG
timeout 60 wine regedit "$prefix/tessaline.reg" >/dev/null 2>&1 || true
timeout 60 wineserver -k || true
echo "$prefix"
