#!/usr/bin/env bash
# Installs every Debian package the project needs to build and test, only when something is missing.
# It changes the machine only as root; otherwise it names what is missing and how to install it.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  libavcodec-dev libavutil-dev
  googletest libgtest-dev libbenchmark-dev libstb-dev libcli11-dev nlohmann-json3-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine32:i386 xvfb xauth
  emscripten node-acorn chromium libcpp-httplib-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing Debian packages: ${missing[*]}" >&2
    echo "install-deps: install them as root with: sudo bash $0" >&2
    exit 1
  fi
  echo "install-deps: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Wine's 32-bit half needs a CPU that runs i386 code, or an emulator registered for it.
bash "$(dirname "$0")/ensure-i386.sh"

# --- The source of the Windows and web builds' libavcodec (scripts/build-avcodec.sh) ---------
# `apt-get source ffmpeg` needs a deb-src entry; Debian's images list binaries only.
src_list=/etc/apt/sources.list.d/kestrelvue-src.sources
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ &&
   ! grep -qs '^deb-src' /etc/apt/sources.list; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: no deb-src entry for Debian's sources (needed by apt-get source ffmpeg)" >&2
    echo "install-deps: add one as root with: sudo bash $0" >&2
    exit 1
  fi
  printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' \
    'Suites: bookworm bookworm-updates' 'Components: main' \
    'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' '' \
    'Types: deb-src' 'URIs: http://deb.debian.org/debian-security' \
    'Suites: bookworm-security' 'Components: main' \
    'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' > "$src_list"
  apt-get update -q
fi
# dpkg-source unpacks the source package and applies Debian's patches.
if ! command -v dpkg-source >/dev/null; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing Debian packages: dpkg-dev" >&2
    exit 1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends dpkg-dev
fi
