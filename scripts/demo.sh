#!/usr/bin/env bash
# `make demo`: packs the Mars sample into a panorama container, shows its report and renders
# views of it, and of the sample tour, through the viewer's own controller.
set -euo pipefail
cd "$(dirname "$0")/.."
kvp=build/native/bin/kvp
src=samples/mars-husband-hill-2048x1024.png
out=build/demo
mkdir -p "$out"

if [ ! -f "$src" ]; then
  echo "demo: the sample $src is missing" >&2
  exit 2
fi

# The sample's sky is transparent: fill it with a butterscotch Martian sky. The hot spot
# marks the summit ridge ahead and links to a page beside the panorama.
"$kvp" pack "$src" -o "$out/mars.pan" --depth 24 --view 90,0,0,0 --matte c9a27e \
  --hotspot "-20,-10,20,5,summit.html"
cp samples/CREDITS.md "$out/CREDITS.md"

echo "demo: $out/mars.pan"
"$kvp" info "$out/mars.pan"
echo "demo: panorama container written to $(pwd)/$out/mars.pan"

# Views into it, drawn as the viewer draws them: through the panorama controller, its render
# thread and timer, into an offscreen window, settled into the smoothed frame.
for heading in 0 90 180 270; do
  "$kvp" render "$out/mars.pan" -o "$out/mars-heading-$heading.png" --size 800x600 \
    --heading "$heading" --pitch -5 --fov 90 >/dev/null
  echo "demo: view at heading $heading: $(pwd)/$out/mars-heading-$heading.png"
done

# The sample tour, seen from a point on the way from the summit to the ridge: the viewer takes
# the nearest node's panorama and looks along the walk.
"$kvp" info samples/tour/tour.ini
"$kvp" render samples/tour/tour.ini -o "$out/tour-between-nodes.png" --size 800x600 \
  --position 3,1,0 --heading 60 --pitch -5 --fov 90 >/dev/null
echo "demo: the sample tour from between the summit and the ridge: $(pwd)/$out/tour-between-nodes.png"
echo "demo: image credit: NASA/JPL-Caltech/Cornell (public domain), see $out/CREDITS.md"

# ---- The web front end: the sample pages in today's browsers -------------------------------------
# samples/web/index.html embeds the samples as pages did for the plug-in, plus the page script's
# line; a headless Chromium shows it and keeps a screenshot.
make --no-print-directory web || echo "demo: the web build failed"
if [ -f build/web/kestrelvue-core.mjs ]; then
  bash scripts/web-node.sh tests/web/demo-shot.mjs "$out/web.png"
  echo "demo: to open the web demo yourself (kvp serve: this machine only; it prints its port):"
  echo "  $(pwd)/build/native/bin/kvp serve $(pwd)"
  echo "  and open samples/web/index.html under the address it prints (port 8080 when free)"
else
  echo "demo: build/web is missing (make web); no web demo"
fi
