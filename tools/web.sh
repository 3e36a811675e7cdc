#!/usr/bin/env bash
# `make web`, once the page is built: with a display, build/web served on
# 127.0.0.1 until Ctrl+C; with none, the page in headless Chromium for a few
# seconds, build/web-screenshot.png, Escape, and the status the page shows.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
if { [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; } || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec node "$here/tools/web/run.js" serve
fi
echo "no display: the page in headless Chromium"
exec node "$here/tools/web/run.js" headless
