#!/usr/bin/env bash
# Makes the Cinepak test fixtures in tests/fixtures/ (run once by hand; needs ffmpeg and
# python3, which neither the build nor the tests need):
#   cinepak-WxH.pan  a packed image: 40-byte header (24 bits, compression "cvid") + one frame
#   cinepak-WxH.bgr  FFmpeg's own decode of that frame: bottom-up rows of blue, green, red
set -euo pipefail
cd "$(dirname "$0")/.."
out=tests/fixtures
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

make_one() {
  local w=$1 h=$2
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=${w}x${h}:rate=1" -frames:v 1 \
    -c:v cinepak "$work/frame.avi"
  ffmpeg -v error -y -i "$work/frame.avi" -c:v copy -f rawvideo "$work/frame.cvid"
  ffmpeg -v error -y -i "$work/frame.avi" -vf vflip -pix_fmt bgr24 -f rawvideo \
    "$out/cinepak-${w}x${h}.bgr"
  python3 - "$w" "$h" "$work/frame.cvid" "$out/cinepak-${w}x${h}.pan" <<'PY'
import struct, sys
w, h = int(sys.argv[1]), int(sys.argv[2])
frame = open(sys.argv[3], 'rb').read()
header = struct.pack('<IiiHH4sIiiII', 40, w, h, 1, 24, b'cvid', len(frame), 0, 0, 0, 0)
open(sys.argv[4], 'wb').write(header + frame)
PY
}

make_one 128 64   # 2:1, not wide
make_one 192 32   # exactly six times as wide as high: placed in a 128-row image
ls -l "$out"/cinepak-*
