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
#   SOAK_MALLOC=TUNABLES           glibc's malloc settings for the program (see below)
#   SINEBAND_PROGRAM, GLCHECK_SO   the program, and the frame counter preloaded into it
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
warmup=${SOAK_WARMUP:-60}
limit=${SOAK_LIMIT_KIB:-1024}
csv=${SOAK_CSV:-$here/build/soak.csv}
program=${SINEBAND_PROGRAM:-$here/build/linux/sineband}
shim=${GLCHECK_SO:-$here/build/linux/tests/support/glcheck.so}

if [ "$seconds" -lt $((warmup + 30)) ] || [ $((warmup % 10)) -ne 0 ]; then
  echo "soak: a warm-up of $warmup s (a multiple of 10) needs 30 s more than $seconds s" >&2
  exit 2
fi
for f in "$program" "$shim"; do
  [ -e "$f" ] || { echo "soak: $f is missing (make build builds it)" >&2; exit 2; }
done

. "$here/tools/x11.sh"
if [ -z "${SOAK_INNER:-}" ]; then
  SOAK_INNER=1 exec "$here/tools/with-xvfb.sh" "$0" "$@"
fi

seed=${SOAK_SEED:-$(( $(date +%s%N) % 32768 ))}
RANDOM=$seed
mkdir -p "$(dirname "$csv")"
work=$(mktemp -d /tmp/soak.XXXXXX)
record=""   # the frame counter's record, $work/glcheck.PID
pid=""
cleanup() {
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "soak: FAILED: $*" >&2; [ -s "$work/stderr" ] && sed 's/^/  stderr: /' "$work/stderr" >&2; exit 1; }

# One 64-bit word of the frame counter's record at a byte offset: swaps 8,
# gl_errors 48, first_error 56, viewport_w 72, viewport_h 80 (tests/support/glcheck.h).
word() { od -An -tu8 -j "$1" -N8 "$record" 2>/dev/null | tr -d ' '; }
frames() { local f; f=$(word 8); echo "${f:-0}"; }

# NOTE: with its moving mmap threshold, glibc serves the freed buffers of
# one size from the heap at the next, and what it keeps there swings the
# resident size by a mebibyte at one and the same window size. A fixed
# threshold hands every large buffer back when it is freed, so the resident
# size follows what is still allocated. SOAK_MALLOC= (empty) leaves glibc be.
malloc=${SOAK_MALLOC-glibc.malloc.mmap_threshold=131072}
GLIBC_TUNABLES="${malloc}${GLIBC_TUNABLES:+:$GLIBC_TUNABLES}" \
  LD_PRELOAD="$shim${LD_PRELOAD:+:$LD_PRELOAD}" GLCHECK_OUT=$work/glcheck "$program" </dev/null >"$work/stdout" 2>"$work/stderr" &
pid=$!
record=$work/glcheck.$pid

window=$(wait_for_window OpenGL "$pid" 20) || fail "no window within 20 s"
for _ in $(seq 200); do
  [ "$(frames)" -gt 0 ] && break
  kill -0 "$pid" 2>/dev/null || fail "the program ended before it drew"
  sleep 0.1
done

read -r screen_w screen_h < <(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')
focus_window "$window"
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
    hold_key "$window" x 0.5   # long enough to auto-repeat
  else
    timeout 10 xdotool key --delay 15 "${keys[RANDOM % ${#keys[@]}]}" "${keys[RANDOM % ${#keys[@]}]}" \
      "${keys[RANDOM % ${#keys[@]}]}"
  fi

  now=$(date +%s%N)
  wait_ns=$((start + t * 1000000000 - now))
  ((wait_ns > 0)) && sleep "$(printf '%d.%09d' $((wait_ns / 1000000000)) $((wait_ns % 1000000000)))"
  rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null)
  [ -n "$rss" ] || fail "the program ended at second $t"
  echo "$t,$rss,$(frames),$(word 72),$(word 80)" >>"$csv"
done

# The end a user asks for: Escape held as a finger holds it.
hold_key "$window" Escape 0.2
await_exit "$pid" 10 || { pid=""; fail "still running 10 s after Escape"; }
status=$exit_status
pid=""
errors=$(word 48)
first_error=$(word 56)

# Growth, as passed or failed: the slope fitted to the samples at the
# screen's size from the warm-up on (Theil-Sen: the median of the slopes
# between every pair of them, which one passing spike cannot tilt), times
# the time measured. The largest RSS after the warm-up less the RSS at its
# end is shown beside it.
full="${screen_w}x$screen_h"
read -r samples at_warmup final max_growth total last10 warmup_size < <(awk -F, -v w="$warmup" '
  NR == 1 { next }
  { n++; t = $1; rss = $2; fr[t] = $3; final = rss; total = $3; last = t }
  t == w { at = rss; max = rss; size = $4 "x" $5 }
  t >= w && rss > max { max = rss }
  END { printf "%d %d %d %d %d %d %s\n", n, at, final, max - at, total, total - fr[last - 10], size }' "$csv")
read -r refs slope < <(awk -F, -v w="$warmup" -v full="$full" '
  BEGIN { n = 0 }
  NR > 1 && $1 >= w && $1 % 10 == 0 && $4 "x" $5 == full { t[n] = $1; r[n] = $2; n++ }
  END { for (i = 0; i < n; i++) for (j = i + 1; j < n; j++) print n, (r[j] - r[i]) / (t[j] - t[i]) }' "$csv" |
  sort -k2,2g | awk '{ n = $1; s[NR] = $2 }
  END { if (NR == 0) { print 0, 0; exit } m = NR % 2 ? s[(NR + 1) / 2] : (s[NR / 2] + s[NR / 2 + 1]) / 2; print n, m }')
span=$((seconds - warmup))
growth=$(awk -v s="$slope" -v d="$span" 'BEGIN { printf "%d", s * d }')

printf 'soak summary (%s)\n' "$csv"
printf '  %-34s %s s\n' "duration" "$seconds"
printf '  %-34s %s\n' "samples" "$samples"
printf '  %-34s %s KiB (drawing at %s)\n' "RSS at $warmup s" "$at_warmup" "$warmup_size"
printf '  %-34s %s KiB\n' "final RSS" "$final"
printf '  %-34s %s KiB over %s s (limit %s): %.2f KiB/min, Theil-Sen, %s samples at %s\n' \
  "growth after $warmup s, fitted" "$growth" "$span" "$limit" "$(awk -v s="$slope" 'BEGIN { print s * 60 }')" \
  "$refs" "$full"
printf '  %-34s %s KiB\n' "max RSS after $warmup s less RSS at" "$max_growth"
printf '  %-34s %s (%s in the last 10 s)\n' "frames drawn" "$total" "$last10"
printf '  %-34s %s resizes, %s s of keys\n' "traffic" "$resizes" "$seconds"
printf '  %-34s %s\n' "GL errors" "${errors:-?}"
printf '  %-34s %s\n' "exit status" "$status"

ok=1
[ "$status" -eq 1 ] || { echo "soak: FAILED: exit status $status, not 1" >&2; ok=0; }
[ "${errors:-1}" = 0 ] || { echo "soak: FAILED: GL errors, the first $(printf '0x%x' "${first_error:-0}")" >&2; ok=0; }
[ "$refs" -ge 3 ] || { echo "soak: FAILED: only $refs samples at $full to fit" >&2; ok=0; }
[ "$growth" -lt "$limit" ] || { echo "soak: FAILED: RSS grows $growth KiB over $span s after the warm-up" >&2; ok=0; }
[ "$warmup_size" = "$full" ] ||
  { echo "soak: FAILED: drawing at $warmup_size at $warmup s, not at $full" >&2; ok=0; }
[ "$last10" -gt 0 ] || { echo "soak: FAILED: no frames in the last 10 s" >&2; ok=0; }
[ "$samples" -eq "$seconds" ] || { echo "soak: FAILED: $samples samples for $seconds s" >&2; ok=0; }
[ -s "$work/stderr" ] && { echo "soak: FAILED: output on stderr" >&2; sed 's/^/  stderr: /' "$work/stderr" >&2; ok=0; }
[ "$ok" = 1 ] || exit 1
echo "soak: passed"
