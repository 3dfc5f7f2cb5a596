#!/usr/bin/env bash
# Cuts the fuzz targets' seed inputs (fuzz/corpus/<target>/) from the samples: a small piece of
# the Mars picture packed at every depth, with and without hot spots, as container and bitmap;
# the Cinepak fixture; sprite pictures plain and run-length; the sample tour's description.
# Needs build/native/bin/kvp and ffmpeg. Seeds stay a few KB each: the fuzzer mutates them.
set -euo pipefail
cd "$(dirname "$0")/.."
kvp=build/native/bin/kvp
out=fuzz/corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ffmpeg -loglevel error -y -i samples/mars-husband-hill-2048x1024.png -vf scale=32:16 "$work/mars.png"
ffmpeg -loglevel error -y -i samples/earth-equirect-2048x1024.jpg -vf scale=24:8 "$work/earth.png"

for depth in 8 16 24; do
  "$kvp" pack "$work/mars.png" -o "$out/image_file/mars-$depth.pan" --depth "$depth" \
    --view 90,10,-5,0 >/dev/null
done
"$kvp" pack "$work/earth.png" -o "$out/image_file/earth-wide-24.pan" --depth 24 >/dev/null
"$kvp" pack "$work/mars.png" -o "$out/image_file/mars-8.bmp" --depth 8 --bitmap >/dev/null
"$kvp" pack "$work/mars.png" -o "$out/hotspot_block/mars-hotspots.pan" --depth 8 \
  --hotspot 10,5,40,-5,summit.html --hotspot -170,20,-120,0,sound.wav >/dev/null
cp tests/fixtures/cinepak-192x32.pan "$out/image_file/cinepak-192x32.pan"

# Whole files for the open target: a packed image, a wide one, a compressed one, the tour.
cp "$out/image_file/mars-16.pan" "$out/hotspot_block/mars-hotspots.pan" \
   "$out/image_file/cinepak-192x32.pan" "$out/image_file/mars-8.bmp" "$out/open/"

# Descriptions: the sample tour naming the two node images the description target provides.
sed -e 's/summit\.pan/a.pan/; s/ridge\.pan/b.bmp/; s/earth\.pan/#a.pan/' samples/tour/tour.ini \
  >"$out/description/tour.ini"
printf '[Kestrelvue]\nVERSION=Release 2.0\n[Directory]\na.pan=0,0,0,2\nb.bmp=3, 1, 0, 1\n' \
  >"$out/description/plain.ini"
cp "$out/description/tour.ini" "$out/open/tour.ini"

# Sprite pictures from the Mars pixels: 8 bits plain, 24 bits plain, and run-length.
python3 - "$work/mars.png" "$out/sprite_picture" <<'PY'
import struct, subprocess, sys
png, folder = sys.argv[1], sys.argv[2]
w, h = 32, 16
rgb = subprocess.run(["ffmpeg", "-loglevel", "error", "-i", png, "-f", "rawvideo",
                      "-pix_fmt", "bgr24", "-"], capture_output=True, check=True).stdout
def info(bits, compression, size_image, cells=(2, 1)):
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, compression, size_image,
                       cells[0], cells[1], 0, 0)
def bitmap(packed):
    return b"BM" + struct.pack("<IHHI", 14 + len(packed), 0, 0, 54) + packed
table = b"".join(bytes((i, i, i, 0)) for i in range(256))
grey = bytes((rgb[i] + rgb[i + 1] + rgb[i + 2]) // 3 for i in range(0, len(rgb), 3))
open(f"{folder}/grey-8.avt", "wb").write(bitmap(info(8, 0, 0) + table + grey))
open(f"{folder}/colour-24.avt", "wb").write(bitmap(info(24, 0, 0) + rgb))
runs, i = b"", 0
while i < len(grey):
    n = 1
    while i + n < len(grey) and n < 255 and grey[i + n] >> 4 == grey[i] >> 4:
        n += 1
    runs += bytes((n, grey[i] & 0xF0))
    i += n
dkrl = struct.unpack("<I", b"dkrl")[0]
open(f"{folder}/runs.avt", "wb").write(bitmap(info(8, dkrl, 1024 + len(runs)) + table + runs))
PY
ls -l "$out"/*/
