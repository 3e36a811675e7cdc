#!/usr/bin/env bash
# Installs the Debian packages a profile needs; only what is missing is
# installed, and apt-get update runs once, first.
#   tools/install-deps.sh [--list | --dry-run] [PROFILE]
# PROFILE is one of
#   run  build the Linux program and run it, on a virtual display too (make run)
#   web  build the web page and run it in Chromium, Firefox and WebKit (make
#        web, make bench-web)
#   arm64  build the Linux program for arm64 and run it under qemu-user
#   all  everything: the suite, the Windows builds and Wine, the arm64 build,
#        the web page, bench, asan, fuzz, the Debian packages (the default)
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
# driver among them), Xlib, and the Wayland scale protocols' descriptions
# and wayland-scanner, which makes them into C.
program=(build-essential cmake libsdl2-dev libgl1-mesa-dev libglu1-mesa-dev libgl1-mesa-dri libx11-dev
         wayland-protocols libwayland-bin)
# Its run without a display: Xvfb, xdpyinfo, xdotool, xwd and convert for the
# screenshot, and a 12-point server font, without which SDL's message box
# cannot open on Xvfb.
headless=(xvfb x11-utils xdotool x11-apps imagemagick xfonts-base)
# make test: GoogleTest; openbox for the storms, so that minimising on Xvfb
# iconifies.
suite=(pkg-config libgtest-dev googletest openbox)
# The suite on Wayland compositors: headless sway, wtype's keys, grim's
# screenshots, and jq to read sway's window tree; GNOME's mutter and KDE's
# KWin (Qt and KDE's frameworks: most of what this group costs), each in a
# D-Bus session of its own, gdbus to set mutter's scale, and libdecor's
# plugin, which libdecor only recommends: the window's frame on mutter.
wayland=(sway wtype grim jq mutter kwin-wayland dbus-daemon libglib2.0-bin libdecor-0-plugin-1-cairo)
# make bench: the freeglut peer, microbenchmarks, the profile and the chart.
bench=(freeglut3-dev libbenchmark-dev valgrind gnuplot-nox)
# make asan and make fuzz: clang and its sanitizer and fuzzer runtimes.
sanitizers=(clang libclang-rt-14-dev)
# make dist's Debian packages and archives: CPack's use of file and
# dpkg-shlibdeps, and lintian and hardening-check (devscripts), which they
# are checked with; the desktop entry's and the metainfo's validators.
deb=(file dpkg-dev lintian devscripts desktop-file-utils appstream)
# The icon made into PNGs by rsvg-convert, for the Linux install, the page's
# folder and the Windows .ico.
icons=(librsvg2-bin)
# The program for arm64: the cross compiler, the arm64 builds of the
# libraries it is built with (a second architecture of this install), and
# qemu-user, which runs it here against the arm64 libraries of that install.
arm64=(crossbuild-essential-arm64 qemu-user libsdl2-dev:arm64 libgl-dev:arm64 libglu1-mesa-dev:arm64
       libegl-dev:arm64 libx11-dev:arm64 libwayland-dev:arm64 libgl1-mesa-dri:arm64)
# The Windows programs, and their run under Wine in the suite; icoutils'
# icotool makes their icon, its wrestool reads their resources back.
windows=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64 wine wine64 icoutils)
# The web page: Emscripten, and acorn for its JavaScript optimiser; Chromium,
# Firefox ESR and WebKitGTK's WebDriver (which brings its MiniBrowser) for make
# web, the browser tests and make bench-web, which also need Node, npm (the
# machine's own if it has them) and the npm packages of tools/web, pinned by
# its package-lock.json and installed below. Firefox has WebGL here only
# headed, and WebKit has no headless mode, so both run on Xvfb.
web=(cmake make emscripten node-acorn chromium firefox-esr webkit2gtk-driver xvfb)
command -v node >/dev/null || web+=(nodejs)
command -v npm >/dev/null || web+=(npm)

with_web=1
case "$profile" in
  run) packages=("${program[@]}" "${headless[@]}"); with_web=0 ;;
  web) packages=("${web[@]}" "${icons[@]}") ;;
  arm64) packages=("${program[@]}" "${arm64[@]}"); with_web=0 ;;
  all) packages=("${program[@]}" "${headless[@]}" "${suite[@]}" "${wayland[@]}" "${bench[@]}" "${sanitizers[@]}"
                 "${windows[@]}" "${deb[@]}" "${icons[@]}" "${arm64[@]}" "${web[@]}") ;;
  *) echo "install-deps: unknown profile '$profile' (run, web, arm64 or all)" >&2; exit 2 ;;
esac

if [ "$mode" = list ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

# Whether package NAME[:ARCH] is installed, for ARCH or for all; a bare name
# means this machine's architecture.
# NOTE: once a package is installed for two architectures its bare name is
# ambiguous to dpkg, and "install ok installed" of the other one's proves
# nothing, so each instance is asked for its architecture.
native=$(dpkg --print-architecture)
installed() {
  local name=${1%%:*} arch=$native
  [ "$name" = "$1" ] || arch=${1#*:}
  dpkg-query -W -f='${Status} ${Architecture}\n' "$name" 2>/dev/null | grep -Eqx "install ok installed ($arch|all)"
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ "$mode" = dry-run ]; then
  [ ${#missing[@]} -eq 0 ] || printf '%s\n' "${missing[@]}"
  exit 0
fi

if [ ${#missing[@]} -ne 0 ]; then
  echo "installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  # The arm64 packages need arm64 added as a second architecture first.
  if printf '%s\n' "${missing[@]}" | grep -q ':arm64$' && ! dpkg --print-foreign-architectures | grep -qx arm64; then
    $sudo dpkg --add-architecture arm64
  fi
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The web tools' npm packages, again whenever the lock file changes.
tools=$(cd "$(dirname "$0")" && pwd)/web
if [ "$with_web" = 1 ] && ! cmp -s "$tools/package-lock.json" "$tools/node_modules/.sineband-lock"; then
  echo "installing the npm packages of tools/web"
  (cd "$tools" && npm ci --no-audit --no-fund --loglevel=error)
  cp "$tools/package-lock.json" "$tools/node_modules/.sineband-lock"
fi
