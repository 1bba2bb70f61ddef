#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on a Debian machine (as root); safe to rerun.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config googletest
  g++-mingw-w64-x86-64 wine wine64 xvfb xauth fonts-wine
  socat srecord iproute2 imagemagick jq fonts-dejavu-core time chromium poppler-utils xdotool
  clang-14 libclang-rt-14-dev
  libssl-dev nlohmann-json3-dev help2man man-db lintian dpkg-dev wixl
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: run as root (apt-get is needed for: ${missing[*]})" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The mingw toolchain must use the posix thread model (std::thread); Debian ships both.
if [ -x /usr/bin/x86_64-w64-mingw32-g++-posix ]; then :; else
  echo "setup: x86_64-w64-mingw32-g++-posix not found" >&2
  exit 1
fi
echo "setup: all build and test tools present"
