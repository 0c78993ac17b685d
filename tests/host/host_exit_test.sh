#!/usr/bin/env bash
# The reference host tells the user what is wrong and exits non-zero: a
# missing --image value, a folder that is no system image, a missing
# user.reg or system.reg, a Wine server holding the image for a change.
#
# usage: host_exit_test.sh RUNVANE MAKE-DEMO-IMAGE FIXTURES
set -u
host=$1 make_image=$2 fixtures=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/runvane-host-exit.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# expect RC TEXT COMMAND...: the command exits with RC and says TEXT on stderr
expect() {
  local rc=$1 text=$2
  shift 2
  "$@" >"$work/out" 2>"$work/err"
  local got=$?
  [ "$got" -eq "$rc" ] || fail "$*: exit $got, expected $rc"
  grep -qF -- "$text" "$work/err" || fail "$*: no '$text' in: $(cat "$work/err")"
}

expect 2 "--image needs" "$host" check --image
expect 1 "does not exist" "$host" --image "$work/none" list
mkdir -p "$work/empty"
expect 1 "is no system image" "$host" --image "$work/empty" check
"$make_image" "$work/image" "$fixtures" >/dev/null || fail "demo image"
cp -a "$work/image" "$work/nouser" && rm "$work/nouser/user.reg"
expect 1 "has no user.reg" "$host" --image "$work/nouser" list
cp -a "$work/image" "$work/nosystem" && rm "$work/nosystem/system.reg"
expect 1 "has no system.reg" "$host" --image "$work/nosystem" fix --all
"$host" --image "$work/image" check >/dev/null 2>&1 || fail "check of a good image exited $?"
expect 1 "no enabled item named" "$host" --image "$work/image" disable "No Such Item"

# A Wine server holding the image: changes are refused, reads warned about.
server=$(command -v wineserver || true)
if [ -n "$server" ]; then
  export WINEPREFIX="$work/image"
  if "$server" -p 2>/dev/null; then
    expect 1 "wineserver -k" "$host" --image "$work/image" fix --all
    expect 0 "may be behind" "$host" --image "$work/image" list
    "$server" -k 2>/dev/null
  fi
  unset WINEPREFIX
fi
[ "$failures" -eq 0 ] && echo "host exit codes: all passed"
exit "$failures"
