#!/usr/bin/env bash
# The Windows build seen from outside: sineband.exe under Wine on a virtual X
# display (run through tools/with-xvfb.sh), driven with real input (XTEST).
#   wine_test.sh prefix                 create or update WINEPREFIX (once, untimed)
#   wine_test.sh format EXE32 EXE64 VERSION  PE headers, imports and resources,
#                                       no Wine needed
#   wine_test.sh x87 OBJ...             no x87 float arithmetic in 32-bit objects
#   wine_test.sh picture EXE            window, band, other keys, Escape
#   wine_test.sh alt-f4 EXE             Alt+F4 ends the run
#   wine_test.sh same-as-linux EXE PROG Wine's picture against the layer build's
# WINEPREFIX must be set for all but format; SINEBAND_SHOTS names a folder for
# the screenshots (./wine-shots by default).
set -u
. "$(dirname "$0")/../tools/x11.sh"

shots=${SINEBAND_SHOTS:-$PWD/wine-shots}
# NOTE: without WINEPREFIX Wine would make and use ~/.wine.
case ${1:-} in
prefix|picture|alt-f4|same-as-linux) : "${WINEPREFIX:?must name the test prefix folder}" ;;
esac
export WINEDEBUG=-all
# No prompts to install Mono or Gecko: the program needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
finish() {
  [ "$failures" -eq 0 ] && echo "all checks passed" || echo "$failures check(s) failed"
  [ "$failures" -eq 0 ]
  exit
}

# The window as CreateWindowExA asks for it, and Wine's default metrics for
# WS_OVERLAPPEDWINDOW: a 4-pixel frame, plus a 19-pixel caption on top. With
# no window manager Wine draws no frame: the X window is the client area.
outer_x=50 outer_y=50 outer_w=600 outer_h=450
frame=4 caption=19
client_x=$((outer_x + frame)) client_y=$((outer_y + frame + caption))
client_w=$((outer_w - 2 * frame)) client_h=$((outer_h - 2 * frame - caption))

pid=""
window=""

# Starts the .exe under Wine and waits (20 s at most) for its mapped window.
start_wine() {
  [ -f "$1" ] || { echo "$1 is missing (make build builds it)"; return 1; }
  timeout 60 wine "$1" &
  pid=$!
  window=$(wait_for_window OpenGL "$pid" 20) || return 1
  # A frame or two to settle before anyone looks.
  sleep 1.5
}

# Waits (20 s at most) for the program to end; sets ended to its exit status.
ended=""
wait_end() {
  [ -n "$pid" ] || return
  await_exit "$pid" 20 && ended=$exit_status || ended="still running"
  # Let this prefix's wineserver go before the next run or the display does.
  timeout 20 wineserver -w 2>/dev/null || timeout 10 wineserver -k 2>/dev/null
}

# Input as a user gives it: each key held in the window as a finger holds it.
user_keys() {
  for k in "$@"; do
    hold_key "$window" "$k"
  done
}

shot() { mkdir -p "$shots" && screenshot "$1" "$2"; }
geometry() { xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
  /Width:/{w=$NF} /Height:/{h=$NF} /Map State/{m=$NF} END{print x, y, w, h, m}'; }

# A band: two colours, white and black, a white area of 5 to 50 percent of
# the client, black corners, and the band clear of the edges.
check_band() {
  local png=$1 w h colours white corners box bad=""
  read -r w h colours <<<"$(convert "$png" -format '%w %h %k' info:)"
  white=$(convert "$png" -fill black +opaque white -format '%[fx:mean]' info:)
  corners=$(convert "$png" -format '%[pixel:p{0,0}] %[pixel:p{'$((w - 1))',0}] %[pixel:p{0,'$((h - 1))'}] %[pixel:p{'$((w - 1))','$((h - 1))'}]' info:)
  box=$(convert "$png" -trim -format '%w %h %X %Y' info:)
  echo "picture: ${w}x${h}, $colours colours, white fraction $white, corners $corners, band box $box"
  [ "$colours" -eq 2 ] || fail "the picture should be black and white only ($colours colours)"
  awk -v f="$white" 'BEGIN{exit !(f > 0.05 && f < 0.5)}' || fail "white covers $white of the picture"
  for c in $corners; do
    case $c in black|'srgb(0,0,0)'|'gray(0)') ;; *) bad="$bad $c" ;; esac
  done
  [ -z "$bad" ] || fail "corners not black:$bad"
  read -r bw bh bx by <<<"$box"
  if [ "$bx" -le 0 ] || [ "$by" -le 0 ] || [ $((bx + bw)) -ge "$w" ] || [ $((by + bh)) -ge "$h" ]; then
    fail "the band touches the picture's edge (box $box)"
  fi
}

check_status_1() {
  wait_end
  [ "$ended" = 1 ] && pass "$1 ends the program with status 1" ||
    fail "$1: the program ended with '$ended', not 1"
}

case ${1:-} in
prefix)
  # NOTE: the first start of Wine builds the prefix and takes several
  # seconds; done here once so no timed run pays for it.
  timeout 120 wineboot -i >/dev/null 2>&1
  status=$?
  timeout 30 wineserver -w
  [ "$status" -eq 0 ] && [ -f "$WINEPREFIX/system.reg" ] || fail "wineboot -i ended with $status"
  finish
  ;;

format)
  # PE32 for the 32-bit build, PE32+ for the 64-bit one; both GUI programs
  # that need only Windows' own DLLs, with ASLR (relocations kept) and DEP,
  # and the resources of data/sineband.rc.in.
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  for pair in "$2:PE32:010b:" "$3:PE32+:020b:HIGH_ENTROPY_VA"; do
    IFS=: read -r exe kind magic entropy <<<"$pair"
    if [ ! -f "$exe" ]; then
      fail "$exe is missing (make build builds it)"
      continue
    fi
    headers=$(objdump -p "$exe" 2>&1)
    dlls=$(awk '/DLL Name:/{print toupper($3)}' <<<"$headers" | sort | tr '\n' ' ')
    echo "$exe: $(file -b "$exe")"
    echo "  imports: $dlls"
    file -b "$exe" | grep -q "^$kind executable (GUI)" || fail "$exe is not a $kind GUI executable"
    grep -qE "^Magic[[:space:]]+$magic" <<<"$headers" || fail "$exe: optional header magic is not $magic"
    grep -qE '^Subsystem[[:space:]]+0+2[[:space:]]' <<<"$headers" || fail "$exe: subsystem is not 2 (Windows GUI)"
    flags=$(sed -n '/^DllCharacteristics/,/^[^[:space:]]/s/^[[:space:]]\+\([A-Z_]\+\)$/\1/p' <<<"$headers")
    for flag in DYNAMIC_BASE NX_COMPAT $entropy; do grep -qx "$flag" <<<"$flags" || fail "$exe lacks $flag"; done
    ! grep -q 'relocations stripped' <<<"$headers" || fail "$exe has its relocations stripped: it cannot move"
    for dll in OPENGL32.DLL GLU32.DLL; do
      grep -qw "$dll" <<<"$dlls" || fail "$exe does not import $dll"
    done
    for dll in $dlls; do
      case $dll in
      LIBSTDC++*|LIBGCC*|LIBWINPTHREAD*|LIBSSP*|MSVCP*|VCRUNTIME*|*MINGW*)
        fail "$exe needs the runtime DLL $dll" ;;
      esac
    done
    # Its resources: the first icon group, which Explorer and the taskbar
    # show, in the sizes they ask for; the project's version; the manifest.
    group=$(wrestool -l "$exe" | sed -n 's/^--type=14 \(--name=[^ ]*\) .*/\1/p' | head -1)
    wrestool -x --type=14 $group "$exe" >"$tmp/icon.ico"
    sizes=$(icotool -l "$tmp/icon.ico" | sed 's/.*--width=\([0-9]*\) .*/\1/' | tr '\n' ' ')
    echo "  icon group ${group#--name=}: ${sizes% } pixels; $(wc -c <"$exe") bytes"
    [ "$sizes" = "16 24 32 48 64 256 " ] || fail "$exe: its first icon group is of sizes '$sizes'"
    script=$(x86_64-w64-mingw32-windres -i "$exe" -O rc 2>/dev/null)
    for field in FileVersion ProductVersion; do
      grep -q "VALUE \"$field\", \"$4\"$" <<<"$script" || fail "$exe: its $field is not $4"
    done
    manifest=$(wrestool -x --raw --type=24 --name=1 "$exe")
    ids=$(grep -o '<supportedOS Id="[^"]*"' <<<"$manifest" | cut -d'"' -f2 | sort | tr '\n' ' ')
    # Windows 7, 8, 8.1, and 10 and 11, as Microsoft's documentation names them.
    supported="{35138b9a-5d96-4fbd-8e2d-a2440225f93a} {4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}
      {1f676c76-80e1-4239-95bb-83d0f6d0da78} {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"
    [ "$ids" = "$(tr -s ' \n' '\n' <<<"$supported" | grep . | sort | tr '\n' ' ')" ] ||
      fail "$exe: its manifest supports Windows '$ids', not 7 to 11"
    grep -q 'requestedExecutionLevel level="asInvoker"' <<<"$manifest" || fail "$exe: its manifest asks for other rights"
    ! grep -qi 'dpiAware' <<<"$manifest" || fail "$exe: its manifest declares DPI awareness"
  done
  finish
  ;;

x87)
  # The 32-bit program does its float arithmetic on SSE2, so it rounds as
  # the 64-bit and Linux builds do; the x87 unit would keep wider values.
  # Only sin's result may pass through x87: the 32-bit calling convention
  # returns a double in ST(0), which one fstpl (or fldl) moves out.
  # NOTE: the objects, not the .exe: the .exe carries the runtime's own x87.
  for obj in "${@:2}"; do
    [ -f "$obj" ] || { fail "$obj is missing (make build builds it)"; continue; }
    listing=$(i686-w64-mingw32-objdump -dr --no-show-raw-insn "$obj") || { fail "$obj cannot be read"; continue; }
    sins=$(grep -cE 'DISP32[[:space:]]+_sin$' <<<"$listing")
    x87=$(awk -F'\t' '$2 ~ /^f/ { split($2, m, " "); print m[1] }' <<<"$listing" | sort | uniq -c | tr -s ' \n' ' ')
    moves=$(awk -F'\t' '$2 ~ /^(fstpl|fldl)[[:space:]]/' <<<"$listing" | wc -l)
    others=$(awk -F'\t' '$2 ~ /^f/ && $2 !~ /^(fstpl|fldl)[[:space:]]/' <<<"$listing" | wc -l)
    echo "$(basename "$obj"): calls of sin $sins, x87 instructions:${x87:- none}"
    [ "$others" -eq 0 ] && [ "$moves" -le "$sins" ] && pass "$(basename "$obj") does its float arithmetic on SSE2" ||
      fail "$(basename "$obj"): $others x87 instructions besides sin's result, $moves moves for $sins calls of sin"
  done
  finish
  ;;

picture)
  start_wine "$2" || { fail "no mapped window named OpenGL appeared"; wait_end; finish; }
  read -r x y w h state <<<"$(geometry "$window")"
  echo "window $window: ${w}x${h} at $x,$y, $state"
  [ "$state" = IsViewable ] && pass "window named OpenGL is mapped" || fail "the window is $state"
  [ "$w $h" = "$client_w $client_h" ] && [ "$x $y" = "$client_x $client_y" ] &&
    pass "client area ${w}x${h} at $x,$y" ||
    fail "client area ${w}x${h} at $x,$y, not ${client_w}x${client_h} at $client_x,$client_y"

  shot "$window" "$shots/wine.png"
  check_band "$shots/wine.png"

  # Keys the program does not use leave the picture as it was.
  user_keys a space Left Right Up Down Return
  sleep 1
  shot "$window" "$shots/wine-after-keys.png"
  n=$(differing_pixels "$shots/wine.png" "$shots/wine-after-keys.png")
  [ "$n" = 0 ] && pass "other keys change nothing" || fail "$n pixels changed after other keys"
  kill -0 "$pid" 2>/dev/null || fail "the program ended on keys it does not use"

  user_keys Escape
  check_status_1 Escape
  finish
  ;;

alt-f4)
  start_wine "$2" || { fail "no mapped window named OpenGL appeared"; wait_end; finish; }
  user_keys alt+F4
  check_status_1 Alt+F4
  finish
  ;;

same-as-linux)
  start_wine "$2" || { fail "no mapped window named OpenGL appeared"; wait_end; finish; }
  read -r _ _ w h _ <<<"$(geometry "$window")"
  shot "$window" "$shots/wine.png"
  user_keys Escape
  wait_end

  # The layer build at Wine's client size: a size change reaches the program
  # as WM_SIZE, as it does under Wine.
  "$3" &
  pid=$!
  window=$(wait_for_window OpenGL "$pid" 20) || { fail "the layer build opened no window"; kill "$pid"; finish; }
  xdotool windowsize "$window" "$w" "$h"
  sleep 1.5
  read -r _ _ lw lh _ <<<"$(geometry "$window")"
  shot "$window" "$shots/linux-${w}x${h}.png"
  user_keys Escape
  await_exit "$pid" 20

  echo "Wine ${w}x${h}, layer build ${lw}x${lh}"
  [ "$lw $lh" = "$w $h" ] || fail "the layer build's window is ${lw}x${lh}, not ${w}x${h}"
  check_band "$shots/linux-${w}x${h}.png"
  n=$(differing_pixels "$shots/wine.png" "$shots/linux-${w}x${h}.png")
  [ "$n" = 0 ] && pass "Wine and the layer build draw the same pixels" ||
    fail "$n pixels differ between Wine and the layer build"
  finish
  ;;

*)
  echo "usage: $0 prefix | format EXE32 EXE64 VERSION | x87 OBJ... | picture EXE | alt-f4 EXE | same-as-linux EXE PROG" >&2
  exit 2
  ;;
esac
