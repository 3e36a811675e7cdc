#!/usr/bin/env bash
# The Linux build's picture at a given client size, for the web tests to
# hold the page's against: the program on the X display (run this under
# tools/with-xvfb.sh), its window sized as asked (the size reaches it as
# WM_SIZE, as a user's resize does), then a screenshot.
#   linux_picture.sh PROGRAM WIDTH HEIGHT OUT.png
set -u
. "$(dirname "$0")/../../tools/x11.sh"
[ $# -eq 4 ] || { echo "usage: $0 PROGRAM WIDTH HEIGHT OUT.png" >&2; exit 2; }
"$1" &
pid=$!
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null' EXIT

wait_for_window OpenGL "$pid" 10 >/dev/null
# NOTE: the window may be made again once its pixel format is set.
sleep 1
w=$(find_window OpenGL) || { echo "linux_picture: $1 opened no window" >&2; exit 1; }
xdotool windowsize "$w" "$2" "$3"
sleep 1
size=$(xwininfo -id "$w" | awk '/Width:/{w=$NF} /Height:/{h=$NF} END{print w "x" h}')
[ "$size" = "$2x$3" ] || { echo "linux_picture: the window is $size, not $2x$3" >&2; exit 1; }
screenshot "$w" "$4"
