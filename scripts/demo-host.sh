#!/usr/bin/env bash
# Runs kvpview.exe with the plug-in on the sample site under Wine on a private Xvfb screen and
# keeps screenshots of it: build/demo-host/*.png, with kvpview's log beside each.
# Usage: scripts/demo-host.sh [PLUGIN.DLL]   (default: build/win32/bin/Qorvane.DLL)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/win32/bin
plugin=${1:-$bin/Qorvane.DLL}
out=build/demo-host
for needed in "$bin/kvpview.exe" "$plugin"; do
  if [ ! -f "$needed" ]; then
    echo "demo-host: $needed is missing (make win32 builds it)" >&2
    exit 2
  fi
done
mkdir -p "$out"
cp samples/CREDITS.md "$out/CREDITS.md"

# Xvfb keeps its screen as an X window dump in the -fbdir folder: the screenshot is a copy.
screen=$(mktemp -d)
display=:$(( 90 + RANDOM % 400 ))
Xvfb "$display" -screen 0 1024x768x24 -fbdir "$screen" -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$screen"' EXIT
for _ in $(seq 50); do [ -f "$screen/Xvfb_screen0" ] && break; sleep 0.1; done
export DISPLAY=$display

# shot NAME PAGE LOG-TEXT [kvpview options]: opens the page, waits until kvpview's log holds
# LOG-TEXT (the last file delivered) and a few seconds more for the plug-in to draw, takes the
# screen, and lets the window close itself.
shot() {
  local name=$1 page=$2 text=$3
  shift 3
  rm -f "$out/$name.log"
  scripts/wine-run.sh --prefix build/win32/wineprefix "$bin/kvpview.exe" "$page" \
    --plugin "$plugin" --size 700x480 --log "$out/$name.log" --close-after 40 "$@" \
    >/dev/null 2>&1 &
  local viewer=$!
  for _ in $(seq 300); do
    grep -qF "$text" "$out/$name.log" 2>/dev/null && break
    sleep 0.1
  done
  sleep 4
  if [ -n "${BEFORE_SHOT:-}" ]; then "$BEFORE_SHOT"; fi
  python3 scripts/xwd-to-png.py "$screen/Xvfb_screen0" "$out/$name.png"
  if [ -n "${AFTER_SHOT:-}" ]; then "$AFTER_SHOT"; fi
  wait $viewer || true
  echo "demo-host: $name: $(pwd)/$out/$name.png (log $out/$name.log)"
}

shot index samples/site/index.html "DestroyStream 1 http://localhost/mars.pan"
shot earth samples/site/earth.html "DestroyStream 1 http://localhost/earth.pan"
shot tour samples/site/tour.html "DestroyStream 1 http://localhost/tour/tour.ini"
# The context menu: a right click through the X server (scripts/x-input.py) into the middle of
# the page's 640 x 400 panorama, measured from the window's corner; taken while the menu is up.
open_menu() {
  local corner
  corner=$(python3 scripts/x-input.py find "Kestrelvue sample: Husband Hill") || return 0
  python3 scripts/x-input.py click 3 $(( ${corner% *} + 330 )) $(( ${corner#* } + 230 ))
  sleep 1
}
close_menu() { python3 scripts/x-input.py key Escape; }
BEFORE_SHOT=open_menu AFTER_SHOT=close_menu \
  shot menu samples/site/index.html "DestroyStream 1 http://localhost/mars.pan"
# The sprite: a left click on the rover.avt hot spot, left of the centre, places the sprite
# picture the host then delivers; the shot waits for that file.
place_sprite() {
  local corner
  corner=$(python3 scripts/x-input.py find "Kestrelvue sample: Husband Hill") || return 0
  python3 scripts/x-input.py click 1 $(( ${corner% *} + 195 )) $(( ${corner#* } + 215 ))
  for _ in $(seq 100); do
    grep -qF "DestroyStream 1 http://localhost/rover.avt" "$out/sprite.log" && break
    sleep 0.1
  done
  sleep 2
}
BEFORE_SHOT=place_sprite \
  shot sprite samples/site/index.html "DestroyStream 1 http://localhost/mars.pan"
shot full samples/site/mars.pan "DestroyStream 1 http://localhost/mars.pan" --full
echo "demo-host: to look around yourself on a desktop: scripts/wine-run.sh --prefix build/win32/wineprefix $bin/kvpview.exe samples/site/index.html"
echo "demo-host: image credit: NASA/JPL-Caltech/Cornell, NASA Blue Marble (public domain), see $out/CREDITS.md"
