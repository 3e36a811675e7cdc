#!/usr/bin/env bash
# Installs the Debian packages a profile needs; only what is missing is
# installed, and apt-get update runs once, first.
#   tools/install-deps.sh [--list | --dry-run] [PROFILE]
# PROFILE is one of
#   run  build the Linux program and run it, on a virtual display too (make run)
#   all  everything: the suite, the Windows builds and Wine, bench, asan, fuzz
#        (the default)
# --list prints the profile's packages, --dry-run the ones it would install;
# neither installs anything.
set -euo pipefail

mode=install
case "${1:-}" in
  --list) mode=list; shift ;;
  --dry-run) mode=dry-run; shift ;;
esac
profile=${1:-all}

# The Linux program: compiler, CMake, SDL2, OpenGL and GLU (Mesa's software
# driver among them), Xlib.
program=(build-essential cmake libsdl2-dev libgl1-mesa-dev libglu1-mesa-dev libgl1-mesa-dri libx11-dev)
# Its run without a display: Xvfb, xdpyinfo, xdotool, xwd and convert for the
# screenshot, and a 12-point server font, without which SDL's message box
# cannot open on Xvfb.
headless=(xvfb x11-utils xdotool x11-apps imagemagick xfonts-base)
# make test: GoogleTest; openbox for the storms, so that minimising on Xvfb
# iconifies.
suite=(pkg-config libgtest-dev googletest openbox)
# make bench: the freeglut peer, microbenchmarks, the profile and the chart.
bench=(freeglut3-dev libbenchmark-dev valgrind gnuplot-nox)
# make asan and make fuzz: clang and its sanitizer and fuzzer runtimes.
sanitizers=(clang libclang-rt-14-dev)
# The Windows programs, and their run under Wine in the suite.
windows=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64 wine wine64)

case "$profile" in
  run) packages=("${program[@]}" "${headless[@]}") ;;
  all) packages=("${program[@]}" "${headless[@]}" "${suite[@]}" "${bench[@]}" "${sanitizers[@]}" "${windows[@]}") ;;
  *) echo "install-deps: unknown profile '$profile' (run or all)" >&2; exit 2 ;;
esac

if [ "$mode" = list ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "$mode" = dry-run ]; then
  [ ${#missing[@]} -eq 0 ] || printf '%s\n' "${missing[@]}"
  exit 0
fi
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
