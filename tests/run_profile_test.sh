#!/usr/bin/env bash
# make run installs only install-deps.sh's run profile, so every file that
# building the program reads (headers, libraries, SDL2's CMake files) and
# that running it headless uses (its libraries, Mesa's driver, the tools)
# has to come from a package of that profile or one it depends on.
#   run_profile_test.sh BUILD_DIR PROGRAM
set -euo pipefail
build=$1 program=$2
here=$(cd "$(dirname "$0")/.." && pwd)

# /lib and /usr/lib are one directory; dpkg knows a file by either name.
usr() { sed -E 's#^/(lib|lib64|bin|sbin)/#/usr/\1/#'; }

# shellcheck disable=SC2046
closure=$(apt-cache depends --recurse --installed --no-recommends --no-suggests \
  --no-conflicts --no-breaks --no-replaces --no-enhances \
  $("$here/tools/install-deps.sh" --list run) | grep -v '^ ')
# NOTE: each package by its architecture: a bare name is ambiguous with arm64's.
# shellcheck disable=SC2086
{ dpkg-query -L $({ dpkg-query -W -f='${Package}:${Architecture}\n' $closure 2>/dev/null || true; } |
  grep -E ":($(dpkg --print-architecture)|all)$") 2>/dev/null || true; } | usr | sort -u >"$build/run_profile_files.txt"

sdl2_dir=$(sed -n 's/^SDL2_DIR:PATH=//p' "$build/CMakeCache.txt")
depfiles=$(find "$build/CMakeFiles" -name '*.o.d')
[ -n "$depfiles" ] || { echo "no depfiles in $build/CMakeFiles"; exit 1; }
# shellcheck disable=SC2086
used=$(
  cat $depfiles | grep -o '/usr/[^ :\\]*'
  grep -o '/[^ ]*\.so' "$build/CMakeFiles/sineband.dir/link.txt"
  ls "$sdl2_dir"/*.cmake
  ldd "$program" | grep -o '=> /[^ ]*' | cut -c4-
  echo /usr/lib/x86_64-linux-gnu/dri/swrast_dri.so /usr/lib/x86_64-linux-gnu/libGLX_mesa.so.0
)
# The headless run's tools as packages install them (not /usr/local's);
# some are names that update-alternatives makes.
tools=$(for t in Xvfb xdpyinfo xdotool xwd convert; do
  PATH=/usr/bin:/bin command -v "$t" || echo "/usr/bin/$t"; done)
# Each file by the name it was used by and by what that resolves to.
# shellcheck disable=SC2086
missing=$( { printf '%s\n' $used; printf '%s\n' $used $tools | xargs realpath -m; } |
  usr | sort -u | comm -23 - "$build/run_profile_files.txt")
if [ -n "$missing" ]; then
  echo "make run would lack these: no package of the run profile brings them"
  echo "$missing"
  exit 1
fi
# shellcheck disable=SC2086
echo "$(printf '%s\n' $used $tools | sort -u | wc -l) files, all from the run profile's $(echo "$closure" | wc -l) packages"
