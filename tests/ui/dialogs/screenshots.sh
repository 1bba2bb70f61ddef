#!/usr/bin/env bash
# Turns the dialog screenshots the Windows tests saved as BMP into PNG files.
set -euo pipefail
dir=$1
convert=$(command -v /usr/bin/convert || command -v convert)
shopt -s nullglob
for bmp in "$dir"/*.bmp; do
  "$convert" "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
ls "$dir" 2>/dev/null || true
