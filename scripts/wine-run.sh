#!/usr/bin/env bash
# Runs a Windows program under Wine for the build and the tests:
#   wine-run.sh --prefix DIR PROGRAM.exe [ARGS...]
# The Wine prefix lives in DIR (inside the build folder) and is created once, the first time
# any program needs it. Without a DISPLAY the program gets a private Xvfb server.
set -euo pipefail

prefix=""
if [ "${1:-}" = "--prefix" ]; then
  prefix=$2
  shift 2
fi
[ -n "$prefix" ] || prefix=${WINEPREFIX:-$PWD/wineprefix}
prefix=$(realpath -m "$prefix")  # Wine wants an absolute path

export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
export WINEARCH=win32

if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/system.reg" ]; then
      echo "wine-run: creating the Wine prefix $prefix" >&2
      wineboot --init >/dev/null 2>&1 || true
      wineserver -w
    fi
  ) 9>"$prefix.lock"
fi

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" wine "$@"
fi
exec wine "$@"
