#!/usr/bin/env bash
# `make run`: the program on the user's display (X11's when DISPLAY is set,
# else a Wayland compositor's), or, with no display at all, on a virtual one
# for a few seconds: a screenshot, then Escape held down as a user presses
# it. Headless, it succeeds when the program ends with status 1 (a normal
# end); a program still running 10 s after Escape is killed.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
program=${SINEBAND_PROGRAM:-$here/build/linux/sineband}
shot=${SINEBAND_SCREENSHOT:-$here/build/screenshot.png}
. "$here/tools/x11.sh"

# The program's own choice: X11 when DISPLAY is set, else Wayland.
on_desktop() {
  if [ -n "${DISPLAY:-}" ]; then
    xdpyinfo >/dev/null 2>&1
  else
    [ -n "${WAYLAND_DISPLAY:-}" ] && { [ -S "$WAYLAND_DISPLAY" ] || [ -S "${XDG_RUNTIME_DIR:-}/$WAYLAND_DISPLAY" ]; }
  fi
}

if [ -z "${SINEBAND_HEADLESS_INNER:-}" ] && on_desktop; then
  "$program"
  echo "sineband ended with status $?"
  exit 0
fi

if [ -z "${SINEBAND_HEADLESS_INNER:-}" ]; then
  echo "no display: running on a virtual one (Xvfb)"
  SINEBAND_HEADLESS_INNER=1 exec "$here/tools/with-xvfb.sh" "$0" "$@"
fi

"$program" &
pid=$!
if ! window=$(wait_for_window OpenGL "$pid" 10); then
  await_exit "$pid" 10
  echo "sineband opened no window (status ${exit_status:-none: killed})"
  exit 1
fi
sleep "${SINEBAND_RUN_SECONDS:-3}"
# Looked up again: the id found at the start may be of a window since made anew.
window=$(find_window OpenGL) || window=""
[ -n "$window" ] && screenshot "$window" "$shot" && echo "screenshot: $shot"
if [ -z "$window" ] || ! hold_key "$window" Escape 0.2; then
  echo "sineband: could not press Escape in its window"
fi
if ! await_exit "$pid" 10; then
  echo "sineband was still running 10 s after Escape: killed"
  exit 1
fi
echo "sineband ended with status $exit_status (1 is a normal end)"
[ "$exit_status" -eq 1 ]
