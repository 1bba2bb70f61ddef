#!/usr/bin/env bash
# Checks the .msi under Wine: an older build installs, this build upgrades it (one product left),
# the installed command line and desktop program start, and uninstalling leaves no files behind.
# usage: check-msi.sh OLDER.msi THIS.msi   (WINEPREFIX set to a prefix made for the run; an X
# display for the desktop program, e.g. under xvfb-run)
set -euo pipefail
older=$(realpath "${1:?usage: check-msi.sh OLDER.msi THIS.msi}")
this=$(realpath "${2:?usage: check-msi.sh OLDER.msi THIS.msi}")
root=$(cd "$(dirname "$0")/../.." && pwd)
: "${WINEPREFIX:?set WINEPREFIX to a prefix made for this run}"
export WINEDEBUG=-all
version=$(sed -n 's/^project(TessalineUpdater VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
folder="$WINEPREFIX/drive_c/Program Files/Tessaline Updater"
# Windows puts a per-machine shortcut in the common Start menu; Wine 8's msi uses the user's
# Start menu even with ALLUSERS=1 (measured), so both places count.
shortcuts=("$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tessaline Firmware Updater.lnk"
  "$WINEPREFIX/drive_c/users/${USER:-$(id -un)}/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Tessaline Firmware Updater.lnk")
shortcut_present() { [ -f "${shortcuts[0]}" ] || [ -f "${shortcuts[1]}" ]; }
fail() { echo "check-msi: $*" >&2; exit 1; }
msiexec_run() { timeout 120 wine msiexec "$@" /qn >/dev/null 2>&1 || fail "msiexec $* failed"; }
# Uninstall entries that name the updater (one per installed product).
products() {
  timeout 60 wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r' | grep -c 'DisplayName.*Tessaline Firmware Updater' || true
}

msiexec_run /i "$(winepath -w "$older")"
[ -f "$folder/tessaline-update.exe" ] || fail "the older build did not install"
msiexec_run /i "$(winepath -w "$this")"
[ "$(products)" = 1 ] || fail "after the upgrade $(products) products are installed, not 1"
for file in TessalineUpdater.exe tessaline-update.exe docs/README.md docs/command-line.md; do
  [ -f "$folder/$file" ] || fail "$file is not installed"
done
shortcut_present || fail "no Start menu shortcut"

first_line=$(timeout 60 wine "$folder/tessaline-update.exe" --version 2>/dev/null | head -n 1 | tr -d '\r')
[ "$first_line" = "tessaline-update $version" ] || fail "installed --version says '$first_line'"

# The desktop program has started when it shows a window: taskkill (without /f) finds it only
# then. The close message alone does not end the program, so it is ended by force afterwards.
timeout 60 wine "$folder/TessalineUpdater.exe" >/dev/null 2>&1 &
program=$!
shown=false
for _ in $(seq 40); do
  if timeout 20 wine taskkill /im TessalineUpdater.exe >/dev/null 2>&1; then shown=true; break; fi
  sleep 0.5
done
timeout 20 wine taskkill /f /im TessalineUpdater.exe >/dev/null 2>&1 || true
wait "$program" || true
$shown || fail "the installed desktop program showed no window"

msiexec_run /x "$(winepath -w "$this")"
[ "$(products)" = 0 ] || fail "an uninstall entry is left"
[ ! -e "$folder" ] || fail "files are left: $(find "$folder" | head -n 5)"
! shortcut_present || fail "the Start menu shortcut is left"
echo "check-msi: install, upgrade over $(basename "$older"), start and uninstall passed"
