#!/usr/bin/env bash
# `make demo`: packs the bundled Mars panorama into a panorama container, shows its report and
# renders views of it through the viewer's own controller.
set -euo pipefail
shared=${1:-../shared}
cd "$(dirname "$0")/.."
kvp=build/native/bin/kvp
src="$shared/samples/mars-husband-hill-2048x1024.png"
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
cp "$shared/samples/CREDITS.md" "$out/CREDITS.md"

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
echo "demo: image credit: NASA/JPL-Caltech/Cornell (public domain), see $out/CREDITS.md"
