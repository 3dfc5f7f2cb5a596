#!/usr/bin/env bash
# Cross-builds the Windows build's minimal libavcodec (six legacy video decoders) from Debian's
# ffmpeg source package, once per package version, into a cache outside the clone.
#
# Usage: build-avcodec-win32.sh   prints the install prefix (bin/*.dll, include/, lib/) on its last
# line. The prefix is ~/.cache/kestrelvue/avcodec-win32-<version>-<recipe>/ (KVP_CACHE_DIR moves the
# cache); a finished prefix is reused as it is. Needs a deb-src entry (scripts/install-deps.sh adds
# one) and g++-mingw-w64-i686.
set -euo pipefail

# The version of the headers the native build compiles against: the same ABI on both builds.
version=$(dpkg-query -W -f='${source:Version}' libavcodec-dev)
version=${version#*:}  # the epoch adds nothing to a folder name
cache=${KVP_CACHE_DIR:-$HOME/.cache/kestrelvue}
# This script is the recipe: a change to it (its flags) builds afresh instead of reusing.
recipe=$(sha256sum "$0" | cut -c1-8)
prefix=$cache/avcodec-win32-$version-$recipe

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

work=$(mktemp -d "$cache/avcodec-win32-build.XXXXXX")
trap 'rm -rf "$work"' EXIT
log=$cache/avcodec-win32-$version.log
echo "build-avcodec-win32: building libavcodec $version for i686-w64-mingw32 (log: $log)" >&2
{
  cd "$work"
  # The exact version first; a mirror that has moved on still gives a 5.1 of the same ABI.
  apt-get source -q "ffmpeg=$(dpkg-query -W -f='${source:Version}' libavcodec-dev)" ||
    apt-get source -q ffmpeg
  src=$(find "$work" -maxdepth 1 -type d -name 'ffmpeg-*' | head -n 1)
  mkdir build && cd build
  # Only the six decoders; the runtime linked in so the DLLs import system DLLs alone.
  "$src/configure" \
    --prefix="$prefix" \
    --enable-cross-compile --cross-prefix=i686-w64-mingw32- --arch=x86 --target-os=mingw32 \
    --enable-shared --disable-static \
    --disable-everything --disable-autodetect --disable-programs --disable-doc \
    --disable-avformat --disable-swscale --disable-swresample --disable-avfilter \
    --disable-avdevice --disable-postproc --disable-network --disable-asm --disable-debug \
    --enable-w32threads \
    --enable-decoder=indeo2,indeo3,indeo4,indeo5,cinepak,msvideo1 \
    --extra-ldflags='-static-libgcc'
  make -j 2
  rm -rf "$prefix"
  make install
  i686-w64-mingw32-strip "$prefix"/bin/*.dll
} >"$log" 2>&1 || {
  echo "build-avcodec-win32: the build failed; the end of $log:" >&2
  tail -n 30 "$log" >&2
  exit 1
}
touch "$prefix/.complete"
echo "$prefix"
