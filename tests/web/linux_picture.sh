#!/usr/bin/env bash
# The Linux build's pictures at given client sizes, FOLDER/linux-WxH.png, for
# the web tests to hold the page's against: the program on the X display (run
# this under tools/with-xvfb.sh), its window sized as asked, one size after
# another (the size reaches it as WM_SIZE, as a user's resize does).
#   linux_picture.sh PROGRAM FOLDER WIDTHxHEIGHT...
set -u
. "$(dirname "$0")/../../tools/x11.sh"
[ $# -ge 3 ] || { echo "usage: $0 PROGRAM FOLDER WIDTHxHEIGHT..." >&2; exit 2; }
"$1" &
pid=$!
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; rm -f shot.xwd last.xwd' EXIT
mkdir -p "$2" && cd "$2" || exit 1

wait_for_window OpenGL "$pid" 10 >/dev/null || { echo "linux_picture: $1 opened no window" >&2; exit 1; }
for size in "${@:3}"; do
  # NOTE: the window may be made again once its pixel format is set, and the
  # picture follows a resize a frame later: the window is looked up, sized
  # and dumped until two dumps in a row at that size are the same.
  rm -f "linux-$size.png" last.xwd
  for ((i = 0; i < 100; i++)); do
    w=$(find_window OpenGL) && timeout 10 xdotool windowsize "$w" "${size%x*}" "${size#*x}" &&
      [ "$(timeout 10 xwininfo -id "$w" | awk '/Width:/{w=$NF} /Height:/{h=$NF} END{print w "x" h}')" = "$size" ] &&
      timeout 20 xwd -silent -id "$w" >shot.xwd &&
      { cmp -s shot.xwd last.xwd && convert xwd:shot.xwd "linux-$size.png" && break
        mv shot.xwd last.xwd; }
    sleep 0.05
  done
  [ -f "linux-$size.png" ] || { echo "linux_picture: no steady picture at $size" >&2; exit 1; }
done
