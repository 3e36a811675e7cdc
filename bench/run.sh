#!/usr/bin/env bash
# `make bench`: sineband against a freeglut peer on a private virtual display
# (Xvfb, Mesa's llvmpipe), in one run:
#   1. microbenchmarks of one pass: PeekMessageA with an empty queue, Draw
#   2. the contestants, interleaved round by round (bench_runner): sineband,
#      the freeglut peer, the peer that only clears (the ceiling), the peer
#      with an alpha buffer (sineband's buffers), and sineband.exe under Wine
#      where Wine and the .exe are there and its frames can be counted
#   3. callgrind over a fixed number of frames of sineband and of the peer:
#      whose code the instructions of a frame are spent in; and over the
#      start-up, to the first presented frame
#   4. the chart (gnuplot)
# Results go to build/linux/bench/results; report.md there has them all.
# SINEBAND_BENCH_ROUNDS (6) and SINEBAND_BENCH_SECONDS (3) size step 2.
# Not a test: nothing here passes or fails on a timing.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
build=${SINEBAND_BUILD:-$here/build/linux}
bin=$build/bench
out=$bin/results
shim=$bin/swapcount.so
rounds=${SINEBAND_BENCH_ROUNDS:-6}
seconds=${SINEBAND_BENCH_SECONDS:-3}
exe=$here/build/mingw-x64/sineband.exe
wine64=/usr/lib/wine/wine64

if [ -z "${SINEBAND_BENCH_INNER:-}" ]; then
  for f in "$build/sineband" "$shim" "$bin/bench_runner" "$bin/glut_band" "$bin/glut_clear" "$bin/glut_alpha"; do
    [ -x "$f" ] || { echo "bench: $f is missing (make bench builds it)" >&2; exit 1; }
  done
  # Always a display of our own, so nothing else draws on it meanwhile.
  SINEBAND_BENCH_INNER=1 exec "$here/tools/with-xvfb.sh" "$0" "$@"
fi

rm -rf "$out"
mkdir -p "$out"
echo "bench: results in $out"

# --- the machine --------------------------------------------------------------
version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo "not installed"; }
{
  echo "- nproc: $(nproc)"
  echo "- CPU: $(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
  echo "- memory: $(awk '/^MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)"
  echo "- kernel: $(uname -r)"
  echo "- Mesa: $(version libgl1-mesa-dri) (llvmpipe); SDL: $(version libsdl2-2.0-0); freeglut: $(version freeglut3-dev)"
  echo "- Xvfb: $(version xvfb); Wine: $(version wine64)"
  echo "- load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
} >"$out/machine.md"

# --- 1. microbenchmarks ---------------------------------------------------------
if [ -x "$bin/layer_bench" ]; then
  echo "bench: microbenchmarks"
  timeout 120 "$bin/layer_bench" --benchmark_min_time=0.5 --benchmark_out="$out/microbench.json" \
    --benchmark_out_format=json >"$out/microbench.txt" 2>&1 || echo "bench: layer_bench failed" >&2
  grep -E '^(BM_|Benchmark|-)' "$out/microbench.txt"
fi

# --- 2. the contestants ---------------------------------------------------------
contestants=(-- sineband escape "$build/sineband"
             -- freeglut term "$bin/glut_band"
             -- freeglut-clear term "$bin/glut_clear"
             -- freeglut-alpha term "$bin/glut_alpha")

# Wine: a prefix of the benchmark's own, created once and untimed, and one
# server kept for the whole run so each start is the program's, not the server's.
wine_note="Wine: not run (no wine64 or no $exe)"
if [ -x "$wine64" ] && [ -f "$exe" ]; then
  export WINEPREFIX=$bin/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINELOADER=$wine64
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "bench: creating the Wine prefix (once)"
    timeout 180 "$wine64" wineboot -i >/dev/null 2>&1
    timeout 60 wineserver -w
  fi
  wineserver -p
  # One untimed start, which also shows whether its frames can be counted.
  rm -f "$out"/probe.*
  SWAPCOUNT_OUT=$out/probe LD_PRELOAD=$shim timeout 60 "$wine64" "$exe" >/dev/null 2>&1 &
  probe=$!
  for _ in $(seq 300); do
    ls "$out"/probe.* >/dev/null 2>&1 && break
    kill -0 "$probe" 2>/dev/null || break
    sleep 0.1
  done
  if ls "$out"/probe.* >/dev/null 2>&1; then
    contestants+=(-- sineband.exe-wine escape "$wine64" "$exe")
    wine_note="Wine: sineband.exe ($exe) under $("$wine64" --version 2>/dev/null)"
  else
    wine_note="Wine: left out: no frame of sineband.exe could be counted"
  fi
  sleep 1
  kill "$probe" 2>/dev/null
  wait "$probe" 2>/dev/null
  rm -f "$out"/probe.*
fi
echo "bench: $wine_note"
echo "bench: $rounds rounds of $seconds s per contestant, interleaved"
"$bin/bench_runner" --shim "$shim" --out "$out" --rounds "$rounds" --seconds "$seconds" \
  --pair sineband,freeglut --pair sineband,freeglut-alpha --pair sineband.exe-wine,sineband "${contestants[@]}"
[ -n "${WINEPREFIX:-}" ] && timeout 20 wineserver -k 2>/dev/null

# --- 3. the profile -------------------------------------------------------------
# Instructions are counted from frame 30 to frame 80 (bench/swapcount.c), so
# the dump holds 50 whole passes of the frame loop and none of the start-up;
# and, apart, from the process's start to its first presented frame.
from=30 frames=50
callgrind() {   # NAME PROGRAM END FROM FRAMES: leaves $out/callgrind-NAME.out.1
  local name=$1 program=$2 end=$3 first=$4 count=$5 record="" pid n=0 window
  local instr=no
  [ "$first" -eq 0 ] && instr=yes   # from the start
  SWAPCOUNT_OUT=$out/cgrec-$name SWAPCOUNT_PROFILE=$first,$count LD_PRELOAD=$shim \
    timeout 240 valgrind --tool=callgrind --instr-atstart=$instr --callgrind-out-file="$out/callgrind-$name.out" \
    "$program" >"$out/valgrind-$name.log" 2>&1 &
  pid=$!
  for _ in $(seq 2000); do
    record=$(ls "$out"/cgrec-"$name".* 2>/dev/null | head -n 1)
    # frames: the 64-bit count after two 32-bit fields (bench/swapcount.h)
    [ -n "$record" ] && n=$(od -An -t u8 -j 8 -N 8 "$record" | tr -d ' ')
    [ "${n:-0}" -gt $((first + count)) ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ "$end" = escape ] && window=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n 1) &&
     [ -n "$window" ]; then
    xdotool mousemove --window "$window" 20 20
    xdotool windowfocus "$window"
    xdotool keydown Escape
    sleep 0.1
    xdotool keyup Escape
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  fi
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  [ -f "$out/callgrind-$name.out.1" ] && return
  echo "bench: no callgrind dump for $name (see $out/valgrind-$name.log)" >&2
  return 1
}

# Inclusive costs of the named functions: NAME REGEX
inclusive() {
  callgrind_annotate --inclusive=yes --threshold=100 "$out/callgrind-$1.out.1" 2>/dev/null |
    grep -E "^ *[0-9,]+ \(.*:($2) \[" >"$out/inclusive-$1.txt"
}

echo "bench: callgrind, $frames frames of each"
pass='WinMain|PeekMessageA|SwapBuffers|host_poll\(bool\)|SDL_PollEvent|Draw\(\)|glutMainLoop|glutMainLoopEvent|glutSwapBuffers'
for c in "sineband $build/sineband escape" "freeglut $bin/glut_band term"; do
  set -- $c
  if callgrind "$1" "$2" "$3" $from $frames; then
    awk -v program="$2" -v frames=$frames -f "$here/bench/shares.awk" "$out/callgrind-$1.out.1" >"$out/shares-$1.tsv"
    inclusive "$1" "$pass"
  fi
done
echo "bench: callgrind, the start-up to the first frame"
startup='main|_dl_start|_dl_relocate_object|SDL_Init|XOpenIM|SDL_CreateWindow|SDL_GL_CreateContext|glXGetFBConfigs'
startup+='|glXChooseFBConfig|glXCreateContext|glXCreateNewContext|host_pixel_formats\(HostWindow\*\)'
startup+='|host_window_set_format\(HostWindow\*, int\)|host_context_create\(HostWindow\*\)|glutInit|glutCreateWindow'
startup+='|Draw\(\)|SwapBuffers|glutSwapBuffers'
for c in "startup-sineband $build/sineband escape" "startup-freeglut $bin/glut_band term"; do
  set -- $c
  callgrind "$1" "$2" "$3" 0 1 && inclusive "$1" "$startup"
done

# --- 4. the chart and the report -------------------------------------------------
if command -v gnuplot >/dev/null && [ -s "$out/fps.dat" ]; then
  gnuplot -e "data='$out/fps.dat'; output='$out/fps.png'" "$here/bench/fps.gp" ||
    echo "bench: gnuplot failed" >&2
fi
echo "- load average after: $(cut -d' ' -f1-3 /proc/loadavg)" >>"$out/machine.md"

shares_table() {   # NAME
  [ -s "$out/shares-$1.tsv" ] || return
  echo
  echo "Instructions of one frame of $1 (callgrind, frames $from to $((from + frames))), by whose code:"
  echo
  echo "| code | Ir per frame | share |"
  echo "|---|---|---|"
  awk -F'\t' '{printf "| %s | %d | %.4f %% |\n", $1, $3, $4}' "$out/shares-$1.tsv"
  if [ -s "$out/inclusive-$1.txt" ]; then
    echo
    echo "Inclusive, per frame: $(awk -v f=$frames '{gsub(",", "", $1); n = $NF; sub(/ \[.*/, "", n);
      name = $0; sub(/ \[.*/, "", name); sub(/.*:/, "", name); printf "%s%s %d", sep, name, $1 / f; sep = "; "}' \
      "$out/inclusive-$1.txt")"
  fi
}
{
  echo "## Machine"
  echo
  cat "$out/machine.md"
  echo "- $wine_note"
  echo
  echo "## Frame rate, CPU, memory, start-up ($rounds rounds of $seconds s, interleaved)"
  echo
  cat "$out/summary.md"
  if [ -f "$out/microbench.txt" ]; then
    echo
    echo "## Microbenchmarks"
    echo
    echo '```'
    grep -E '^(BM_|Benchmark|-)' "$out/microbench.txt"
    echo '```'
  fi
  echo
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
[ -f "$out/fps.png" ] && echo && echo "chart: $out/fps.png"
exit 0
