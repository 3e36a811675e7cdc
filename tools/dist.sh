#!/usr/bin/env bash
# `make dist`: build/dist/sineband-win32.zip and sineband-win64.zip, each
# holding sineband.exe and a readme, from the mingw-x86 and mingw-x64 builds.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dist=$here/build/dist

for pair in win32:mingw-x86 win64:mingw-x64; do
  name=${pair%%:*}
  exe=$here/build/${pair#*:}/sineband.exe
  [ -f "$exe" ] || { echo "dist: $exe is missing (make build builds it)" >&2; exit 1; }
  stage=$dist/.$name
  rm -rf "$stage" "$dist/sineband-$name.zip"
  mkdir -p "$stage"
  cp "$exe" "$stage/sineband.exe"
  # Windows line ends, so that any text editor there shows the lines.
  sed 's/$/\r/' >"$stage/readme.txt" <<TEXT
sineband ($name)

A white sine band on black, drawn with OpenGL in a 600 x 450 window.

To run it, double-click sineband.exe. Nothing needs installing: the program
uses only the OpenGL that comes with Windows. The win32 build runs on 32- and
64-bit Windows alike, the win64 build on 64-bit Windows only.

Escape or Alt+F4 quits.
TEXT
  (cd "$stage" && cmake -E tar cf "../sineband-$name.zip" --format=zip sineband.exe readme.txt)
  rm -rf "$stage"
  echo "dist: build/dist/sineband-$name.zip"
done
