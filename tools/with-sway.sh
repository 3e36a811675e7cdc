#!/usr/bin/env bash
# Runs a command on a Wayland compositor of its own, as tools/with-xvfb.sh
# does on an X server, and passes on its status.
#   tools/with-sway.sh CMD ARGS...
# The compositor is sway on its headless backend, drawing with pixman into a
# 1024 x 768 output. The command gets WAYLAND_DISPLAY, XDG_RUNTIME_DIR and
# SWAYSOCK (for swaymsg), SINEBAND_SWAY_PID (to kill the compositor), no
# DISPLAY, and in the sanitizer build tools/lsan-wayland.supp in place of
# lsan.supp. Windows titled "OpenGL" float at the size they ask for; the rest
# are tiled.
# NOTE: sway will not run as root, so as root it runs as nobody, in a runtime
# folder that user owns; clients running as root still reach its socket.
set -u
screen=${SINEBAND_SWAY_SCREEN:-1024x768}

run_dir=$(mktemp -d /tmp/sway.XXXXXX)
chmod 700 "$run_dir"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chown 65534:65534 "$run_dir"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
cat >"$run_dir/config" <<EOF
output HEADLESS-1 resolution $screen position 0 0 bg #3f3f3f solid_color
for_window [title="OpenGL"] floating enable
default_border none
default_floating_border none
focus_follows_mouse no
EOF

# The sanitizer build's leak check, with SDL's Wayland driver's leaks let be.
if [[ ${LSAN_OPTIONS:-} == */tools/lsan.supp* ]]; then
  export LSAN_OPTIONS=${LSAN_OPTIONS//\/tools\/lsan.supp/\/tools\/lsan-wayland.supp}
fi

env -u DISPLAY -u WAYLAND_DISPLAY -u SWAYSOCK HOME="$run_dir" XDG_RUNTIME_DIR="$run_dir" \
  WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
  "${as_user[@]}" sway -c "$run_dir/config" >"$run_dir/sway.log" 2>&1 &
sway=$!
cleanup() {
  kill "$sway" 2>/dev/null
  wait "$sway" 2>/dev/null
  rm -rf "$run_dir"
}
trap cleanup EXIT

# Ready once its IPC socket answers.
for ((i = 0; i < 200; i++)); do
  sock=$(ls "$run_dir"/sway-ipc.*.sock 2>/dev/null | head -1)
  if [ -n "$sock" ] && SWAYSOCK=$sock swaymsg -t get_version >/dev/null 2>&1; then
    break
  fi
  kill -0 "$sway" 2>/dev/null || break
  sleep 0.05
done
display=$(cd "$run_dir" && ls wayland-* 2>/dev/null | grep -v '\.lock$' | head -1)
if [ -z "${sock:-}" ] || [ -z "$display" ] || ! kill -0 "$sway" 2>/dev/null; then
  echo "with-sway: sway did not start:" >&2
  sed 's/^/  /' "$run_dir/sway.log" >&2
  exit 1
fi

env -u DISPLAY WAYLAND_DISPLAY="$display" XDG_RUNTIME_DIR="$run_dir" SWAYSOCK="$sock" \
  SINEBAND_SWAY_PID="$sway" "$@"
