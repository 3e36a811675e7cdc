#!/usr/bin/env bash
# The soak: the program on a virtual display of its own for SECONDS, its
# window resized every three seconds and keys typed into it each second
# (never Escape, until the end), its resident memory (VmRSS) sampled each
# second. It passes when the memory grows by less than the limit after the
# warm-up, the program drew all along, raised no GL error and ended on
# Escape with status 1.
#   tools/soak.sh [SECONDS]        (default 600; make soak)
#   SOAK_WARMUP=60                 growth counts from this second on
#   SOAK_LIMIT_KIB=1024            the growth allowed
#   SOAK_CSV=build/soak.csv        the samples: second,rss_kib,frames,width,height
#   SOAK_SEED=N                    the sizes' seed (printed, so a run can be repeated)
#   SINEBAND_PROGRAM, GLCHECK_SO   the program, and the frame counter preloaded into it
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
warmup=${SOAK_WARMUP:-60}
limit=${SOAK_LIMIT_KIB:-1024}
csv=${SOAK_CSV:-$here/build/soak.csv}
program=${SINEBAND_PROGRAM:-$here/build/linux/sineband}
shim=${GLCHECK_SO:-$here/build/linux/tests/storms/glcheck.so}

if [ "$seconds" -lt $((warmup + 30)) ] || [ $((warmup % 10)) -ne 0 ]; then
  echo "soak: a warm-up of $warmup s (a multiple of 10) needs 30 s more than $seconds s" >&2
  exit 2
fi
for f in "$program" "$shim"; do
  [ -e "$f" ] || { echo "soak: $f is missing (make build builds it)" >&2; exit 2; }
done

if [ -z "${SOAK_INNER:-}" ]; then
  SOAK_INNER=1 exec "$here/tools/with-xvfb.sh" "$0" "$@"
fi

seed=${SOAK_SEED:-$(( $(date +%s%N) % 32768 ))}
RANDOM=$seed
mkdir -p "$(dirname "$csv")"
work=$(mktemp -d /tmp/soak.XXXXXX)
record=$work/glcheck
pid=""
cleanup() {
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "soak: FAILED: $*" >&2; [ -s "$work/stderr" ] && sed 's/^/  stderr: /' "$work/stderr" >&2; exit 1; }

# One 64-bit word of the frame counter's record (tests/storms/glcheck.h).
word() { od -An -tu8 -j "$1" -N8 "$record" 2>/dev/null | tr -d ' '; }
frames() { local f; f=$(word 8); echo "${f:-0}"; }

LD_PRELOAD="$shim${LD_PRELOAD:+:$LD_PRELOAD}" GLCHECK_OUT=$record "$program" </dev/null >"$work/stdout" 2>"$work/stderr" &
pid=$!

window=""
for _ in $(seq 200); do
  window=$(timeout 10 xdotool search --onlyvisible --class '^OpenGL$' 2>/dev/null | head -n 1)
  [ -n "$window" ] && [ "$(frames)" -gt 0 ] && break
  kill -0 "$pid" 2>/dev/null || fail "the program ended before it drew"
  sleep 0.1
done
[ -n "$window" ] || fail "no window within 20 s"

read -r screen_w screen_h < <(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')
focus() {
  timeout 10 xdotool mousemove --window "$window" 5 5
  timeout 10 xdotool windowfocus --sync "$window"
}
focus
echo "soak: $seconds s on $DISPLAY, seed $seed (SOAK_SEED=$seed repeats it), samples in $csv"

keys=(a s d f j k l space Return Left Right Up Down shift+a Tab BackSpace F1 F10 1 2 3)
echo "second,rss_kib,frames,width,height" >"$csv"
start=$(date +%s%N)
resizes=0
for ((t = 1; t <= seconds; t++)); do
  # NOTE: the resident size follows the window's size (llvmpipe's colour
  # and depth buffers, some 4.5 MiB apart between 1 x 1 and the screen),
  # enough to hide a leak behind the smaller sizes. So each tenth second
  # is drawn at the screen's size, the largest the window ever has: those
  # samples compare like with like, and none of the others can pass them
  # but by growth of its own. The smallest size comes early too.
  size=""
  if ((t % 10 == 9)); then
    size="$screen_w $screen_h"
  elif ((t % 3 == 0 && t % 10 != 0)); then
    case $t in
      6) size="1 1" ;;
      *) size="$((RANDOM % screen_w + 1)) $((RANDOM % screen_h + 1))" ;;
    esac
  fi
  # shellcheck disable=SC2086
  [ -n "$size" ] && timeout 10 xdotool windowsize "$window" $size && resizes=$((resizes + 1))
  if ((t % 10 == 5)); then
    timeout 10 xdotool keydown x; sleep 0.5; timeout 10 xdotool keyup x   # long enough to auto-repeat
  else
    timeout 10 xdotool key --delay 15 "${keys[RANDOM % ${#keys[@]}]}" "${keys[RANDOM % ${#keys[@]}]}" \
      "${keys[RANDOM % ${#keys[@]}]}"
  fi

  now=$(date +%s%N)
  wait_ns=$((start + t * 1000000000 - now))
  ((wait_ns > 0)) && sleep "$(printf '%d.%09d' $((wait_ns / 1000000000)) $((wait_ns % 1000000000)))"
  rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null)
  [ -n "$rss" ] || fail "the program ended at second $t"
  echo "$t,$rss,$(frames),$(word 48),$(word 56)" >>"$csv"
done

# The end a user asks for: Escape held down until the program has gone.
focus
timeout 10 xdotool keydown Escape
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
timeout 10 xdotool keyup Escape
kill -0 "$pid" 2>/dev/null && fail "still running 10 s after Escape"
wait "$pid"
status=$?
pid=""
errors=$(word 16)
first_error=$(word 24)

# Growth: the largest RSS from the warm-up's end on, less the RSS then (a
# sample at the screen's size). The least-squares slope is fitted to the
# samples at the screen's size only, from the warm-up on.
read -r samples at_warmup final growth slope total last10 warmup_size refs < <(awk -F, -v w="$warmup" \
  -v full="${screen_w}x$screen_h" '
  NR == 1 { next }
  { n++; t = $1; rss = $2; fr[t] = $3; final = rss; total = $3; last = t }
  t == w { at = rss; max = rss; size = $4 "x" $5 }
  t >= w && rss > max { max = rss }
  t >= w && t % 10 == 0 && $4 "x" $5 == full { m++; sx += t; sy += rss; sxx += t * t; sxy += t * rss }
  END {
    slope = (m > 1 && m * sxx - sx * sx) ? (m * sxy - sx * sy) / (m * sxx - sx * sx) * 60 : 0
    printf "%d %d %d %d %.1f %d %d %s %d\n", n, at, final, max - at, slope, total, total - fr[last - 10], size, m
  }' "$csv")

printf 'soak summary (%s)\n' "$csv"
printf '  %-34s %s s\n' "duration" "$seconds"
printf '  %-34s %s\n' "samples" "$samples"
printf '  %-34s %s KiB (drawing at %s)\n' "RSS at $warmup s" "$at_warmup" "$warmup_size"
printf '  %-34s %s KiB\n' "final RSS" "$final"
printf '  %-34s %s KiB (limit %s)\n' "max growth after $warmup s" "$growth" "$limit"
printf '  %-34s %s KiB/min over %s samples at %s\n' "fitted slope after $warmup s" "$slope" "$refs" \
  "${screen_w}x$screen_h"
printf '  %-34s %s (%s in the last 10 s)\n' "frames drawn" "$total" "$last10"
printf '  %-34s %s resizes, %s s of keys\n' "traffic" "$resizes" "$seconds"
printf '  %-34s %s\n' "GL errors" "${errors:-?}"
printf '  %-34s %s\n' "exit status" "$status"

ok=1
[ "$status" -eq 1 ] || { echo "soak: FAILED: exit status $status, not 1" >&2; ok=0; }
[ "${errors:-1}" = 0 ] || { echo "soak: FAILED: GL errors, the first $(printf '0x%x' "${first_error:-0}")" >&2; ok=0; }
[ "$growth" -lt "$limit" ] || { echo "soak: FAILED: RSS grew $growth KiB after $warmup s" >&2; ok=0; }
[ "$warmup_size" = "${screen_w}x$screen_h" ] ||
  { echo "soak: FAILED: drawing at $warmup_size at $warmup s, not at the screen's size" >&2; ok=0; }
[ "$last10" -gt 0 ] || { echo "soak: FAILED: no frames in the last 10 s" >&2; ok=0; }
[ "$samples" -eq "$seconds" ] || { echo "soak: FAILED: $samples samples for $seconds s" >&2; ok=0; }
[ -s "$work/stderr" ] && { echo "soak: FAILED: output on stderr" >&2; sed 's/^/  stderr: /' "$work/stderr" >&2; ok=0; }
[ "$ok" = 1 ] || exit 1
echo "soak: passed"
