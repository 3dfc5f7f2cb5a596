#!/usr/bin/env bash
# Builds the web build's minimal libavcodec (six legacy video decoders) with emscripten from
# Debian's ffmpeg source package, once per package version, into a cache outside the clone.
#
# Usage: build-avcodec-web.sh   prints the install prefix (include/, lib/libavcodec.a,
# lib/libavutil.a) on its last line. The prefix is
# ~/.cache/kestrelvue/avcodec-web-<version>-<recipe>/ (KVP_CACHE_DIR moves the cache); a finished
# prefix is reused as it is. Needs a deb-src entry (scripts/install-deps.sh adds one) and emscripten
# (emcc runs under NODE_PATH=/usr/share/nodejs).
set -euo pipefail

# The same version as the native and Windows builds: one decoder, one behaviour everywhere.
version=$(dpkg-query -W -f='${source:Version}' libavcodec-dev)
version=${version#*:}  # the epoch adds nothing to a folder name
cache=${KVP_CACHE_DIR:-$HOME/.cache/kestrelvue}
# This script is the recipe: a change to it (its flags) builds afresh instead of reusing.
recipe=$(sha256sum "$0" | cut -c1-8)
prefix=$cache/avcodec-web-$version-$recipe

if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

mkdir -p "$cache"
# Two builds of one clone (or two clones) may configure at once: one builds, the other waits.
exec 9>"$prefix.lock"
flock 9
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
work=$(mktemp -d "$cache/avcodec-web-build.XXXXXX")
trap 'rm -rf "$work"' EXIT
log=$cache/avcodec-web-$version.log
echo "build-avcodec-web: building libavcodec $version with emscripten (log: $log)" >&2
{
  cd "$work"
  # The exact version first; a mirror that has moved on still gives a 5.1 of the same ABI.
  apt-get source -q "ffmpeg=$(dpkg-query -W -f='${source:Version}' libavcodec-dev)" ||
    apt-get source -q ffmpeg
  src=$(find "$work" -maxdepth 1 -type d -name 'ffmpeg-*' | head -n 1)
  mkdir build && cd build
  # Only the six decoders, static, no threads (the core runs on the page's thread) and no
  # assembly (wasm has none of ffmpeg's x86 code); --enable-small drops the codecs' long names
  # and other text the page never shows (76 KB less wasm, the same pixels).
  "$src/configure" \
    --prefix="$prefix" \
    --enable-cross-compile --target-os=none --arch=x86_32 \
    --cc=emcc --cxx=em++ --ar=emar --ranlib=emranlib --nm=emnm \
    --enable-static --disable-shared \
    --disable-everything --disable-autodetect --disable-programs --disable-doc \
    --disable-avformat --disable-swscale --disable-swresample --disable-avfilter \
    --disable-avdevice --disable-postproc --disable-network --disable-asm --disable-debug \
    --disable-pthreads --disable-runtime-cpudetect --enable-small \
    --enable-decoder=indeo2,indeo3,indeo4,indeo5,cinepak,msvideo1
  make -j 2
  rm -rf "$prefix"
  make install
} >"$log" 2>&1 || {
  echo "build-avcodec-web: the build failed; the end of $log:" >&2
  tail -n 30 "$log" >&2
  exit 1
}
touch "$prefix/.complete"
echo "$prefix"
