#!/usr/bin/env bash
# `make bench`: sineband against a freeglut peer and the ceiling (the peer
# that only clears) on a private virtual display (Xvfb, Mesa's llvmpipe),
# and sineband.exe under Wine where Wine and the .exe are there, interleaved
# round by round (bench_runner); then the chart. Results go to
# build/linux/bench/results; report.md there has them all.
# SINEBAND_BENCH_ROUNDS (6) and SINEBAND_BENCH_SECONDS (3) size the runs;
# SINEBAND_BENCH_BEFORE names another build of the program (a copy made
# before a change) to run as "sineband-before" in the same rounds.
# Not a test: nothing here passes or fails on a timing.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
build=${SINEBAND_BUILD:-$here/build/linux}
bin=$build/bench
out=$bin/results
glcheck=$build/tests/support/glcheck.so
rounds=${SINEBAND_BENCH_ROUNDS:-6}
seconds=${SINEBAND_BENCH_SECONDS:-3}
exe=$here/build/mingw-x64/sineband.exe
wine64=/usr/lib/wine/wine64

if [ -z "${SINEBAND_BENCH_INNER:-}" ]; then
  for f in "$build/sineband" "$glcheck" "$bin/bench_runner" "$bin/glut_band" "$bin/glut_clear"; do
    [ -x "$f" ] || { echo "bench: $f is missing (make bench builds it)" >&2; exit 1; }
  done
  # Always a display of our own, so nothing else draws on it meanwhile;
  # large enough for the scaled window to be all on it.
  SINEBAND_BENCH_INNER=1 SINEBAND_XVFB_SCREEN=${SINEBAND_XVFB_SCREEN:-2560x1600x24} \
    exec "$here/tools/with-xvfb.sh" "$0" "$@"
fi

rm -rf "$out"
mkdir -p "$out"
echo "bench: results in $out"
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

# On a screen scaled by 2 (GDK_SCALE=2) sineband's window is 1200 x 900 of
# the screen's pixels: its peer there is freeglut's window of that size.
contestants=(-- sineband escape "$build/sineband"
             -- freeglut term "$bin/glut_band"
             -- freeglut-clear term "$bin/glut_clear"
             -- sineband-scale2 escape env GDK_SCALE=2 "$build/sineband"
             -- freeglut-1200x900 term "$bin/glut_band" 1200x900)
pairs=(--pair sineband,freeglut --pair sineband-scale2,freeglut-1200x900 --pair sineband.exe-wine,sineband)
if [ -n "${SINEBAND_BENCH_BEFORE:-}" ]; then
  contestants+=(-- sineband-before escape "$SINEBAND_BENCH_BEFORE")
  pairs+=(--pair sineband,sineband-before)
fi
# Wine: a prefix of the benchmark's own, made once and untimed, and one
# server kept for the whole run, so each start is the program's, not the server's.
wine_note="Wine: not run (no wine64 or no $exe)"
if [ -x "$wine64" ] && [ -f "$exe" ]; then
  export WINEPREFIX=$bin/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINELOADER=$wine64
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "bench: creating the Wine prefix (once)"
    timeout 180 "$wine64" wineboot -i >/dev/null 2>&1
    timeout 60 wineserver -w
  fi
  wineserver -p
  contestants+=(-- sineband.exe-wine escape "$wine64" "$exe")
  wine_note="Wine: sineband.exe ($exe) under $("$wine64" --version 2>/dev/null)"
fi
echo "bench: $wine_note"
echo "bench: $rounds rounds of $seconds s per contestant, interleaved"
"$bin/bench_runner" --glcheck "$glcheck" --out "$out" --rounds "$rounds" --seconds "$seconds" \
  "${pairs[@]}" "${contestants[@]}" | tee "$out/runner.txt"
[ -n "${WINEPREFIX:-}" ] && timeout 20 wineserver -k 2>/dev/null

if command -v gnuplot >/dev/null && [ -s "$out/fps.dat" ]; then
  gnuplot -e "data='$out/fps.dat'; output='$out/fps.png'" "$here/bench/fps.gp" || echo "bench: gnuplot failed" >&2
fi
echo "- load average after: $(cut -d' ' -f1-3 /proc/loadavg)" >>"$out/machine.md"
grep -q "left out" "$out/runner.txt" && wine_note="$wine_note; $(grep "left out" "$out/runner.txt" | sed 's/  */ /g')"
{
  echo "## Machine"
  echo
  cat "$out/machine.md"
  echo "- $wine_note"
  echo
  echo "## Frame rate, CPU, memory, start-up ($rounds rounds of $seconds s, interleaved)"
  echo
  cat "$out/summary.md"
} >"$out/report.md"
echo
cat "$out/report.md"
[ -f "$out/fps.png" ] && echo && echo "chart: $out/fps.png"
exit 0
