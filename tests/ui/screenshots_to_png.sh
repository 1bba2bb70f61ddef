#!/usr/bin/env bash
# Converts the BMP screenshots the GUI tests saved into PNG files: screenshots_to_png.sh CONVERT DIR
set -euo pipefail
convert=${1:?usage: screenshots_to_png.sh CONVERT DIR}
dir=${2:?usage: screenshots_to_png.sh CONVERT DIR}
shopt -s nullglob
shots=("$dir"/*.bmp)
if ((${#shots[@]} == 0)); then
  echo "no screenshots in $dir" >&2
  exit 1
fi
for bmp in "${shots[@]}"; do
  "$convert" "$bmp" "${bmp%.bmp}.png"
  echo "${bmp%.bmp}.png"
done
