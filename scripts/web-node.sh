#!/usr/bin/env bash
# Runs node with playwright-core at hand (KVP_WEB_NODE_MODULES), for the browser tests, the web
# demo's screenshot and the web benchmark. playwright-core comes from the npm registry into a
# cache outside the clone, one folder per lock file of tests/web/, so a fresh clone installs it
# once and later runs reuse it. It drives the system's Chromium; no browser is downloaded.
set -euo pipefail
cd "$(dirname "$0")/.."
lock=tests/web/package-lock.json
cache="${KVP_CACHE:-$HOME/.cache/kestrelvue}/npm-$(sha256sum "$lock" | cut -c1-16)"
if [ ! -f "$cache/node_modules/playwright-core/package.json" ]; then
  echo "==> installing playwright-core into $cache" >&2
  mkdir -p "$(dirname "$cache")"
  staging=$(mktemp -d "$cache.XXXXXX")
  cp tests/web/package.json "$lock" "$staging/"
  if ! (cd "$staging" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error >&2); then
    rm -rf "$staging"
    echo "web-node: npm ci of tests/web failed" >&2
    exit 2
  fi
  rm -rf "$cache"
  mv "$staging" "$cache"
fi
export KVP_WEB_NODE_MODULES="$cache/node_modules"
exec node "$@"
