# Sourced by the scripts that drive a program from outside on an X display
# (tools/run.sh, tools/soak.sh, tests/wine_test.sh, bench/profile.sh): its
# window found by name, keys held as a user holds them (XTEST), screenshots,
# pixel counts, and its end awaited with a limit. Every X tool runs under
# timeout(1), so a stuck one cannot hang the script.

# The id of the mapped window named NAME (of process PID, if given) anywhere
# in the tree, looked up afresh on each call: the layer may make its window
# anew. Prints nothing and fails when there is none.
find_window() {
  local name=$1 pid=${2:-} w
  for w in $(timeout 10 xwininfo -root -tree 2>/dev/null | awk -v n="\"$name\":" '
      match($0, /0x[0-9a-f]+ /) && index(substr($0, RSTART + RLENGTH), n) == 1 { print substr($0, RSTART, RLENGTH - 1) }'); do
    timeout 10 xwininfo -id "$w" 2>/dev/null | grep -q 'Map State: IsViewable' || continue
    if [ -n "$pid" ] && [ "$(timeout 10 xprop -id "$w" _NET_WM_PID 2>/dev/null | awk '{ print $NF }')" != "$pid" ]; then
      continue
    fi
    echo "$w"
    return 0
  done
  return 1
}

# Waits, while process PID runs, up to SECONDS (20) for a mapped window named
# NAME (any process's: on a display of its own the program's is the only
# one) and prints its id.
wait_for_window() {
  local name=$1 pid=$2 seconds=${3:-20} i
  for ((i = 0; i < seconds * 10; i++)); do
    find_window "$name" && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# Pointer into WINDOW and the input focus on it, as a user clicking into it;
# then a moment for the program to take in its FocusIn.
focus_window() {
  timeout 10 xdotool mousemove --window "$1" 20 20 && timeout 10 xdotool windowfocus --sync "$1" && sleep 0.2
}

# KEY (or a chord, alt+F4) pressed in WINDOW and held SECONDS (0.2), as a
# finger presses it. NOTE: the program reads Escape from its key table once a
# frame; a tap whose press and release reach it in the same pass of its loop
# leaves no trace there.
hold_key() {
  local window=$1 key=$2 seconds=${3:-0.2}
  focus_window "$window" || return 1
  timeout 10 xdotool keydown "$key" || return 1
  sleep "$seconds"
  timeout 10 xdotool keyup "$key"
}

# WINDOW as the server shows it, saved as the image FILE (xwd, convert).
screenshot() {
  timeout 20 xwd -silent -id "$1" | convert xwd:- "$2"
}

# The number of pixels that differ between two images of one size (compare
# -metric AE); otherwise compare's complaint.
differing_pixels() {
  compare -metric AE "$1" "$2" null: 2>&1
}

# Waits up to SECONDS for the child PID to end; exit_status is then its exit
# status. If it has not ended by then it is killed, exit_status is empty and
# the call fails.
await_exit() {
  local pid=$1 seconds=$2 i
  exit_status=""
  for ((i = 0; i < seconds * 10; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return 1
  fi
  wait "$pid"
  exit_status=$?
  return 0
}
