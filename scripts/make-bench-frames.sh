#!/usr/bin/env bash
# Makes the frames of the codec benchmark (kvp_codec_bench), once: the 2048x1024 Mars sample
# as one Cinepak frame (24 bits) and one Video 1 frame (16 bits), each in a panorama container
# under build/bench/. Needs ffmpeg and a native build of kvp.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/bench
mkdir -p "$out"
src=samples/mars-husband-hill-2048x1024.png
# CODE ENCODER PIXEL-FORMAT DEPTH
frame() {
  local pan=$out/codec-2048-$1.pan
  [ -f "$pan" ] && return 0
  local work
  work=$(mktemp -d)
  ffmpeg -v error -y -i "$src" -frames:v 1 -c:v "$2" -pix_fmt "$3" "$work/f.avi"
  ffmpeg -v error -y -i "$work/f.avi" -c:v copy -f rawvideo "$work/f.frame"
  build/native/bin/kvp pack "$src" -o "$pan" --depth "$4" --frame "$1:$work/f.frame" >/dev/null
  rm -rf "$work"
}
frame cvid cinepak rgb24 24
frame MSVC msvideo1 rgb555le 16
