#!/usr/bin/env bash
# The Linux build's pictures at given client sizes, for the web tests to
# hold the page's against: the program on the X display (run this under
# tools/with-xvfb.sh), its window sized as asked, one size after another
# (the size reaches it as WM_SIZE, as a user's resize does), and a
# screenshot of each, FOLDER/linux-WIDTHxHEIGHT.png.
#   linux_picture.sh PROGRAM FOLDER WIDTHxHEIGHT...
set -u
. "$(dirname "$0")/../../tools/x11.sh"
[ $# -ge 3 ] || { echo "usage: $0 PROGRAM FOLDER WIDTHxHEIGHT..." >&2; exit 2; }
program=$1 folder=$2
shift 2
mkdir -p "$folder"
"$program" &
pid=$!
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null' EXIT

wait_for_window OpenGL "$pid" 10 >/dev/null || { echo "linux_picture: $program opened no window" >&2; exit 1; }
for size in "$@"; do
  png=$folder/linux-$size.png shot=$folder/shot-$size.png last=$folder/last-$size.png
  rm -f "$png" "$last"
  # NOTE: the window may be made again once its pixel format is set, and the
  # picture follows a resize a frame later: the window is looked up, sized
  # and shot until two shots in a row at that size are the same.
  for ((i = 0; i < 100; i++)); do
    if w=$(find_window OpenGL) && timeout 10 xdotool windowsize "$w" "${size%x*}" "${size#*x}" &&
       screenshot "$w" "$shot" && [ "$(identify -format %wx%h "$shot")" = "$size" ]; then
      [ -f "$last" ] && [ "$(differing_pixels "$shot" "$last")" = 0 ] && { mv "$shot" "$png"; break; }
      mv "$shot" "$last"
    fi
    sleep 0.05
  done
  rm -f "$shot" "$last"
  [ -f "$png" ] || { echo "linux_picture: no steady picture at $size" >&2; exit 1; }
done
