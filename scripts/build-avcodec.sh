#!/usr/bin/env bash
# Builds a minimal libavcodec (six legacy video decoders) from Debian's ffmpeg source package for
# the Windows or the web build, once per package version, into a cache outside the clone.
#
# Usage: build-avcodec.sh win32|web   prints the install prefix on its last line: for win32
# bin/avcodec-59.dll and bin/avutil-57.dll with include/; for web include/, lib/libavcodec.a and
# lib/libavutil.a. The prefix is ~/.cache/kestrelvue/avcodec-<target>-<version>-<recipe>/, where
# the recipe is this script's own hash, so changed flags build afresh (KVP_CACHE_DIR moves the
# cache); a finished prefix is reused as it is. Needs a deb-src entry (scripts/install-deps.sh adds
# one) and, for win32, g++-mingw-w64-i686; for web, emscripten.
set -euo pipefail

target=${1:-}
case "$target" in
  win32)
    # Shared libraries with the GCC runtime linked in, so the DLLs import system DLLs alone.
    flags=(--enable-cross-compile --cross-prefix=i686-w64-mingw32- --arch=x86 --target-os=mingw32
           --enable-shared --disable-static)
    late_flags=(--enable-w32threads --extra-ldflags=-static-libgcc)
    what="for i686-w64-mingw32" ;;
  web)
    # Static, no threads (the core runs on the page's thread); --enable-small drops the codecs'
    # long names and other text the page never shows (76 KB less wasm, the same pixels).
    flags=(--enable-cross-compile --target-os=none --arch=x86_32
           --cc=emcc --cxx=em++ --ar=emar --ranlib=emranlib --nm=emnm
           --enable-static --disable-shared)
    late_flags=(--disable-pthreads --disable-runtime-cpudetect --enable-small)
    what="with emscripten"
    export NODE_PATH=${NODE_PATH:-/usr/share/nodejs} ;;
  *)
    echo "usage: build-avcodec.sh win32|web" >&2
    exit 2 ;;
esac

# The version of the headers the native build compiles against: one ABI, one decoder everywhere.
version=$(dpkg-query -W -f='${source:Version}' libavcodec-dev)
version=${version#*:}  # the epoch adds nothing to a folder name
cache=${KVP_CACHE_DIR:-$HOME/.cache/kestrelvue}
recipe=$(sha256sum "$0" | cut -c1-8)
name=avcodec-$target-$version
prefix=$cache/$name-$recipe

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

work=$(mktemp -d "$cache/avcodec-$target-build.XXXXXX")
trap 'rm -rf "$work"' EXIT
log=$cache/$name.log
echo "build-avcodec: building libavcodec $version $what (log: $log)" >&2
{
  cd "$work"
  # The exact version first; a mirror that has moved on still gives a 5.1 of the same ABI.
  apt-get source -q "ffmpeg=$(dpkg-query -W -f='${source:Version}' libavcodec-dev)" ||
    apt-get source -q ffmpeg
  src=$(find "$work" -maxdepth 1 -type d -name 'ffmpeg-*' | head -n 1)
  mkdir build && cd build
  # Only the six decoders, and no assembly (wasm has none; on Windows it saves a toolchain).
  "$src/configure" \
    --prefix="$prefix" "${flags[@]}" \
    --disable-everything --disable-autodetect --disable-programs --disable-doc \
    --disable-avformat --disable-swscale --disable-swresample --disable-avfilter \
    --disable-avdevice --disable-postproc --disable-network --disable-asm --disable-debug \
    "${late_flags[@]}" \
    --enable-decoder=indeo2,indeo3,indeo4,indeo5,cinepak,msvideo1
  make -j 2
  rm -rf "$prefix"
  make install
  if [ "$target" = win32 ]; then i686-w64-mingw32-strip "$prefix"/bin/*.dll; fi
} >"$log" 2>&1 || {
  echo "build-avcodec: the build failed; the end of $log:" >&2
  tail -n 30 "$log" >&2
  exit 1
}
touch "$prefix/.complete"
echo "$prefix"
