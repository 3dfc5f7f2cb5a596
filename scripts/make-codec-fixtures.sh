#!/usr/bin/env bash
# Makes the Cinepak and Video 1 fixtures of the built-in decoders in tests/fixtures/ (run
# once by hand; needs ffmpeg and a native build of kvp):
#   codec-NAME.png  the source picture, cut down from a sample
#   codec-NAME.pan  a panorama container whose image is that picture as one frame compressed
#                   by FFmpeg's encoder ("cvid" 24 bits, "MSVC" 16 bits)
# and prints the PSNR FFmpeg's own decoder reaches on each, the floor the tests hold ours to.
set -euo pipefail
cd "$(dirname "$0")/.."
kvp=build/native/bin/kvp
out=tests/fixtures
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# NAME SAMPLE WIDTH HEIGHT
picture() {
  ffmpeg -v error -y -i "samples/$2" -vf "scale=$3:$4:flags=area" -pix_fmt rgb24 -frames:v 1 \
    "$out/codec-$1.png"
}

# NAME CODEC ENCODER PIXEL-FORMAT DEPTH
frame() {
  local name=$1 code=$2 encoder=$3 format=$4 depth=$5 src=$out/codec-${1%-*}.png
  # Both encoders work in 4 x 4 blocks: a picture of another size is encoded padded, and the
  # decoder's picture is cut back to the header's size.
  ffmpeg -v error -y -i "$src" -frames:v 1 -vf "pad=ceil(iw/4)*4:ceil(ih/4)*4" \
    -c:v "$encoder" -pix_fmt "$format" "$work/$name.avi"
  ffmpeg -v error -y -i "$work/$name.avi" -c:v copy -f rawvideo "$work/$name.frame"
  "$kvp" pack "$src" -o "$out/codec-$name.pan" --depth "$depth" \
    --frame "$code:$work/$name.frame" >/dev/null
  printf '%-16s %s bytes, FFmpeg PSNR ' "$name" "$(stat -c %s "$out/codec-$name.pan")"
  local size
  size=$(ffprobe -v error -select_streams v -show_entries stream=width,height -of csv=p=0:s=x "$src" | tr x :)
  ffmpeg -v info -i "$src" -i "$work/$name.avi" -lavfi "[1]crop=$size:0:0[d];[0][d]psnr" \
    -f null - 2>&1 |
    sed -n 's/.*PSNR.* average:\([0-9.inf]*\).*/\1 dB/p'
}

picture mars mars-husband-hill-2048x1024.png 160 80    # 2:1, widths a multiple of 4
picture earth earth-equirect-2048x1024.jpg 150 75      # width and height not
picture strip mars-husband-hill-2048x1024.png 240 40   # six times as wide: placed
# Video 1 decoders code only whole 4 x 4 blocks of the stated size, so its frames keep to
# sizes that are multiples of 4.
for p in mars earth strip; do
  frame "$p-cvid" cvid cinepak rgb24 24
done
for p in mars strip; do
  frame "$p-msvc" MSVC msvideo1 rgb555le 16
done
