#!/usr/bin/env bash
# Regenerates samples/site/: a small web site for kvpview.exe (and the web front end) made from
# the sample tour's pictures with `kvp`: a page that embeds a thumbnail ("/_" name) whose full
# panorama has hot spots leading to a second page, to the sample tour, to a video clip, to a
# sound and to a sprite picture (rover.avt, written by `kvp sprite`).
# Usage: scripts/make-sample-site.sh [KVP]   (the clips need sox and ffmpeg)
set -euo pipefail
cd "$(dirname "$0")/.."
kvp=${1:-build/native/bin/kvp}
out=samples/site
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# The tour's summit panorama at 512 x 256 and its 256 x 128 fast image serve as the full
# panorama and its thumbnail; the Earth, in 256 colours, is the second page's.
"$kvp" export samples/tour/summit.pan -o "$work/summit.png"
"$kvp" export samples/tour/summit.pa_ -o "$work/summit-small.png"
"$kvp" export samples/tour/earth.pan -o "$work/earth.png"
"$kvp" pack "$work/summit.png" -o "$out/mars.pan" --depth 24 --view 90,0,-5,0 \
  --hotspot "-60,-15,-30,10,earth.html" \
  --hotspot "-15,-15,15,10,tour.html" \
  --hotspot "30,-15,60,10,clip.avi" \
  --hotspot "17,-12,28,-1,rover.avt" \
  --hotspot "-120,-15,-90,10,bell.wav"
"$kvp" pack "$work/summit-small.png" -o "$out/_mars.pan" --depth 24 --view 90,0,-5,0
"$kvp" pack "$work/earth.png" -o "$out/earth.pan" --depth 8 --view 90,0,0,0 \
  --hotspot "-20,-20,20,20,index.html"

# The clips, kept small: a one-second fading bell (8-bit mono, 11025 Hz) and two seconds of
# FFmpeg's test picture at 128 x 96 in Cinepak, a codec every Windows (and Wine) plays
# through MCI.
# No dither (-D), so the file comes out the same each time.
sox -D -n -r 11025 -c 1 -b 8 "$out/bell.wav" synth 1 sine 880 fade 0 1 0.8
ffmpeg -v error -y -f lavfi -i "testsrc2=size=128x96:rate=10" -t 2 -c:v cinepak -an \
  -fflags +bitexact -flags:v +bitexact "$out/clip.avi"

# The sprite picture for the last hot spot: a disc cut from the Earth picture, coded in runs
# with index 0 as the see-through colour around it.
ffmpeg -v error -y -i "$work/earth.png" -vf "crop=128:128,scale=64:64,format=rgba,\
geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='if(lt(hypot(X-31.5,Y-31.5),31),255,0)'" \
  -frames:v 1 "$work/rover.png"
"$kvp" sprite "$work/rover.png" -o "$out/rover.avt" --rle

# The tour is the repository's own sample, reached through a link rather than a copy.
ln -sfn ../tour "$out/tour"

cat > "$out/index.html" <<'HTML'
<html>
<head><title>Kestrelvue sample: Husband Hill</title></head>
<body>
<h1>Husband Hill, Mars</h1>
<!-- The thumbnail comes first; the plug-in then asks for mars.pan itself. -->
<embed src="_mars.pan" type="application/x-pan" width="640" height="400">
<p>Hot spots: straight ahead the sample tour; around you the Earth, a clip, a bell and a
sprite.</p>
</body>
</html>
HTML

cat > "$out/earth.html" <<'HTML'
<html>
<head><title>Kestrelvue sample: the Earth</title></head>
<body>
<object data="earth.pan" type="application/x-pan" width="640" height="400">
  <embed src="earth.pan" type="application/x-pan" width="640" height="400">
</object>
<p><a href="index.html">Back to Mars</a> (or click the hot spot straight ahead).</p>
</body>
</html>
HTML

cat > "$out/tour.html" <<'HTML'
<html>
<head><title>Kestrelvue sample: the tour</title></head>
<body>
<embed src="tour/tour.ini" type="application/x-pan" width="640" height="400">
</body>
</html>
HTML

echo "sample site written to $out"
