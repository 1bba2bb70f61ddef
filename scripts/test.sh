#!/usr/bin/env bash
# Runs every test: the native suite, the Windows build of the same tests under Wine, and the
# hardening runs. Installs what it needs first (scripts/setup.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)
# Each step says how long the one before it took, so a slow run shows where its time went.
step_start=$SECONDS
step() {
  echo "== $1   [at $SECONDS s; the step before took $((SECONDS - step_start)) s]"
  step_start=$SECONDS
}

"$root/scripts/setup.sh"

# A Release build, as a packager makes it: the suite tests the very programs the .deb ships.
step "native Release build"
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSALINE_WARNINGS_AS_ERRORS=ON
cmake --build build/linux -j "$jobs"
step "native tests"
ctest --test-dir build/linux --output-on-failure -j "$jobs"

step "the .deb of the native build, checked by lintian"
"$root/scripts/package.sh" --deb-only --linux-build build/linux

step "Windows build"
cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSALINE_WARNINGS_AS_ERRORS=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DTESSALINE_PACKAGE_DIR="$root/build/linux/package"
cmake --build build/windows -j "$jobs"
WINEPREFIX=$(mktemp -d /tmp/tessaline-wine.XXXXXX)
export WINEPREFIX WINEDEBUG=-all
cleanup() { timeout 30 wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"; }
trap cleanup EXIT
"$root/scripts/wine-prefix.sh" "$WINEPREFIX" >/dev/null
step "Windows tests under Wine"
# Windows GUI tests need an X display; the core tests do not mind one.
xvfb-run -a -s "-screen 0 1280x1024x24" \
  bash -c 'ctest --test-dir build/windows --output-on-failure -j 1; rc=$?; timeout 30 wineserver -k || true; exit $rc'

step "the .msi under Wine: install, upgrade over an older build, start, uninstall"
TESSALINE_MSI_VERSION=1.9 "$root/scripts/package.sh" --msi-only --windows-build build/windows
"$root/scripts/package.sh" --msi-only --windows-build build/windows
msi_version=$(sed -n 's/^project(TessalineUpdater VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
while [ "$(tr -cd . <<<"$msi_version" | wc -c)" -lt 2 ]; do msi_version=$msi_version.0; done
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '"$0" "$1" "$2"; rc=$?; timeout 30 wineserver -k || true; exit $rc' \
  "$root/packaging/windows/check-msi.sh" build/packages/TessalineUpdater-1.9.0-x64.msi \
  "build/packages/TessalineUpdater-$msi_version-x64.msi"

if [ -x "$root/scripts/hardening.sh" ]; then
  step "hardening: sanitizers and short fuzz runs"
  "$root/scripts/hardening.sh"
fi
step "all tests passed"
