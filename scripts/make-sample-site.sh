#!/usr/bin/env bash
# Regenerates samples/site/: a small web site for kvpview.exe (and the web front end) made from
# the sample tour's pictures with `kvp`: a page that embeds a thumbnail ("/_" name) whose full
# panorama has hot spots leading to a second page, to the sample tour, to a clip and to a
# sprite picture (the last two are not there: they only show up in the host's log).
# Usage: scripts/make-sample-site.sh [KVP]
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
  --hotspot "90,-15,120,10,rover.avt"
"$kvp" pack "$work/summit-small.png" -o "$out/_mars.pan" --depth 24 --view 90,0,-5,0
"$kvp" pack "$work/earth.png" -o "$out/earth.pan" --depth 8 --view 90,0,0,0 \
  --hotspot "-20,-20,20,20,index.html"

# The tour is the repository's own sample, reached through a link rather than a copy.
ln -sfn ../tour "$out/tour"

cat > "$out/index.html" <<'HTML'
<html>
<head><title>Kestrelvue sample: Husband Hill</title></head>
<body>
<h1>Husband Hill, Mars</h1>
<!-- The thumbnail comes first; the plug-in then asks for mars.pan itself. -->
<embed src="_mars.pan" type="application/x-pan" width="640" height="400">
<p>Hot spots: straight ahead the sample tour; around you the Earth, a clip and a sprite.</p>
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
