#!/usr/bin/env bash
# The Windows release archive, unpacked into a fresh 32-bit Wine prefix:
#   - it holds what it should (modules, host, knowledge base, header, .def
#     files, README, licence and third-party notices);
#   - every binary carries the project's version resource, read by the
#     project's own reader (Linux) and by Wine's version.dll;
#   - runvane.exe check, started from the unpacked folder, classifies the
#     items of a demo system (so the module found its knowledge base);
#   - the example host (MinGW build) runs a check and a repair there.
#
# Where no 32-bit program runs, the archive's binaries are still read by
# Wine's version.dll: the 64-bit build's test program reads them in a fresh
# win64 prefix (WIN64-BIN-FOLDER); running them is then skipped, with the
# reason.
#
# usage: zip_test.sh ARCHIVE.zip WIN32-BIN-FOLDER [LINUX-BIN-FOLDER [WIN64-BIN-FOLDER]]
set -u
zip=$1 winbin=$2 linuxbin=${3:-} win64bin=${4:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/runvane-zip.XXXXXX")
export WINEPREFIX="$work/prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
# Wine's own processes may outlive the program: its output goes to a file.
run_wine() {  # run_wine LOG program args...
  local log=$1
  shift
  (cd / && wine "$@" </dev/null >"$log" 2>&1)
}

# --- contents
folder=$(basename "$zip" .zip)
listing=$(unzip -Z1 "$zip") || { echo "FAIL: unzip -Z1"; exit 1; }
for entry in runvane.exe runvane.dll runvane_check.dll common/config/check/RunLib.xml \
    include/runvane.h lib/runvane.def lib/runvane_check.def README.md LICENSE.txt NOTICE.txt \
    third-party/xerces-c/LICENSE third-party/xerces-c/NOTICE third-party/mingw-w64/COPYING; do
  grep -qx "$folder/$entry" <<<"$listing" || fail "archive lacks $folder/$entry"
done
[ "$failures" -eq 0 ] && pass "archive contents"

# --- version resources through the project's own reader
if [ -n "$linuxbin" ]; then
  mkdir -p "$work/unpacked"
  unzip -q "$zip" -d "$work/unpacked" || { echo "FAIL: unzip"; exit 1; }
  if RUNVANE_PACKAGE_DIR="$work/unpacked/$folder" "$linuxbin/version_resource_tests" >"$work/own.log" 2>&1 &&
      ! grep -q SKIPPED "$work/own.log"; then
    pass "version resources (own reader)"
  else
    cat "$work/own.log"
    fail "version resources (own reader)"
  fi
fi

# --- a fresh prefix, the archive unpacked on drive C: (32-bit programs must
# run here; tools/wine-env.sh tells)
if [ "${RUNVANE_WINE32_OK:-1}" != 1 ]; then
  [ -n "$win64bin" ] && [ -d "$win64bin" ] && win64bin=$(cd "$win64bin" && pwd)
  reader="$win64bin/version_resource_tests.exe"
  if [ -n "$win64bin" ] && [ -f "$reader" ] && [ -n "${RUNVANE_WINE64:-}" ]; then
    export WINEARCH=win64
    [ "$RUNVANE_WINE64" != wine ] && export WINELOADER=$RUNVANE_WINE64
    "${RUNVANE_WINESERVER:-wineserver}" -p >/dev/null 2>&1 </dev/null
    if "$RUNVANE_WINE64" wineboot -i >/dev/null 2>&1 </dev/null; then
      unzip -q "$zip" -d "$WINEPREFIX/drive_c" || { echo "FAIL: unzip"; exit 1; }
      if (cd / && RUNVANE_PACKAGE_DIR="C:\\$folder" "$RUNVANE_WINE64" "$reader" </dev/null \
            >"$work/wine.log" 2>&1) && ! grep -q SKIPPED "$work/wine.log"; then
        pass "version resources (64-bit Wine's version.dll)"
      else
        cat "$work/wine.log"
        fail "version resources (64-bit Wine's version.dll)"
      fi
    else
      fail "wineboot of a win64 prefix"
    fi
    "${RUNVANE_WINESERVER:-wineserver}" -k >/dev/null 2>&1 || true
  fi
  echo "skipped: running the archive under Wine: ${RUNVANE_WINE32_REASON:-no 32-bit programs here}"
  [ "$failures" -eq 0 ]
  exit
fi
wineserver -p >/dev/null 2>&1 </dev/null
if ! wineboot -i >/dev/null 2>&1 </dev/null; then
  reason=""
  [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1 &&
    reason=" (the 32-bit Wine loader does not start: no 32-bit support in this kernel?)"
  echo "FAIL: wineboot$reason"
  exit 1
fi
unzip -q "$zip" -d "$WINEPREFIX/drive_c" || { echo "FAIL: unzip"; exit 1; }
windir="C:\\$folder"

# --- version resources through Wine's version.dll
if RUNVANE_PACKAGE_DIR="$windir" run_wine "$work/wine.log" "$winbin/version_resource_tests.exe" &&
    ! grep -q SKIPPED "$work/wine.log"; then
  pass "version resources (version.dll)"
else
  cat "$work/wine.log"
  fail "version resources (version.dll)"
fi

# --- the unpacked host on a demo system
run_wine "$work/version.log" "$windir\\runvane.exe" --version
grep -q "^runvane $(sed -E 's/^runvane-(.*)-win32$/\1/' <<<"$folder")" "$work/version.log" ||
  { cat "$work/version.log"; fail "runvane.exe --version"; }
run_wine "$work/demo.log" "$winbin/make_demo_image.exe" "$(winepath -w "$winbin/fixtures")" ||
  { cat "$work/demo.log"; fail "demo system"; }
for edition in "" --check-only; do
  run_wine "$work/check.log" "$windir\\runvane.exe" $edition check || fail "runvane.exe $edition check exited $?"
  grep "windows auto update" "$work/check.log" | grep -q "危险" ||
    { cat "$work/check.log"; fail "runvane.exe $edition check: no classification"; }
done
[ "$failures" -eq 0 ] && pass "runvane.exe check from the unpacked folder"

# --- the example host against the unpacked module
if run_wine "$work/example.log" "$winbin/check_and_repair.exe" "$windir\\runvane.dll" "Demo Helper"; then
  pass "example host: check and repair"
else
  cat "$work/example.log"
  fail "example host"
fi

[ "$failures" -eq 0 ] && echo "zip archive: all checks passed"
[ "$failures" -eq 0 ]
