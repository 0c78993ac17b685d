#!/usr/bin/env bash
# The example host (examples/check_and_repair.c) on fresh demo images: it
# must find the dangerous items, remove them with DLL_Repair, remove a named
# item with FixItemByName, and say so; run again on the repaired image, a
# name that is gone must be reported as not found, with a failing status.
#
# usage: example_test.sh EXAMPLE MAKE-DEMO-IMAGE FIXTURES MODULE...
set -u
example=$1 make_image=$2 fixtures=$3
shift 3
work=$(mktemp -d "${TMPDIR:-/tmp}/runvane-example.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() {  # expect LOG TEXT
  grep -qF -- "$2" "$1" || fail "$(basename "$1"): no line with '$2'"
}

for module in "$@"; do
  name=$(basename "$module")
  image="$work/$name/image"
  mkdir -p "$work/$name"
  "$make_image" "$image" "$fixtures" >/dev/null || { fail "$name: demo image"; continue; }
  export RUNVANE_SYSTEM_ROOT="$image"

  first="$work/$name/first.log"
  "$example" "$module" "Demo Helper" >"$first" 2>&1
  status=$?
  cat "$first"
  [ "$status" -eq 0 ] || fail "$name: first run exited $status"
  expect "$first" "repair: windows auto update removed"
  expect "$first" "fix by name: Demo Helper removed"
  expect "$first" "0 dangerous item(s) left, 0 removal(s) failed"
  grep -qF "Demo Helper" <(sed -n '/^check again/,$p' "$first") && fail "$name: Demo Helper still listed"

  second="$work/$name/second.log"
  "$example" "$module" "Demo Helper" >"$second" 2>&1
  status=$?
  [ "$status" -eq 1 ] || fail "$name: second run exited $status, expected 1"
  expect "$second" "fix by name: Demo Helper not found"
done

"$example" >/dev/null 2>&1
[ $? -eq 2 ] || fail "no module named: expected exit status 2"
"$example" "$work/no-such-module.so" >/dev/null 2>&1
[ $? -eq 2 ] || fail "missing module: expected exit status 2"

[ "$failures" -eq 0 ] && echo "example host: all checks passed"
[ "$failures" -eq 0 ]
