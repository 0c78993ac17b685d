#!/usr/bin/env bash
# Runs one Windows program under Wine in the test prefix and passes its exit
# code through. Every Windows test program runs through this script (it is
# their CROSSCOMPILING_EMULATOR).
#
# WINEPREFIX comes from the environment (tools/test.sh makes one per run);
# without it the prefix is <build>/wineprefix, <build> being the folder above
# the program's bin/ folder. A missing prefix is created on first use.
set -u

if [ $# -lt 1 ]; then
  echo "usage: $0 program.exe [arguments...]" >&2
  exit 2
fi

if [ -z "${WINEPREFIX:-}" ]; then
  program_dir=$(cd "$(dirname "$1")" && pwd)
  WINEPREFIX="$(dirname "$program_dir")/wineprefix"
fi
export WINEPREFIX
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Wine may start its own system processes (services, rpcss, explorer) on
# behalf of the program; they outlive it and would inherit its output. The
# program's output therefore goes to a file that is copied out afterwards,
# so that nothing left running holds the caller's pipe (CTest waits for it).
output=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX") || exit 2
trap 'rm -f "$output"' EXIT
wine "$@" </dev/null >"$output" 2>&1
status=$?
cat "$output"
exit $status
