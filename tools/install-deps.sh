#!/usr/bin/env bash
# Installs the Debian packages sineband needs to build, test and run headless.
# Only what is missing is installed; apt-get update runs once, first.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libsdl2-dev libgl1-mesa-dev libglu1-mesa-dev libgl1-mesa-dri
  libgtest-dev googletest
  xvfb xdotool x11-apps x11-utils imagemagick libx11-dev
  # make bench: the freeglut peer, microbenchmarks, the profile and the chart
  freeglut3-dev libbenchmark-dev valgrind gnuplot-nox
)

# Reliability: clang and its sanitizer and fuzzer runtimes for make asan and
# make fuzz; a 12-point server font, without which SDL's message box cannot
# open on Xvfb.
packages+=(clang libclang-rt-14-dev xfonts-base)
packages+=(openbox)   # the storms: a window manager, so that minimising on Xvfb iconifies

# The Windows builds and their run under Wine come with the same script,
# unless the caller only wants the Linux pieces.
if [ "${SINEBAND_LINUX_ONLY:-0}" != 1 ]; then
  packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64 wine wine64)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
