#!/usr/bin/env bash
# The reference host's whole round on a built offline Windows volume:
# list, check, disable, enable and delete of Run values in both registry
# views, of a startup-folder file and of an MSConfig record, each read back from the hives with
# reglookup; a copy of each changed hive kept once a run; the user named
# when there is more than one.
#
# usage: offline_host_test.sh RUNVANE MAKE-VOLUME FIXTURES HIVES
set -u
host=$1 make_volume=$2 fixtures=$3 hives=$4
work=$(mktemp -d "${TMPDIR:-/tmp}/runvane-offline-host.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
v=$work/volume
bash "$make_volume" "$v" "$fixtures" "$hives" || { echo "FAIL: volume"; exit 1; }
software=$v/Windows/System32/config/SOFTWARE
alice=$v/Users/alice/NTUSER.DAT
run=/Microsoft/Windows/CurrentVersion/Run
# values HIVE KEY: "name=data" of the values directly in KEY, as reglookup reads them.
values() {
  reglookup -H -p "$2" "$1" 2>/dev/null | awk -F, -v k="$2/" '$2 != "KEY" && index($1, k) == 1 {
    n = substr($1, length(k) + 1); if (index(n, "/") == 0) print n "=" $3 }' | sort
}
has() { values "$1" "$2" | grep -qxF -- "$3" || fail "$2 of $(basename "$1") lacks $3: $(values "$1" "$2" | tr '\n' ' ')"; }
lacks() { values "$1" "$2" | grep -q "^$3=" && fail "$2 of $(basename "$1") still has $3"; }

"$host" --image "$v" list >"$work/out" 2>"$work/err" && fail "list without --user succeeded"
grep -q "alice, bob" "$work/err" || fail "the candidates are not named: $(cat "$work/err")"

"$host" --image "$v" --user alice list >"$work/list" 2>"$work/err" || fail "list exited $?: $(cat "$work/err")"
for name in ToolsAgent "Missing Helper" OldAgent AliceSync OldTray common.exe alice-start.exe; do
  grep -qF "$name" "$work/list" || fail "list lacks $name"
done
grep -q BobUpdater "$work/list" && fail "list shows bob's item for alice"
grep -q "Fixture Works Ltd" "$work/list" || fail "no file facts of the volume's programs"
"$host" --image "$v" --user alice check >/dev/null 2>&1 || fail "check exited $?"

"$host" --image "$v" --user alice disable ToolsAgent OldAgent AliceSync alice-start.exe >"$work/out" 2>&1 ||
  fail "disable exited $?: $(cat "$work/out")"
lacks "$software" "$run" ToolsAgent
lacks "$software" "/Wow6432Node$run" OldAgent
lacks "$alice" "/Software$run" AliceSync
[ "$(values "$software" "$run/$(reglookup -H -p "$run" "$software" | awk -F, '$2=="KEY"' | sed -n 2p | cut -d, -f1 | xargs basename)" | grep -c ToolsAgent)" = 1 ] ||
  fail "ToolsAgent is not kept in the disabled key"
[ -e "$v/Users/alice/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Startup/alice-start.exe" ] &&
  fail "the startup file is still in the startup folder"
[ "$(ls "$v/Windows/System32/config" | grep -c 'SOFTWARE.runvane-backup-')" = 1 ] || fail "not one backup of SOFTWARE"
[ "$(ls "$v/Users/alice" | grep -c 'NTUSER.DAT.runvane-backup-')" = 1 ] || fail "not one backup of alice's hive"
[ -n "$(ls "$v/Windows/System32/config" | grep 'SYSTEM.runvane')" ] && fail "SYSTEM was copied"

"$host" --image "$v" --user alice enable ToolsAgent OldAgent AliceSync alice-start.exe >"$work/out" 2>&1 ||
  fail "enable exited $?: $(cat "$work/out")"
has "$software" "$run" 'ToolsAgent=%22C:\Program Files\Tools\normal.exe%22 /background'
has "$software" "/Wow6432Node$run" 'OldAgent=C:\Program Files (x86)\Old\old.exe'
has "$alice" "/Software$run" 'AliceSync=C:\Program Files\Tools\normal.exe'
[ -e "$v/Users/alice/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Startup/alice-start.exe" ] ||
  fail "the startup file did not come back"

# A record of the system's configuration tool comes back to the Run key it names.
"$host" --image "$v" --user alice enable OldTray >"$work/out" 2>&1 || fail "enable OldTray exited $?: $(cat "$work/out")"
has "$software" "$run" 'OldTray=C:\Program Files\Tools\normal.exe /tray'
reglookup -H -p "/Microsoft/Shared Tools/MSConfig/startupreg" "$software" | grep -q OldTray &&
  fail "the MSConfig record of OldTray is still there"

"$host" --image "$v" --user alice delete "Missing Helper" >"$work/out" 2>&1 || fail "delete exited $?: $(cat "$work/out")"
lacks "$software" "$run" "Missing Helper"
has "$software" "$run" 'ToolsAgent=%22C:\Program Files\Tools\normal.exe%22 /background'
hivexsh "$software" <<<'ls' >/dev/null 2>&1 || fail "hivexsh cannot read the written SOFTWARE"
[ -z "$(ls "$v/Users/bob" | grep runvane)" ] || fail "bob's hive was touched"

[ "$failures" -eq 0 ] && echo "offline host round: all passed"
exit "$failures"
