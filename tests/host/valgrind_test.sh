#!/usr/bin/env bash
# valgrind memcheck of the reference host over the demo image: check, fix,
# repair by name, and every remote command (list, disable, enable, delete,
# invoke with a command file), full edition, plus a check with the
# check-only edition. Each run must end as expected with no memcheck error
# and nothing definitely lost.
#
#   valgrind_test.sh BIN-DIR     (the build's bin folder)
set -uo pipefail

bin=$(cd "$1" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/rv-valgrind-XXXXXX")
trap 'rm -rf "$work"' EXIT

# A copy of the host and the modules: what the module writes beside itself
# (disabled files) stays in the scratch folder.
mkdir -p "$work/bin"
cp -a "$bin"/runvane "$bin"/librunvane.so* "$bin"/librunvane_check.so* "$bin"/common "$work/bin/"
"$bin/make_demo_image" "$work/image" "$bin/fixtures" >/dev/null || { echo "no demo image"; exit 1; }

runs=0
failed=0
# run <expected exit status> <host arguments...>
run() {
  local expected=$1
  shift
  runs=$((runs + 1))
  local log="$work/valgrind-$runs.log"
  valgrind --quiet --error-exitcode=99 --leak-check=full --show-leak-kinds=definite \
    --errors-for-leak-kinds=definite --log-file="$log" \
    "$work/bin/runvane" --image "$work/image" "$@" >"$work/out-$runs.txt" 2>&1
  local status=$?
  if [ "$status" -ne "$expected" ] || [ -s "$log" ]; then
    failed=$((failed + 1))
    echo "FAILED: runvane $* (exit $status, expected $expected)"
    cat "$log" "$work/out-$runs.txt"
  else
    echo "ok: runvane $*"
  fi
}

run 0 check
run 0 --check-only check
run 0 list
run 0 disable "Demo Tools Tray" "Notes.lnk"
run 0 enable "Demo Tools Tray" "Notes.lnk"
run 0 delete "windows auto update"
run 0 repair "svchost"
run 0 fix --dangerous
cat >"$work/command.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<command name="VEK_GetAutoRunList_RUN"/>
XML
run 0 invoke "$work/command.xml" "$work/response.xml"
# A response that cannot be written: the call fails, the host exits 1.
run 1 invoke "$work/command.xml" "$work/no such folder/response.xml"

echo "valgrind memcheck: $runs runs, $failed with errors or definite leaks"
[ "$failed" -eq 0 ]
