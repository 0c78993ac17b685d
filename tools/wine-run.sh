#!/usr/bin/env bash
# Runs one Windows program under Wine in the test prefix and passes its exit
# code through. Every Windows test program runs through this script (it is
# their CROSSCOMPILING_EMULATOR).
#
# The program's own header says whether it is 32-bit or 64-bit; the prefix
# and the Wine loader follow from that (tools/wine-env.sh chooses the
# loader). A 32-bit program on a machine that cannot run one fails with
# exit code 2 and says why.
#
# WINEPREFIX comes from the environment (tools/test.sh makes one per run);
# without it the prefix is <build>/wineprefix, <build> being the folder above
# the program's bin/ folder. A missing prefix is created on first use.
set -u

if [ $# -lt 1 ]; then
  echo "usage: $0 program.exe [arguments...]" >&2
  exit 2
fi

. "$(dirname "$0")/wine-env.sh"

# The machine field of the PE header: 0x8664 for x86-64, 0x014c for i386.
pe_bits() {
  local offset machine
  offset=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || return 1
  [ -n "$offset" ] || return 1
  machine=$(od -An -tx2 -j$((offset + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
  case $machine in
    8664) echo 64 ;;
    014c) echo 32 ;;
    *) return 1 ;;
  esac
}

if ! bits=$(pe_bits "$1"); then
  echo "wine-run: $1 is not a 32-bit or 64-bit x86 Windows program" >&2
  exit 2
fi

prefix=${WINEPREFIX:-}
if [ -z "$prefix" ]; then
  program_dir=$(cd "$(dirname "$1")" && pwd)
  prefix="$(dirname "$program_dir")/wineprefix"
fi
if ! runvane_wine_for "$bits" "$prefix"; then
  echo "wine-run: cannot run $1: $RUNVANE_WINE32_REASON" >&2
  exit 2
fi

# Wine may start its own system processes (services, rpcss, explorer) on
# behalf of the program; they outlive it and would inherit its output. The
# program's output therefore goes to a file that is copied out afterwards,
# so that nothing left running holds the caller's pipe (CTest waits for it).
output=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX") || exit 2
trap 'rm -f "$output"' EXIT
"$RUNVANE_WINE_LOADER" "$@" </dev/null >"$output" 2>&1
status=$?
cat "$output"
exit $status
