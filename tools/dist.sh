#!/usr/bin/env bash
# `make dist`: the archives, in build/dist (or -o DIR):
#   linux  sineband-linux-<machine>.tar.gz: sineband-linux-<machine>/ with
#          bin/sineband and share/ (its manual page, desktop entry, metainfo
#          and icons: cmake --install of build/linux, or of SINEBAND_BUILD),
#          README, LICENSE, NOTICES; <machine> is the one the program is for
#   linux-aarch64  the same of build/linux-aarch64 (or SINEBAND_AARCH64_BUILD)
#   win32  sineband-win32.zip: sineband.exe of build/mingw-x86, readme.txt,
#   win64  sineband-win64.zip: and of build/mingw-x64      LICENSE.txt, NOTICES.txt
#   web    sineband-web.zip: index.html of build/web (the program inside)
#          and the icons beside it, readme.txt, LICENSE, NOTICES
#   deb    sineband_<version>_<arch>.deb: cpack of build/linux (or of
#          SINEBAND_BUILD), as cmake/deb.cmake sets it up
#   deb-aarch64  the same of build/linux-aarch64 (or SINEBAND_AARCH64_BUILD)
#   tools/dist.sh [-o DIR] [ARCHIVE...]   (all of them by default)
# Each archive is made from a staging folder and read back: one without the
# licence and the notices is an error. The package is read back with dpkg-deb
# and lintian (check_deb); the Linux program in each is checked for Debian's
# hardening (check_hardening).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=$here/build/dist
if [ "${1:-}" = -o ]; then out=$2; shift 2; fi
[ $# -gt 0 ] || set -- linux linux-aarch64 deb deb-aarch64 win32 win64 web
native_build=${SINEBAND_BUILD:-$here/build/linux}
aarch64_build=${SINEBAND_AARCH64_BUILD:-$here/build/linux-aarch64}
mkdir -p "$out"
out=$(cd "$out" && pwd)

fail() { echo "dist: $*" >&2; exit 1; }

# stage NAME: an empty staging folder for archive NAME, in $stage.
stage() { stage=$out/.stage-$1; rm -rf "$stage"; mkdir -p "$stage"; }

# pack FILE: archives the staging folder's contents as FILE (.zip or
# .tar.gz), checks that it holds the licence and the notices, and says so.
pack() {
  local file=$out/$1 listing
  rm -f "$file"
  case "$file" in
    *.zip) (cd "$stage" && cmake -E tar cf "$file" --format=zip -- *) ;;
    *.tar.gz) (cd "$stage" && cmake -E tar czf "$file" -- *) ;;
  esac
  rm -rf "$stage"
  listing=$(cmake -E tar tf "$file")
  for f in LICENSE NOTICES; do
    grep -Eq "(^|/)$f(\.txt)?$" <<<"$listing" || fail "$1 has no $f"
  done
  echo "dist: ${file#"$here"/}"
}

# target PROGRAM: sets machine (as uname -m names it), arch (Debian's name)
# and multiarch (the libraries' folder name) to those PROGRAM is built for.
target() {
  case $(LC_ALL=C readelf -h "$1" | sed -n 's/^ *Machine: *//p') in
    *X86-64) machine=x86_64 arch=amd64 multiarch=x86_64-linux-gnu ;;
    AArch64) machine=aarch64 arch=arm64 multiarch=aarch64-linux-gnu ;;
    *) fail "$1: not a program for x86-64 or arm64" ;;
  esac
}

# For each library PROGRAM is linked with, the Debian package that holds it:
# "package library" lines. NOTE: the libraries are looked up where the
# loader of PROGRAM's machine looks, not with ldd, which can only load a
# program of this machine's.
runtime_libraries() {
  local lib path package dir machine arch multiarch
  target "$1"
  for lib in $(objdump -p "$1" | awk '$1 == "NEEDED" { print $2 }'); do
    path=""
    for dir in /lib/$multiarch /usr/lib/$multiarch /lib /usr/lib; do
      [ -e "$dir/$lib" ] && { path=$dir/$lib; break; }
    done
    [ -n "$path" ] || fail "$1 cannot find $lib"
    # /lib and /usr/lib are one directory; dpkg knows a file by either name.
    package=$(dpkg -S "$path" 2>/dev/null || dpkg -S "/usr$path" 2>/dev/null) || fail "no package holds $path"
    echo "${package%%:*} $lib"
  done
}

# The Debian packages that hold the libraries PROGRAM is linked with.
runtime_packages() {
  runtime_libraries "$1" | cut -d' ' -f1 | sort -u
}

# check_hardening PROGRAM BUILD: hardening-check's yes to all it can see
# here, and the two flags it cannot (stack clash and control-flow
# protection) in every compile command of BUILD.
check_hardening() {
  local report feature commands flag machine arch multiarch
  command -v hardening-check >/dev/null || fail "no hardening-check here (tools/install-deps.sh brings it)"
  report=$(hardening-check "$1" 2>&1) || true
  for feature in "Position Independent Executable" "Stack protected" "Fortify Source functions" \
    "Read-only relocations" "Immediate binding"; do
    grep -q "^ $feature: yes" <<<"$report" || fail "$1 is not hardened:"$'\n'"$report"
  done
  target "$1"
  [ -f "$2/compile_commands.json" ] || fail "$2 has no compile_commands.json"
  commands=$(grep '"command":' "$2/compile_commands.json")
  [ -n "$commands" ] || fail "$2/compile_commands.json holds no command"
  for flag in -fstack-clash-protection $([ "$machine" = x86_64 ] && echo -fcf-protection); do
    if grep -qv -e " $flag " <<<"$commands"; then
      fail "$2: not every file is compiled with $flag"
    fi
  done
}

# check_desktop ROOT NAME: what makes the program a desktop app under
# ROOT/share, in package or archive NAME: its manual page, desktop entry,
# metainfo and icons, the entry and the metainfo validated. appstreamcli may
# warn of one thing only: the id, the program's name, is not a reversed
# domain name (the metainfo says why).
check_desktop() {
  local share=$1/share f size report tool
  for tool in desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null || fail "no $tool here (tools/install-deps.sh brings it)"
  done
  for f in man/man1/sineband.1.gz applications/sineband.desktop metainfo/sineband.metainfo.xml \
    icons/hicolor/scalable/apps/sineband.svg; do
    [ -f "$share/$f" ] || fail "$2 has no share/$f"
  done
  for size in 16 24 32 48 64 128 256 512; do
    f=icons/hicolor/${size}x$size/apps/sineband.png
    [[ $(file -b "$share/$f" 2>&1) == "PNG image data, $size x $size,"* ]] ||
      fail "$2 has no $size-pixel PNG share/$f (rsvg-convert makes it: tools/install-deps.sh brings it)"
  done
  report=$(desktop-file-validate "$share/applications/sineband.desktop" 2>&1)
  [ -z "$report" ] || fail "$2: desktop-file-validate reports:"$'\n'"$report"
  grep -qx 'Exec=sineband' "$share/applications/sineband.desktop" && [ -x "$1/bin/sineband" ] ||
    fail "$2: its desktop entry does not run its bin/sineband"
  report=$(appstreamcli validate --pedantic --no-net "$share/metainfo/sineband.metainfo.xml" 2>&1 |
    grep -E '^[EWIP]: ' | grep -v '^W: sineband:[0-9]*: cid-desktopapp-is-not-rdns sineband$' || true)
  [ -z "$report" ] || fail "$2: appstreamcli validate --pedantic reports:"$'\n'"$report"
}

# linux BUILD: the archive of BUILD's program, named after its machine.
linux() {
  local name root packages release machine arch multiarch component
  # shellcheck source=/dev/null
  release=$(. /etc/os-release && echo "$VERSION_ID")
  stage linux
  [ -x "$1/sineband" ] || fail "$1/sineband is missing (make build builds it)"
  target "$1/sineband"
  name=sineband-linux-$machine
  root=$stage/$name
  # The program with its manual page, and what makes it a desktop app; the
  # licence and the notices are the archive's own, below.
  for component in program desktop; do
    cmake --install "$1" --prefix "$root" --component $component --strip >/dev/null
  done
  [ -x "$root/bin/sineband" ] || fail "cmake --install put no bin/sineband in $root"
  check_hardening "$root/bin/sineband" "$1"
  check_desktop "$root" "$name.tar.gz"
  packages=$(runtime_packages "$root/bin/sineband" | tr '\n' ' ')
  cp "$here/LICENSE" "$here/NOTICES" "$root/"
  cat >"$root/README" <<TEXT
sineband for Linux ($machine)

A white sine band on black, drawn with OpenGL in a 600 x 450 window.
Run bin/sineband on an X display or a Wayland desktop; Escape or closing
the window quits. share/ holds its manual page, and its desktop entry,
AppStream metainfo and icons: copy bin and share into ~/.local (or, as
root, /usr/local), with that bin on PATH, and it is in the desktop's menu
too.

It is linked with libraries that these Debian $release packages hold:

  sudo apt-get install ${packages% }

libglx0 brings Mesa's OpenGL driver with it (libglx-mesa0, libgl1-mesa-dri).
LICENSE is sineband's licence; NOTICES says what of others' code the
archives carry.
TEXT
  pack "$name.tar.gz"
}

# deb BUILD: BUILD's Debian package, made by cpack in a staging folder and
# checked there.
deb() {
  local log file tool machine arch multiarch
  for tool in cpack file dpkg-shlibdeps dpkg-deb lintian; do
    command -v "$tool" >/dev/null || fail "no $tool here (tools/install-deps.sh brings it)"
  done
  [ -x "$1/sineband" ] || fail "$1/sineband is missing (make build builds it)"
  target "$1/sineband"
  stage deb
  # NOTE: dpkg-shlibdeps looks for the libraries of DEB_HOST_ARCH's
  # multiarch folder; the build machine's unless told.
  log=$(DEB_HOST_ARCH=$arch cpack --config "$1/CPackConfig.cmake" -G DEB -B "$stage" 2>&1) ||
    fail "cpack failed:"$'\n'"$log"
  file=$(find "$stage" -maxdepth 1 -name '*.deb')
  [ -f "$file" ] || fail "cpack made not one .deb in $stage"
  [ "$(dpkg-deb -f "$file" Architecture)" = "$arch" ] || fail "${file##*/} is not of $arch, which its program is for"
  check_deb "$file" "$1"
  mv "$file" "$out/"
  rm -rf "$stage"
  echo "dist: ${out#"$here"/}/${file##*/}"
}

# check_deb FILE BUILD: the package's files, its changelog's version,
# Depends that name the package of every library its program is linked
# with, its program hardened, its desktop entry, metainfo and icons
# (check_desktop), and nothing at all from lintian.
check_deb() {
  local deb=$1 root=$stage/root doc=$stage/root/usr/share/doc/sineband f depends names libs package lib report
  dpkg-deb -x "$deb" "$root"
  for f in usr/bin/sineband usr/share/doc/sineband/copyright usr/share/doc/sineband/changelog.gz; do
    [ -f "$root/$f" ] || fail "${deb##*/} has no /$f"
  done
  for f in LICENSE NOTICES; do
    [[ $(<"$doc/copyright") == *"$(<"$here/$f")"* ]] || fail "${deb##*/}: its copyright file lacks $f"
  done
  [ "$(zcat "$doc/changelog.gz" | sed -n '1s/^[^(]*(\([^)]*\)).*/\1/p')" = "$(dpkg-deb -f "$deb" Version)" ] ||
    fail "${deb##*/}: the changelog's newest entry is not of its version"
  # Depends, one name a line: alternatives split, versions and
  # architectures dropped.
  depends=$(dpkg-deb -f "$deb" Depends)
  names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*)//; s/:.*//; s/[[:space:]]//g')
  libs=$(runtime_libraries "$root/usr/bin/sineband")
  [ -n "$libs" ] || fail "${deb##*/}: its program names no library it is linked with"
  while read -r package lib; do
    grep -qx "$package" <<<"$names" ||
      fail "${deb##*/}: Depends ($depends) lacks $package, which holds $lib"
  done <<<"$libs"
  check_hardening "$root/usr/bin/sineband" "$2"
  check_desktop "$root/usr" "${deb##*/}"
  [ "$(grep -om1 '<release version="[^"]*"' "$root/usr/share/metainfo/sineband.metainfo.xml")" = \
    "<release version=\"$(dpkg-deb -f "$deb" Version)\"" ] || fail "${deb##*/}: its metainfo's newest release is not its version"
  # NOTE: only its standard output holds tags; it complains of root on the other.
  report=$(lintian --pedantic --display-info --fail-on none "$deb" 2>"$stage/lintian.log") ||
    fail "${deb##*/}: lintian failed:"$'\n'"$(<"$stage/lintian.log")"
  [ -z "$report" ] || fail "${deb##*/}: lintian --pedantic reports:"$'\n'"$report"
}

# windows NAME BUILD: the zip of one Windows build.
windows() {
  local exe=$here/build/$2/sineband.exe
  [ -f "$exe" ] || fail "$exe is missing (make build builds it)"
  stage "$1"
  cp "$exe" "$stage/sineband.exe"
  # Windows line ends, so that any text editor there shows the lines.
  sed 's/$/\r/' "$here/LICENSE" >"$stage/LICENSE.txt"
  sed 's/$/\r/' "$here/NOTICES" >"$stage/NOTICES.txt"
  sed 's/$/\r/' >"$stage/readme.txt" <<TEXT
sineband ($1)

A white sine band on black, drawn with OpenGL in a 600 x 450 window.

To run it, double-click sineband.exe. Nothing needs installing: the program
uses only the OpenGL that comes with Windows. The win32 build runs on 32- and
64-bit Windows alike, on any processor with SSE2 (Pentium 4 and later); the
win64 build on 64-bit Windows only.

Escape or Alt+F4 quits. LICENSE.txt is its licence; NOTICES.txt names the
code of others it carries.
TEXT
  pack "sineband-$1.zip"
}

# The web page: one file, the program inside, and the icons it may show
# once installed.
web() {
  local f
  stage web
  for f in index.html icon-192.png icon-512.png icon-maskable-512.png apple-touch-icon.png; do
    [ -f "$here/build/web/$f" ] || fail "$here/build/web/$f is missing (make build builds it)"
    cp "$here/build/web/$f" "$stage/"
  done
  # Every icon the page names is beside it, as it was made.
  for f in $(grep -o "'[a-z0-9-]*\.png'" "$stage/index.html" | tr -d "'" | sort -u); do
    [ "$(file -b "$stage/$f" 2>&1 | cut -d, -f1)" = "PNG image data" ] || fail "index.html names $f, which the archive lacks"
  done
  cp "$here/LICENSE" "$here/NOTICES" "$stage/"
  cat >"$stage/readme.txt" <<'TEXT'
sineband (web)

A white sine band on black, drawn with WebGL in a 600 x 450 window on a
web page: the same program as the Windows build, in a browser.

index.html is the whole program: open it in a browser, from the file or
from any web server, for example:

    python3 -m http.server --bind 127.0.0.1 8000

then http://127.0.0.1:8000/ .

Served over https (or from 127.0.0.1), the page can be installed as an app
(the browser's Install, or Add to Home Screen). The PNG icons beside it are
for that; keep them in the same folder. The page alone asks for nothing.

Escape or the window's close button ends the program; the page then says
its exit status (1 is a normal end). A browser without WebGL shows an
error box instead, and the program ends with status 0. LICENSE is its
licence; NOTICES names the code of others it carries.
TEXT
  pack sineband-web.zip
}

for archive in "$@"; do
  case "$archive" in
    linux) linux "$native_build" ;;
    linux-aarch64) linux "$aarch64_build" ;;
    win32) windows win32 mingw-x86 ;;
    win64) windows win64 mingw-x64 ;;
    web) web ;;
    deb) deb "$native_build" ;;
    deb-aarch64) deb "$aarch64_build" ;;
    *) fail "unknown archive '$archive' (linux, linux-aarch64, deb, deb-aarch64, win32, win64, web)" ;;
  esac
done
