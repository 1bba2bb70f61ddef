#!/usr/bin/env bash
# Try the desktop program: builds the simulator and the package natively and TessalineUpdater.exe
# with mingw-w64, starts a simulated unit at 127.0.0.2 (UDP bootloader) and opens the program under
# Wine. Uses the current X display, or a virtual one (Xvfb) with a screenshot when there is none.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
native="$root/build/linux"
windows="$root/build/windows"
unit_address=127.0.0.2

"$root/scripts/setup.sh"

echo "== native build: simulator and package (build/linux)"
cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSALINE_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$native" --target tessaline-unit-sim tessaline_sample_package -j "$(nproc)"

echo "== Windows build: TessalineUpdater.exe (build/windows)"
cmake -S . -B "$windows" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSALINE_WARNINGS_AS_ERRORS=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DTESSALINE_PACKAGE_DIR="$native/package" >/dev/null
cmake --build "$windows" --target TessalineUpdater -j "$(nproc)"

work=$(mktemp -d /tmp/tessaline-gui-demo.XXXXXX)
export WINEPREFIX="${WINEPREFIX:-$work/wine}" WINEDEBUG=-all
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill -TERM "$sim_pid"
    wait "$sim_pid" || true
  fi
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "== starting a simulated unit in bootload mode at $unit_address"
"$native/tools/unit-sim/tessaline-unit-sim" --udp "$unit_address" >"$work/unit.out" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do
  grep -q '^ready' "$work/unit.out" 2>/dev/null && break
  sleep 0.1
done
grep -q '^ready' "$work/unit.out" || { cat "$work/unit.out" >&2; exit 1; }

[ -f "$WINEPREFIX/system.reg" ] || "$root/scripts/wine-prefix.sh" "$WINEPREFIX" >/dev/null
exe="$windows/windows/TessalineUpdater.exe"
echo "== TessalineUpdater.exe: type $unit_address as IP Address, then press Update"
if [ -n "${DISPLAY:-}" ]; then
  wine "$exe" || true
else
  # No display: run on a virtual one for a while and keep a screenshot of the desktop.
  shot="$root/build/windows/screenshots/gui-demo.png"
  mkdir -p "$(dirname "$shot")"
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "
    timeout ${TESSALINE_DEMO_SECONDS:-20} wine '$exe' &
    sleep \$(( ${TESSALINE_DEMO_SECONDS:-20} / 2 ))
    import -window root '$shot'
    wait
    timeout 30 wineserver -k || true" || true
  echo "no display: screenshot saved to $shot"
fi
