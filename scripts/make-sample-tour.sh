#!/usr/bin/env bash
# Regenerates samples/tour/: a small tour of three panoramas (and their fast images) made from
# the sample pictures with `kvp pack`, and the description that places them.
# Usage: scripts/make-sample-tour.sh [KVP]   (needs ffmpeg to scale the pictures)
set -euo pipefail
cd "$(dirname "$0")/.."
kvp=${1:-build/native/bin/kvp}
mars=samples/mars-husband-hill-2048x1024.png
earth=samples/earth-equirect-2048x1024.jpg
out=samples/tour
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

scale() {  # scale IN OUT WIDTH [COLUMNS-TO-TURN]
  local turn=${4:-0} w=$3 h=$(( $3 / 2 ))
  if [ "$turn" -eq 0 ]; then
    ffmpeg -v error -y -i "$1" -vf "scale=$w:$h:flags=area" "$2"
  else
    # Turn the panorama by moving its first columns to the end: the same scene seen with
    # another heading, standing in for a second capture point on the ridge.
    ffmpeg -v error -y -i "$1" -filter_complex \
      "[0]scale=$w:$h:flags=area,split[a][b];[a]crop=$((w - turn)):$h:$turn:0[r];[b]crop=$turn:$h:0:0[l];[r][l]hstack" "$2"
  fi
}

sky=c9a27e  # the Martian sky behind the sample's transparent top
for size in 512 256; do
  scale "$mars" "$work/summit-$size.png" $size
  scale "$mars" "$work/ridge-$size.png" $size $(( size / 4 ))
  scale "$earth" "$work/earth-$size.png" $size
done
for name in summit ridge earth; do
  matte=(); [ "$name" != earth ] && matte=(--matte $sky)
  "$kvp" pack "$work/$name-512.png" -o "$out/$name.pan" --depth 24 --view 90,0,0,0 "${matte[@]}"
  "$kvp" pack "$work/$name-256.png" -o "$out/$name.pa_" --depth 24 --view 90,0,0,0 "${matte[@]}"
done

cat > "$out/tour.ini" <<'INI'
; A small tour: two capture points on the Martian summit and one over the Earth.
; Positions and radii in world units; the environment boxes in thousandths of one.
[Kestrelvue]
VERSION=Release 2.0
Fleetglider=1
Environment Count=2

[Directory 1]
summit.pan=0, 0, 0, 3
ridge.pan=8, 2, 0, 3

[Directory 2]
earth.pan=4, 14, 1, 4

; The summit and the ridge share one box; the Earth has its own; the default box holds all.
[Environment 1]
XMin=-3000
XMax=11000
YMin=-3000
YMax=5000
ZMin=-3000
ZMax=3000

[Environment 2]
XMin=0
XMax=8000
YMin=10000
YMax=18000
ZMin=-3000
ZMax=5000

[Environment]
XMin=-3000
XMax=11000
YMin=-3000
YMax=18000
ZMin=-3000
ZMax=5000

; Centre x y z and edge lengths x y z; the link follows the key's ")".
[Hot Spots]
Ridge(1)ridge.html=8.0 2.0 0.0 1.0 1.0 1.0
Globe(2)earth.html=4.0 14.0 1.0 2.0 2.0 2.0
INI

echo "sample tour written to $out"
