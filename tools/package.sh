#!/usr/bin/env bash
# Makes the release artefacts with one command:
#   runvane-<version>-win32.zip   (32-bit Windows, MinGW-w64 cross build)
#   runvane_<version>_amd64.deb   (Debian 12, x86-64)
# Both come from `cmake --build <build> --target package` (CPack); the
# version is the one of project(runvane VERSION ...) in CMakeLists.txt.
#
#   tools/package.sh                      Release builds in build/release-linux
#                                         and build/release-win32, artefacts in dist/
#   tools/package.sh --linux-build DIR --win32-build DIR --out DIR
#                                         from existing build folders (the test run
#                                         packages its own builds this way)
#   --only linux|win32                    one of the two
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
linux_build="$root/build/release-linux"
win32_build="$root/build/release-win32"
out="$root/dist"
only=""
jobs=${RUNVANE_JOBS:-2}
while [ $# -gt 0 ]; do
  case $1 in
    --linux-build) linux_build=$2; shift 2 ;;
    --win32-build) win32_build=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    -h|--help) sed -n '2,15p' "$0"; exit 0 ;;
    *) echo "package.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done

bash "$root/tools/setup.sh" >/dev/null

# package <build folder> <pattern of the artefact> [cmake arguments for a first configure]
package() {
  local build=$1 pattern=$2
  shift 2
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRUNVANE_BENCH=OFF "$@"
  fi
  rm -f "$build"/packages/$pattern
  cmake --build "$build" -j"$jobs" --target package
  mkdir -p "$out"
  cp "$build"/packages/$pattern "$out/"
  ls "$build"/packages/$pattern
}

if [ "$only" != "linux" ]; then
  package "$win32_build" 'runvane-*-win32.zip' -DCMAKE_TOOLCHAIN_FILE="$root/tools/mingw-i686.cmake"
fi
if [ "$only" != "win32" ]; then
  package "$linux_build" 'runvane_*.deb'
fi
echo "package.sh: artefacts in $out"
