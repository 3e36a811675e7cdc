#!/usr/bin/env bash
# `make run`: the program on the user's display, or, with no display at all,
# on a virtual one for a few seconds: a screenshot, then Escape.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
program=${SINEBAND_PROGRAM:-$here/build/linux/sineband}
shot=${SINEBAND_SCREENSHOT:-$here/build/screenshot.png}

if [ -z "${SINEBAND_HEADLESS_INNER:-}" ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  "$program"
  status=$?
  echo "sineband ended with status $status"
  exit 0
fi

if [ -z "${SINEBAND_HEADLESS_INNER:-}" ]; then
  echo "no display: running on a virtual one (Xvfb)"
  SINEBAND_HEADLESS_INNER=1 exec "$here/tools/with-xvfb.sh" "$0" "$@"
fi

"$program" &
pid=$!
window=""
for _ in $(seq 50); do
  window=$(xdotool search --onlyvisible --class '^OpenGL$' 2>/dev/null | head -n 1)
  [ -n "$window" ] && break
  sleep 0.1
done
if [ -z "$window" ]; then
  wait "$pid"
  echo "sineband opened no window (status $?)"
  exit 1
fi
sleep "${SINEBAND_RUN_SECONDS:-3}"
xwd -silent -id "$window" | convert xwd:- "$shot" && echo "screenshot: $shot"
# Real input, as a user gives it: pointer in, focus, then the key.
xdotool mousemove --window "$window" 20 20
xdotool windowfocus "$window"
xdotool key Escape
wait "$pid"
status=$?
echo "sineband ended with status $status (1 is a normal end)"
[ "$status" -eq 1 ]
