#!/usr/bin/env bash
# Runs a command on a virtual X display of its own and passes on its status.
#   tools/with-xvfb.sh [-- Xvfb options] CMD ARGS...
# SINEBAND_XVFB_ARGS adds Xvfb options (e.g. "-extension GLX"). The display is
# at scale 1: no Xft.dpi, and a GDK_SCALE of the caller's is not passed on.
set -u
screen=${SINEBAND_XVFB_SCREEN:-1024x768x24}

fifo=$(mktemp -u /tmp/xvfb.XXXXXX)
mkfifo "$fifo"
# shellcheck disable=SC2086
Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset ${SINEBAND_XVFB_ARGS:-} 3>"$fifo" 2>/dev/null &
xvfb=$!
read -r -t 20 number <"$fifo"
rm -f "$fifo"
if [ -z "${number:-}" ]; then
  echo "with-xvfb: Xvfb did not start" >&2
  kill "$xvfb" 2>/dev/null
  exit 1
fi
cleanup() { kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; }
trap cleanup EXIT
env -u GDK_SCALE DISPLAY=":$number" "$@"
