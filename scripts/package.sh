#!/usr/bin/env bash
# Builds the installable packages: the .deb of the Linux programs (checked by lintian: any error
# fails), and the .zip and the .msi (wixl, from packaging/windows/TessalineUpdater.wxs) of the
# Windows programs with their docs. All land in build/packages/.
# usage: package.sh [--deb-only | --msi-only] [--linux-build DIR] [--windows-build DIR]
#   --linux-build/--windows-build reuse a configured build tree instead of build/package-*.
#   --msi-only makes only the .msi, from a Windows build tree whose programs are built.
#   TESSALINE_MSI_VERSION=x.y.z gives the .msi another version (the tests' "older build").
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)
linux_build=$root/build/package-linux
windows_build=$root/build/package-windows
deb_only=false
msi_only=false
while (($#)); do
  case $1 in
    --deb-only) deb_only=true ;;
    --msi-only) msi_only=true ;;
    --linux-build) linux_build=$(realpath "${2:?}"); shift ;;
    --windows-build) windows_build=$(realpath "${2:?}"); shift ;;
    *) echo "usage: package.sh [--deb-only | --msi-only] [--linux-build DIR] [--windows-build DIR]" >&2; exit 2 ;;
  esac
  shift
done
out=$root/build/packages
mkdir -p "$out"

# The .msi from the installed layout of the Windows build (as the .zip holds it). MSI versions
# have three fields; the project's "2.0" is 2.0.0.
make_msi() {
  local project_version version stage msi
  project_version=$(sed -n 's/^project(TessalineUpdater VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
  version=${TESSALINE_MSI_VERSION:-$project_version}
  while [ "$(tr -cd . <<<"$version" | wc -c)" -lt 2 ]; do version=$version.0; done
  stage=$(mktemp -d)
  cmake --install "$windows_build" --prefix "$stage" >/dev/null
  msi=$out/TessalineUpdater-$version-x64.msi
  (cd "$stage" && wixl -a x64 -D Version="$version" -o "$msi" \
    "$root/packaging/windows/TessalineUpdater.wxs")
  rm -rf "$stage"
  echo "built $msi"
}

if $msi_only; then
  echo "== .msi of the Windows programs ($windows_build)"
  make_msi
  exit 0
fi

echo "== .deb of the Linux programs ($linux_build)"
if [ ! -f "$linux_build/CMakeCache.txt" ]; then
  # Debian's hardening flags (all of them, bindnow included), so the binaries are built as
  # Debian builds its own.
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  cmake -S . -B "$linux_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DTESSALINE_BUILD_TESTS=OFF -DTESSALINE_BUILD_BENCH=OFF \
    -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
fi
cmake --build "$linux_build" -j "$jobs" --target tessaline-update tessaline-unit-sim \
  tessaline_man_pages tessaline_changelog
(cd "$linux_build" && cpack -G DEB -B "$out" >/dev/null)
deb=$(ls -t "$out"/*.deb | head -n 1)
echo "built $deb"

echo "== lintian"
# Errors fail; warnings and notes are shown (docs/command-line.md says why each stays).
lintian_log=$out/lintian.txt
lintian --allow-root --tag-display-limit 0 --display-info "$deb" >"$lintian_log" 2>&1 || true
cat "$lintian_log"
if grep -q '^E: ' "$lintian_log"; then
  echo "package: lintian reports errors" >&2
  exit 1
fi

if ! $deb_only; then
  echo "== .zip of the Windows programs ($windows_build)"
  if [ ! -f "$windows_build/CMakeCache.txt" ]; then
    cmake -S . -B "$windows_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DTESSALINE_BUILD_TESTS=OFF -DTESSALINE_BUILD_BENCH=OFF \
      -DTESSALINE_PACKAGE_DIR="$linux_build/package"
  fi
  cmake --build "$windows_build" -j "$jobs" --target tessaline-update TessalineUpdater
  (cd "$windows_build" && cpack -G ZIP -B "$out" >/dev/null)
  echo "built $(ls -t "$out"/*.zip | head -n 1)"
  echo "== .msi of the Windows programs"
  make_msi
fi
rm -rf "$out/_CPack_Packages"
echo "== packages in $out"
