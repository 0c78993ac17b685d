#!/usr/bin/env bash
# Runs the Windows build's check benchmark under 64-bit Wine in a throw-away
# prefix: a new WINEPREFIX under /tmp, made by `wineboot` (no network), its
# own Wine server, everything removed afterwards.
#
#   bench/check/check_bench_windows.sh [values [programs [folder-files]]]
#
# RUNVANE_BENCH_BUILD names the win64 build folder (default build/win64,
# configured with tools/mingw-x86_64.cmake, Release); RUNVANE_BENCH_PROFILE
# is passed through. The benchmark prints ratios only.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${RUNVANE_BENCH_BUILD:-$root/build/win64}
program=$build/bin/check_bench_windows.exe
if [ ! -f "$program" ]; then
  echo "no $program: build the target check_bench_windows in a win64 build first" >&2
  exit 2
fi

. "$root/tools/wine-env.sh"
prefix=$(mktemp -d /tmp/rv-check-bench-wine.XXXXXX)
output=$(mktemp /tmp/rv-check-bench-wine-out.XXXXXX)
cleanup() {
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
  rm -rf "$prefix" "$output"
}
trap cleanup EXIT
runvane_wine_for 64 "$prefix"
wineserver -p </dev/null >/dev/null 2>&1
if ! "$RUNVANE_WINE_LOADER" wineboot -i </dev/null >"$output" 2>&1; then
  cat "$output" >&2
  echo "wineboot could not make the prefix" >&2
  exit 1
fi
# Wine's own processes outlive the program and would hold a pipe open: the
# program's output goes through a file.
status=0
"$RUNVANE_WINE_LOADER" "$program" "$@" </dev/null >"$output" 2>&1 || status=$?
cat "$output"
exit $status
