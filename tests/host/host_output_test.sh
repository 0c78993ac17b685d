#!/usr/bin/env bash
# The reference host's output for programs and for people, checked against
# the module's own listing (its response file, read here independently):
# JSON, JSON Lines and CSV parsed back field by field; the table with
# --wide, control characters escaped and English or Chinese labels; and
# items named as Windows names them (any letter case, by number, by
# source), an ambiguous name refused with its candidates, --dry-run
# changing nothing.
#
# usage: host_output_test.sh RUNVANE MAKE-DEMO-IMAGE FIXTURES
set -u
host=$1 make_image=$2 fixtures=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/runvane-host-output.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$make_image" "$work/image" "$fixtures" >/dev/null || { echo "FAIL: demo image"; exit 1; }
# Values that break naive output: a comma and quotes, CR LF and a tab, one
# name twice in two letter cases under two keys; a program file to hash.
{
  echo
  echo '[Software\\Microsoft\\Windows\\CurrentVersion\\Run] 1700000000'
  echo '"Dup"="C:\\Apps\\dup-user.exe /u"'
  echo '"Comma, \"quoted\""="\"C:\\Apps\\odd name.exe\" a,b \"c\""'
  echo '"Multi"="C:\\Apps\\multi.exe line1\r\nline2\tend"'
} >>"$work/image/user.reg"
{
  echo
  echo '[Software\\Microsoft\\Windows\\CurrentVersion\\Run] 1700000000'
  echo '"dup"="C:\\Apps\\dup-machine.exe"'
} >>"$work/image/system.reg"
mkdir -p "$work/image/drive_c/Apps"
printf 'program bytes' >"$work/image/drive_c/Apps/DUP-USER.EXE"
rv() { "$host" --image "$work/image" "$@"; }

cat >"$work/command.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<command name="VEK_GetAutoRunList_RUN"/>
XML
rv invoke "$work/command.xml" "$work/response.xml" >/dev/null || fail "invoke of the listing"
rv list --format json --hash >"$work/list.json" || fail "list --format json"
rv list --format jsonl --hash >"$work/list.jsonl" || fail "list --format jsonl"
rv list --format csv --hash >"$work/list.csv" || fail "list --format csv"
rv check --format json >"$work/check.json" || fail "check --format json"

python3 - "$work" <<'PY' || failures=$((failures + 1))
import csv, hashlib, json, re, sys
work = sys.argv[1]
problems = []
def check(ok, what):
    if not ok:
        problems.append(what)

# The module's listing, as it wrote it: UTF-16 XML, attributes unnormalised.
text = open(work + "/response.xml", "rb").read().decode("utf-16")
entities = {"&lt;": "<", "&gt;": ">", "&amp;": "&", "&quot;": '"', "&apos;": "'"}
module = []
for element in re.findall(r"<AutoRunItem\s([^>]*)/>", text):
    attrs = {k: re.sub(r"&(lt|gt|amp|quot|apos|#x[0-9A-Fa-f]+|#[0-9]+);",
                       lambda m: entities.get(m.group(0)) or chr(int(m.group(1)[2:], 16) if m.group(1)[1] == "x"
                                                                  else int(m.group(1)[1:])), v)
             for k, v in re.findall(r'(\w+)="([^"]*)"', element)}
    module.append(attrs)
check(len(module) >= 14, "module listed only %d items" % len(module))

listed = json.load(open(work + "/list.json", encoding="utf-8"))
lines = [json.loads(l) for l in open(work + "/list.jsonl", encoding="utf-8").read().splitlines()]
with open(work + "/list.csv", newline="", encoding="utf-8") as f:
    rows = list(csv.DictReader(f))
check(len(listed) == len(module), "json has %d items, module %d" % (len(listed), len(module)))
check(lines == listed, "jsonl differs from json")
check(len(rows) == len(listed), "csv has %d rows" % len(rows))

for i, (m, j) in enumerate(zip(module, listed)):
    where = "item %d (%s)" % (i + 1, m.get("name"))
    source = m["mainkey"] + "\\" + m["subkey"] if m["mainkey"] else m["subkey"].rsplit("\\", 1)[0]
    expected = {"index": i + 1, "name": m["name"], "command_line": m["cmdline"],
                "status": "enabled" if m["status"] == "1" else "disabled", "level": m["level"],
                "description": m["desc"], "company": m["company"], "version": m["version"],
                "size": int(m["size"]), "type_code": int(m["type"]), "source": source}
    for key, value in expected.items():
        check(j.get(key) == value, "%s: %s is %r, module says %r" % (where, key, j.get(key), value))
    # CSV carries the same text for every field, numbers as decimal.
    r = rows[i]
    check(list(r.keys()) == list(j.keys()), "csv columns %s" % list(r.keys()))
    for key, value in j.items():
        text_value = "" if value is None else str(value)
        check(r[key] == text_value, "%s: csv %s is %r, json %r" % (where, key, r[key], text_value))

by_name = {j["name"]: j for j in listed}
odd = by_name.get('Comma, "quoted"', {})
check(odd.get("path") == "C:\\Apps\\odd name.exe" and odd.get("args") == 'a,b "c"', "split of %r" % odd)
multi = by_name.get("Multi", {})
check(multi.get("command_line") == "C:\\Apps\\multi.exe line1\r\nline2\tend", "control characters %r" % multi)
dup = by_name.get("Dup", {})
check(dup.get("sha256") == hashlib.sha256(b"program bytes").hexdigest(), "hash of Dup: %r" % dup.get("sha256"))
check(dup.get("path") == "C:\\Apps\\dup-user.exe" and dup.get("args") == "/u", "split of Dup %r" % dup)
check(by_name.get("dup", {}).get("sha256") == "", "a missing program has no hash")
check(all(j["registry_view"] in ("native", "32-bit", "") for j in listed), "views")
notes = by_name.get("Notes.lnk", {})
check(notes.get("type") == "startup folder" and notes.get("username") == "root" and
      notes.get("path") == notes.get("command_line"), "startup file %r" % notes)

findings = json.load(open(work + "/check.json", encoding="utf-8"))
enabled = [j for j in listed if j["status"] == "enabled"]
check([f["name"] for f in findings] == [j["name"] for j in enabled], "check and list disagree")
for f in findings:
    check(set(f) >= {"index", "level", "name", "command_line", "path", "args", "type"}, "check fields %s" % list(f))
for p in problems:
    print("FAIL:", p)
sys.exit(1 if problems else 0)
PY

# The table: one line per item (control characters escaped), nothing cut
# with --wide, labels in the language asked for.
rv list --wide >"$work/table" || fail "list --wide"
items=$(python3 -c 'import json,sys; print(len(json.load(open(sys.argv[1]))))' "$work/list.json")
[ "$(wc -l <"$work/table")" -eq $((items + 3)) ] || fail "table has $(wc -l <"$work/table") lines for $items items"
grep -qF 'C:\Apps\multi.exe line1\r\nline2\tend' "$work/table" || fail "control characters not escaped"
grep -qF '"C:\Program Files\示例套件\updater.exe" -silent' "$work/table" || fail "--wide cut a command line"
rv list | grep -qF '…' || fail "the narrow table cuts nothing"
head -n 1 "$work/table" | grep -q 'status.*level.*name' || fail "English headings: $(head -n 1 "$work/table")"
grep -q ' dangerous ' "$work/table" || fail "English level"
rv list --lang zh | head -n 1 | grep -q '状态.*级别.*名称' || fail "Chinese headings"
LANG=zh_CN.UTF-8 LC_ALL= rv list | grep -q '危险' || fail "Chinese locale, Chinese levels"

# Names: ambiguity refused with both candidates; --source, a number and any
# letter case choose one; --dry-run changes nothing.
rv disable dup >"$work/out" 2>"$work/err" && fail "an ambiguous name was accepted"
grep -q 'ambiguous' "$work/err" && [ "$(grep -c '^  #[0-9]* enabled in HKEY_' "$work/err")" -eq 2 ] ||
  fail "ambiguity without its candidates: $(cat "$work/err")"
before=$(rv list --format csv)
rv disable --dry-run DUP --source 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run\' --format json >"$work/dry" ||
  fail "dry run"
python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); assert [x["outcome"] for x in d] == ["would disable"], d' \
  "$work/dry" || fail "dry run output: $(cat "$work/dry")"
[ "$(rv list --format csv)" = "$before" ] || fail "--dry-run changed the image"
rv disable DUP --source 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' --format json >"$work/done" ||
  fail "disable with --source"
python3 - "$work/done" "$work/image" <<'PY' || fail "disable with --source: $(cat "$work/done")"
import json, subprocess, sys
done = json.load(open(sys.argv[1]))
assert [d["name"] for d in done] == ["Dup"] and done[0]["outcome"] == "done", done
assert "HKEY_CURRENT_USER" in done[0]["source"], done
PY
rv list --format csv | grep -q '^[0-9]*,disabled,runvane,.*,Dup,' || fail "Dup not listed as disabled"
number=$(rv list --format csv | grep ',enabled,,.*,dup,' | cut -d, -f1)
rv disable "$number" >/dev/null || fail "disable by number $number"
rv enable "dup" >"$work/out" 2>"$work/err" && fail "enable of an ambiguous disabled name accepted"
rv enable "$number" "Multi" >/dev/null 2>"$work/err" && fail "enable of an enabled item accepted"
grep -qF "no disabled item named Multi" "$work/err" || fail "enabled item not named: $(cat "$work/err")"
[ "$failures" -eq 0 ] && echo "host output: all passed"
exit "$failures"
