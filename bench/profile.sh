#!/usr/bin/env bash
# `make profile`: where the time and the instructions of a frame and of the
# start-up go, on a private virtual display (Xvfb, Mesa's llvmpipe):
#   1. microbenchmarks of one pass (layer_bench): PeekMessageA with an empty
#      queue, Draw, Clear
#   2. callgrind over 50 frames of sineband and of the freeglut peer, their
#      instructions summed by whose code they are (shares.awk); and over the
#      start-up, to the first presented frame
# Results go to build/linux/bench/profile; report.md there has them all.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
build=${SINEBAND_BUILD:-$here/build/linux}
bin=$build/bench
out=$bin/profile
glcheck=$build/tests/support/glcheck.so

if [ -z "${SINEBAND_PROFILE_INNER:-}" ]; then
  for f in "$build/sineband" "$glcheck" "$bin/glut_band"; do
    [ -x "$f" ] || { echo "profile: $f is missing (make profile builds it)" >&2; exit 1; }
  done
  SINEBAND_PROFILE_INNER=1 exec "$here/tools/with-xvfb.sh" "$0" "$@"
fi
. "$here/tools/x11.sh"
rm -rf "$out"
mkdir -p "$out"
echo "profile: results in $out"

if [ -x "$bin/layer_bench" ]; then
  echo "profile: microbenchmarks"
  timeout 120 "$bin/layer_bench" --benchmark_min_time=0.5 --benchmark_out="$out/microbench.json" \
    --benchmark_out_format=json >"$out/microbench.txt" 2>&1 || echo "profile: layer_bench failed" >&2
fi

# Counting runs from frame 30 to frame 80 (GLCHECK_PROFILE), so the dump
# holds 50 whole passes of the frame loop and none of the start-up; or, with
# FROM 0, from the process's start to its first presented frame.
from=30 frames=50
callgrind() {   # NAME PROGRAM END FROM FRAMES: leaves $out/callgrind-NAME.out.1
  local name=$1 program=$2 end=$3 first=$4 count=$5 instr=no pid n=0 window
  [ "$first" -eq 0 ] && instr=yes
  GLCHECK_OUT=$out/rec-$name GLCHECK_BENCH=1 GLCHECK_PROFILE=$first,$count LD_PRELOAD=$glcheck \
    timeout 240 valgrind --tool=callgrind --instr-atstart=$instr --callgrind-out-file="$out/callgrind-$name.out" \
    "$program" >"$out/valgrind-$name.log" 2>&1 &
  pid=$!
  for _ in $(seq 2000); do
    # swaps: the 64-bit word at offset 8 of a record (tests/support/glcheck.h);
    # timeout(1) and valgrind's launcher leave records of their own.
    n=$(for r in "$out"/rec-"$name".*; do od -An -t u8 -j 8 -N 8 "$r" 2>/dev/null; done | sort -n | tail -n 1 | tr -d ' ')
    [ "${n:-0}" -gt $((first + count)) ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  [ "$end" = escape ] && window=$(find_window OpenGL) && hold_key "$window" Escape && await_exit "$pid" 10
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  [ -f "$out/callgrind-$name.out.1" ] && return
  echo "profile: no callgrind dump for $name (see $out/valgrind-$name.log)" >&2
  return 1
}

# Inclusive costs of the named functions: NAME REGEX
inclusive() {
  callgrind_annotate --inclusive=yes --threshold=100 "$out/callgrind-$1.out.1" 2>/dev/null |
    grep -E "^ *[0-9,]+ \(.*:($2) \[" >"$out/inclusive-$1.txt"
}

echo "profile: callgrind, $frames frames of each"
pass='WinMain|PeekMessageA|SwapBuffers|host_poll\(bool\)|SDL_PollEvent|Draw\(\)|glutMainLoop|glutMainLoopEvent|glutSwapBuffers'
for c in "sineband $build/sineband escape" "freeglut $bin/glut_band term"; do
  set -- $c
  if callgrind "$1" "$2" "$3" $from $frames; then
    awk -v program="$2" -v frames=$frames -f "$here/bench/shares.awk" "$out/callgrind-$1.out.1" >"$out/shares-$1.tsv"
    inclusive "$1" "$pass"
  fi
done
echo "profile: callgrind, the start-up to the first frame"
startup='main|_dl_start|_dl_relocate_object|SDL_Init|XOpenIM|SDL_CreateWindow|SDL_GL_CreateContext|glXGetFBConfigs'
startup+='|glXChooseFBConfig|glXCreateContext|glXCreateNewContext|host_pixel_formats\(HostWindow\*\)'
startup+='|host_window_set_format\(HostWindow\*, int\)|host_context_create\(HostWindow\*\)|glutInit|glutCreateWindow'
startup+='|Draw\(\)|SwapBuffers|glutSwapBuffers'
for c in "startup-sineband $build/sineband escape" "startup-freeglut $bin/glut_band term"; do
  set -- $c
  callgrind "$1" "$2" "$3" 0 1 && inclusive "$1" "$startup"
done

shares_table() {   # NAME
  [ -s "$out/shares-$1.tsv" ] || return
  echo
  echo "Instructions of one frame of $1 (callgrind, frames $from to $((from + frames))), by whose code:"
  echo
  echo "| code | Ir per frame | share |"
  echo "|---|---|---|"
  awk -F'\t' '{printf "| %s | %d | %.4f %% |\n", $1, $3, $4}' "$out/shares-$1.tsv"
  [ -s "$out/inclusive-$1.txt" ] || return
  echo
  echo "Inclusive, per frame: $(awk -v f=$frames '{gsub(",", "", $1); name = $0; sub(/ \[.*/, "", name)
    sub(/.*:/, "", name); printf "%s%s %d", sep, name, $1 / f; sep = "; "}' "$out/inclusive-$1.txt")"
}
{
  if [ -f "$out/microbench.txt" ]; then
    echo "## Microbenchmarks"
    echo
    echo '```'
    grep -E '^(BM_|Benchmark|-)' "$out/microbench.txt"
    echo '```'
    echo
  fi
  echo "## Profile"
  shares_table sineband
  shares_table freeglut
  echo
  echo "## Start-up to the first frame (callgrind, instructions)"
  for n in sineband freeglut; do
    [ -s "$out/inclusive-startup-$n.txt" ] || continue
    echo
    echo "$n, inclusive:"
    echo
    awk '/^summary:/ {printf "- the whole process, every thread: %.1f M\n", $2 / 1e6}' "$out/callgrind-startup-$n.out.1"
    awk '{gsub(",", "", $1); name = $0; sub(/ \[.*/, "", name); sub(/^[^:]*:/, "", name)
          printf "- %s: %.1f M\n", name, $1 / 1e6}' "$out/inclusive-startup-$n.txt"
  done
} >"$out/report.md"
echo
cat "$out/report.md"
exit 0
