#!/usr/bin/env bash
# Runs a command on a Wayland compositor of its own, as tools/with-xvfb.sh
# does on an X server, and passes on its status.
#   tools/with-wayland.sh [-c sway|mutter|kwin] [-s SCALE] CMD ARGS...
# The compositor (sway unless told) runs headless with one output of
# SINEBAND_WAYLAND_SCREEN (1024x768) in the window's pixels, SCALE (1) times
# that in the screen's: sway drawing with pixman, GNOME's mutter on a virtual
# monitor (the scale set through its D-Bus API), KDE's KWin on its virtual
# backend, the last two in a D-Bus session of their own. The command gets
# WAYLAND_DISPLAY, XDG_RUNTIME_DIR, SINEBAND_COMPOSITOR and SINEBAND_SCALE
# (what it runs on), SINEBAND_COMPOSITOR_PID (to kill the compositor), on sway
# SWAYSOCK (for swaymsg), no DISPLAY, and in the sanitizer build
# tools/lsan-wayland.supp in place of lsan.supp. Windows titled "OpenGL" float
# at the size they ask for (sway tiles the rest; the others tile nothing).
# NOTE: sway will not run as root, so as root each compositor runs as nobody,
# in a runtime folder that user owns; clients running as root still reach its
# socket, but not its D-Bus session: mutter's scale is set here, as that user.
# NOTE: Debian's kwin_wayland carries a file capability (cap_sys_resource),
# which a container refuses to run ("Operation not permitted"); a plain copy
# runs, kept at SINEBAND_KWIN_COPY when set (the build's tests keep one in
# the build folder), else made for the run.
set -u
compositor=sway scale=1
while getopts c:s: opt; do
  case $opt in
    c) compositor=$OPTARG ;;
    s) scale=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
case $compositor in
  sway | mutter | kwin) ;;
  *) echo "with-wayland: unknown compositor '$compositor' (sway, mutter or kwin)" >&2; exit 2 ;;
esac
screen=${SINEBAND_WAYLAND_SCREEN:-1024x768}
# The output in device pixels.
device=$(awk -v s="$scale" -v wh="$screen" 'BEGIN { split(wh, d, "x"); printf "%dx%d", d[1] * s, d[2] * s }')

run_dir=$(mktemp -d /tmp/wayland.XXXXXX)
chmod 700 "$run_dir"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chown 65534:65534 "$run_dir"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
log=$run_dir/compositor.log
in_session=("${as_user[@]}" env -u DISPLAY -u WAYLAND_DISPLAY -u SWAYSOCK HOME="$run_dir" XDG_RUNTIME_DIR="$run_dir")
# A session bus that starts no services: KWin's would start kglobalaccel,
# which outlives the bus and writes to HOME.
cat >"$run_dir/bus.conf" <<CONFIG
<busconfig>
  <type>session</type>
  <listen>unix:dir=$run_dir</listen>
  <auth>EXTERNAL</auth>
  <policy context="default"><allow send_destination="*"/><allow receive_sender="*"/><allow own="*"/></policy>
</busconfig>
CONFIG

# The sanitizer build's leak check, with SDL's Wayland driver's leaks let be.
if [[ ${LSAN_OPTIONS:-} == */tools/lsan.supp* ]]; then
  export LSAN_OPTIONS=${LSAN_OPTIONS//\/tools\/lsan.supp/\/tools\/lsan-wayland.supp}
fi

# Started in the background. mutter and KWin run under dbus-run-session, not
# as children of this script: each writes its pid (and mutter its bus's
# address) into the run folder.
case $compositor in
  sway)
    cat >"$run_dir/config" <<CONFIG
output HEADLESS-1 resolution $device scale $scale position 0 0 bg #3f3f3f solid_color
for_window [title="OpenGL"] floating enable
default_border none
default_floating_border none
focus_follows_mouse no
CONFIG
    "${in_session[@]}" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
      sway -c "$run_dir/config" >"$log" 2>&1 &
    echo $! >"$run_dir/pid"
    ;;
  mutter)
    "${in_session[@]}" dbus-run-session --config-file="$run_dir/bus.conf" -- sh -c 'echo $$ >"$0/pid"; echo "$DBUS_SESSION_BUS_ADDRESS" >"$0/bus"
      exec mutter --wayland --headless --no-x11 --virtual-monitor "$1"' "$run_dir" "$device" >"$log" 2>&1 &
    ;;
  kwin)
    kwin=${SINEBAND_KWIN_COPY:-$run_dir/kwin_wayland}
    installed=$(command -v kwin_wayland) || { echo "with-wayland: no kwin_wayland" >&2; exit 1; }
    if ! cmp -s "$installed" "$kwin"; then
      mkdir -p "$(dirname "$kwin")"
      cp "$installed" "$kwin.$$" && chmod 755 "$kwin.$$" && mv -f "$kwin.$$" "$kwin"
    fi
    "${in_session[@]}" dbus-run-session --config-file="$run_dir/bus.conf" -- sh -c 'echo $$ >"$0/pid"; exec "$1" --virtual --width "$2" --height "$3" --scale "$4" \
      --no-lockscreen --no-global-shortcuts' "$run_dir" "$kwin" "${screen%x*}" "${screen#*x}" "$scale" >"$log" 2>&1 &
    ;;
esac
session=$!
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  # KWin writes to HOME as it ends: its end awaited before its session's.
  for ((i = 0; i < 100; i++)); do
    [ "$pid" != "$session" ] && kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  kill "$session" 2>/dev/null
  wait "$session" 2>/dev/null
  rm -rf "$run_dir"
}
trap cleanup EXIT

# mutter's D-Bus API, called as mutter's user inside its session.
display_config() {
  local method=$1
  shift
  "${in_session[@]}" DBUS_SESSION_BUS_ADDRESS="$(cat "$run_dir/bus")" gdbus call --session --dest org.gnome.Mutter.DisplayConfig \
    --object-path /org/gnome/Mutter/DisplayConfig --method "org.gnome.Mutter.DisplayConfig.$method" "$@" 2>/dev/null
}

# Ready once its socket is there and, on sway, its IPC answers; on mutter,
# its display configuration.
sock='' display='' ready=''
for ((i = 0; i < 200; i++)); do
  pid=$(cat "$run_dir/pid" 2>/dev/null)
  display=$(cd "$run_dir" && ls wayland-* 2>/dev/null | grep -v '\.lock$' | head -1)
  if [ -n "$pid" ] && [ -n "$display" ]; then
    case $compositor in
      sway)
        sock=$(ls "$run_dir"/sway-ipc.*.sock 2>/dev/null | head -1)
        [ -n "$sock" ] && SWAYSOCK=$sock swaymsg -t get_version >/dev/null 2>&1 && ready=1 && break ;;
      mutter) state=$(display_config GetCurrentState) && ready=1 && break ;;
      kwin) ready=1 && break ;;
    esac
  fi
  kill -0 "$session" 2>/dev/null || break
  sleep 0.05
done
started=$([ -n "$ready" ] && kill -0 "$pid" 2>/dev/null && echo 1)
if [ -n "$started" ] && [ "$compositor" = mutter ] && [ "$scale" != 1 ]; then
  # The monitor at the scale, in a temporary configuration (method 1).
  serial=$(sed -n 's/^(uint32 \([0-9]*\),.*/\1/p' <<<"$state")
  mode=$(grep -o "\[('[^']*'" <<<"$state" | head -1 | cut -d"'" -f2)
  display_config ApplyMonitorsConfig "$serial" 1 "[(0, 0, $scale, uint32 0, true, [('Meta-0', '$mode', @a{sv} {})])]" \
    "@a{sv} {}" >/dev/null || started=
  applied=$(display_config GetCurrentState | grep -o '\[(0, 0, [0-9.]*' | cut -d' ' -f3)
  awk -v a="${applied:-0}" -v s="$scale" 'BEGIN { exit a != s }' || started=
fi
if [ -z "$started" ]; then
  echo "with-wayland: $compositor did not start at scale $scale:" >&2
  sed 's/^/  /' "$log" >&2
  exit 1
fi

on=(WAYLAND_DISPLAY="$display" XDG_RUNTIME_DIR="$run_dir")
[ -n "$sock" ] && on+=(SWAYSOCK="$sock")
env -u DISPLAY -u SWAYSOCK "${on[@]}" SINEBAND_COMPOSITOR="$compositor" SINEBAND_SCALE="$scale" \
  SINEBAND_COMPOSITOR_PID="$pid" "$@"
