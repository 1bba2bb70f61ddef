#!/usr/bin/env bash
# Draws the program's icons and splash picture with ImageMagick, the same bytes on every run.
# usage: make_art.sh CONVERT OUTPUT_DIR
set -euo pipefail
convert=${1:?usage: make_art.sh CONVERT OUTPUT_DIR}
out=${2:?usage: make_art.sh CONVERT OUTPUT_DIR}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# No dates or tool names inside the files, so rebuilds are byte-identical.
strip=(-define png:exclude-chunks=date,time -strip)

# A mixer face: a dark rounded panel with three fader slots; the knob heights tell the frame.
# fader KNOB1 KNOB2 KNOB3 SIZE FILE   (knob positions are fractions of the slot, in percent)
fader_icon() {
  local k1=$1 k2=$2 k3=$3 size=$4 file=$5
  local s=256 draw=""
  local x
  for i in 0 1 2; do
    x=$((64 + i * 64))
    draw+=" fill #1b2430 rectangle $((x - 6)),52 $((x + 6)),204"
  done
  local ks=("$k1" "$k2" "$k3") colours=("#f5a623" "#4fc3f7" "#7ed957")
  for i in 0 1 2; do
    x=$((64 + i * 64))
    local y=$((196 - ks[i] * 136 / 100))
    draw+=" fill ${colours[i]} roundrectangle $((x - 22)),$((y - 12)) $((x + 22)),$((y + 12)) 6,6"
  done
  "$convert" -size ${s}x${s} xc:none \
    -fill '#2e3b4e' -stroke '#0d1520' -strokewidth 8 -draw "roundrectangle 8,8 247,247 40,40" \
    -stroke none -draw "$draw" \
    -resize ${size}x${size} "${strip[@]}" "PNG32:$file"
}

icon_group() {  # icon_group NAME K1 K2 K3
  local name=$1
  for size in 48 32 16; do fader_icon "$2" "$3" "$4" $size "$work/$name-$size.png"; done
  "$convert" "$work/$name-48.png" "$work/$name-32.png" "$work/$name-16.png" "$out/$name.ico"
}

icon_group updater 70 35 55
# Tray frames: the faders move in a wave, one step per frame.
icon_group tray_frame_1 20 50 80
icon_group tray_frame_2 50 80 50
icon_group tray_frame_3 80 50 20
icon_group tray_frame_4 50 20 50

# Splash: a deep blue gradient with the fader panel and the product name.
fader_icon 70 35 55 150 "$work/panel.png"
"$convert" -size 382x192 gradient:'#0f2a4a'-'#2f6fa8' \
  "$work/panel.png" -geometry +20+21 -composite \
  -fill white -font DejaVu-Sans-Bold -pointsize 26 -annotate +188+88 'Tessaline' \
  -fill '#cfe3f7' -font DejaVu-Sans -pointsize 15 -annotate +190+114 'Firmware Updater' \
  -fill '#8fb3d6' -pointsize 11 -annotate +190+170 'Version 2.0' \
  -alpha off -type TrueColor "${strip[@]}" "BMP3:$out/splash.bmp"
