#!/usr/bin/env bash
# The reference host's exit codes, one case or more for each:
#   0 done, 1 an item not found or an operation failed, 2 a usage error,
#   3 the image or the module cannot be used (missing, no system image, a
#     registry file missing, a Wine server holding the image for a change).
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
  [ -z "$text" ] || grep -qF -- "$text" "$work/err" || fail "$*: no '$text' in: $(cat "$work/err")"
}

"$make_image" "$work/image" "$fixtures" >/dev/null || fail "demo image"
img=(--image "$work/image")

# 0: done, and nothing on stderr.
expect 0 "" "$host" "${img[@]}" check
[ -s "$work/err" ] && fail "check wrote to stderr: $(cat "$work/err")"
expect 0 "" "$host" "${img[@]}" list --format=json
expect 0 "" "$host" --help
grep -q "^exit status:" "$work/out" || fail "--help shows no exit status"

# 2: usage errors, before anything is loaded or looked at.
expect 2 "--image needs" "$host" check --image
expect 2 "unknown command frobnicate" "$host" "${img[@]}" frobnicate
expect 2 "unknown option --colour" "$host" "${img[@]}" list --colour
expect 2 "--format needs a value" "$host" "${img[@]}" list --format
expect 2 "--format takes" "$host" "${img[@]}" list --format xml
expect 2 "extra argument surplus" "$host" "${img[@]}" list surplus
expect 2 "missing" "$host" "${img[@]}" disable
expect 2 "not a number: abc" "$host" "${img[@]}" fix abc
expect 2 "not a number: -1" "$host" "${img[@]}" fix -- -1
expect 2 "--source does not apply to list" "$host" "${img[@]}" list --source HKCU
expect 2 "no command" "$host" "${img[@]}"
expect 2 "--wide takes no value" "$host" "${img[@]}" list --wide=yes

# 1: an item not found (each on its own line), or an operation that failed.
expect 1 "no item named No Such Item" "$host" "${img[@]}" disable "No Such Item"
expect 1 "no finding #999" "$host" "${img[@]}" fix 999
expect 1 "no item #77" "$host" "${img[@]}" enable 77
expect 1 "no item named Ghost" "$host" "${img[@]}" repair Ghost
"$host" "${img[@]}" delete Ghost1 Ghost2 >/dev/null 2>"$work/err"
[ "$(grep -c '^runvane: delete: no item named Ghost[12]$' "$work/err")" -eq 2 ] ||
  fail "two missing items not on two lines: $(cat "$work/err")"
cat >"$work/command.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<command name="VEK_GetAutoRunList_RUN"/>
XML
expect 1 "no response file" "$host" "${img[@]}" invoke "$work/command.xml" "$work/no such folder/response.xml"

# 3: the image or the module cannot be used.
expect 3 "does not exist" "$host" --image "$work/none" list
mkdir -p "$work/empty"
expect 3 "is no system image" "$host" --image "$work/empty" check
cp -a "$work/image" "$work/nouser" && rm "$work/nouser/user.reg"
expect 3 "has no user.reg" "$host" --image "$work/nouser" list
cp -a "$work/image" "$work/nosystem" && rm "$work/nosystem/system.reg"
expect 3 "has no system.reg" "$host" --image "$work/nosystem" fix --all
expect 3 "cannot load" "$host" "${img[@]}" --module "$work/none.so" list

# A Wine server holding the image: changes are refused, reads warned about,
# a dry run (which changes nothing) allowed.
server=$(command -v wineserver || true)
if [ -n "$server" ]; then
  export WINEPREFIX="$work/image"
  if "$server" -p 2>/dev/null; then
    expect 3 "wineserver -k" "$host" "${img[@]}" fix --all
    expect 0 "may be behind" "$host" "${img[@]}" list
    expect 0 "may be behind" "$host" "${img[@]}" disable --dry-run "Demo Helper"
    "$server" -k 2>/dev/null
  fi
  unset WINEPREFIX
fi
[ "$failures" -eq 0 ] && echo "host exit codes: all passed"
exit "$failures"
