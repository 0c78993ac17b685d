#!/usr/bin/env bash
# runvane.exe under 64-bit Wine with Chinese names: the arguments reach the
# program as UTF-16 (not through the ANSI code page), output to a pipe is
# UTF-8, and a CSV keeps its CR LF line ends. Works on the prefix in
# WINEPREFIX (the test run's throw-away prefix) and removes what it added.
#
# usage: host_wine_test.sh RUNVANE.EXE SOURCE-DIR
set -u
exe=$1 source_dir=$2
. "$source_dir/tools/wine-env.sh"
prefix=${WINEPREFIX:-$(dirname "$(dirname "$exe")")/wineprefix}
runvane_wine_for 64 "$prefix" || { echo "64-bit Wine cannot run here"; exit 1; }
export LANG=C.UTF-8 LC_ALL=C.UTF-8
wine=$RUNVANE_WINE_LOADER
work=$(mktemp -d "${TMPDIR:-/tmp}/runvane-host-wine.XXXXXX")
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
cleanup() {
  "$wine" reg delete "$key" /v 中文名 /f >/dev/null 2>&1
  "$wine" reg delete "$key\\TidyraDisable" /v 中文名 /f >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$wine" reg add "$key" /v 中文名 /d 'C:\测试\程序.exe /q' /f >/dev/null 2>&1 || fail "reg add"
"$wine" "$exe" list --format json >"$work/list.json" 2>"$work/err" || fail "list: $(cat "$work/err")"
python3 - "$work/list.json" <<'PY' || fail "listing: $(cat "$work/list.json")"
import json, sys
items = [i for i in json.load(open(sys.argv[1], encoding="utf-8")) if i["name"] == "中文名"]
assert len(items) == 1 and items[0]["status"] == "enabled", items
assert items[0]["path"] == "C:\\测试\\程序.exe" and items[0]["args"] == "/q", items
PY
"$wine" "$exe" disable 中文名 --format csv >"$work/disable.csv" 2>"$work/err" || fail "disable 中文名: $(cat "$work/err")"
python3 - "$work/disable.csv" <<'PY' || fail "disable output: $(od -c "$work/disable.csv" | head)"
import csv, sys
raw = open(sys.argv[1], "rb").read()
assert b"\r\r\n" not in raw and raw.endswith(b"\r\n"), raw
rows = list(csv.DictReader(open(sys.argv[1], newline="", encoding="utf-8")))
assert [(r["name"], r["outcome"]) for r in rows] == [("中文名", "done")], rows
PY
"$wine" reg query "$key\\TidyraDisable" /v 中文名 >/dev/null 2>&1 || fail "not disabled in the registry"
"$wine" "$exe" enable 中文名 >/dev/null 2>"$work/err" || fail "enable 中文名: $(cat "$work/err")"
"$wine" reg query "$key" /v 中文名 >/dev/null 2>&1 || fail "not enabled again in the registry"
"$wine" "$exe" disable 中文名X >/dev/null 2>"$work/err"
[ $? -eq 1 ] || fail "a missing Chinese name did not exit 1"
grep -qF "no item named 中文名X" "$work/err" || fail "stderr not UTF-8: $(od -c "$work/err" | head -3)"
[ "$failures" -eq 0 ] && echo "host under Wine: all passed"
exit "$failures"
