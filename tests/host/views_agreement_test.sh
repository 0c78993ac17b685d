#!/usr/bin/env bash
# The Windows build and the Linux build on one 64-bit Wine prefix: values
# written by Wine's own reg tool into the 64-bit and the 32-bit view of the
# machine's Run key (one name in both), and one of the user's, are listed
# alike by both builds; a disable done by one build is seen by the other,
# and so is the enable that follows.
#
# The Windows build here is the 64-bit one, which reads the 32-bit view
# through its literal path (SOFTWARE\Wow6432Node) as the 32-bit module reads
# it under WOW64. Where 32-bit programs run, WINDOWS-BIN may be the 32-bit
# build's folder instead.
#
# usage: views_agreement_test.sh LINUX-BIN WINDOWS-BIN
set -u
linuxbin=$(cd "$1" && pwd) winbin=$(cd "$2" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
. "$source_dir/tools/wine-env.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/runvane-views.XXXXXX")
bits=64
case $(od -An -tx2 -j$(($(od -An -tu4 -j60 -N4 "$winbin/runvane.exe" | tr -d ' ') + 4)) -N2 "$winbin/runvane.exe" | tr -d ' ') in
  014c) bits=32 ;;
esac
runvane_wine_for "$bits" "$work/prefix" || { echo "skipped: $bits-bit Windows programs cannot run here"; rm -rf "$work"; exit 0; }
cleanup() {
  "${RUNVANE_WINESERVER:-wineserver}" -k >/dev/null 2>&1
  "${RUNVANE_WINESERVER:-wineserver}" -w >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

wine_do() { (cd / && "$RUNVANE_WINE_LOADER" "$@" </dev/null 2>/dev/null); }
settle() { "${RUNVANE_WINESERVER:-wineserver}" -w >/dev/null 2>&1; }

wine_do wineboot -i >/dev/null || { echo "FAIL: wineboot"; exit 1; }
run='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
wine_do reg add "$run" /v Native64 /d 'C:\Apps\native64.exe /tray' /f /reg:64 >/dev/null
wine_do reg add "$run" /v Both /d 'C:\Apps\both64.exe' /f /reg:64 >/dev/null
wine_do reg add "$run" /v Wow32 /d 'C:\Apps\wow32.exe -q' /f /reg:32 >/dev/null
wine_do reg add "$run" /v Both /d 'C:\Apps\both32.exe' /f /reg:32 >/dev/null
wine_do reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v UserItem /d 'C:\Apps\user.exe' /f >/dev/null
settle

# The rows of our items as a build lists them: index dropped, only printable
# ASCII kept (the console's code page may differ), spaces squeezed, sorted.
rows() {
  grep -E '(^| )(Native64|Both|Wow32|UserItem)( |$)' | sed -E 's/^ *[0-9]+ +//' |
    LC_ALL=C tr -cd '\11\12\40-\176' | tr -s ' ' | sort
}
linux_list() { RUNVANE_SYSTEM_ROOT="$WINEPREFIX" "$linuxbin/runvane" list 2>/dev/null | rows; }
windows_list() { wine_do "$winbin/runvane.exe" list | tr -d '\r' | rows; settle; }

compare() {  # compare WHEN EXPECTED-STATE-OF-Wow32
  local when=$1 state=$2 linux windows
  linux=$(linux_list)
  windows=$(windows_list)
  [ "$(grep -c . <<<"$linux")" -eq 5 ] || fail "$when: the Linux build lists $(grep -c . <<<"$linux") of 5 items: $linux"
  [ "$linux" = "$windows" ] || fail "$when: the builds disagree
linux:
$linux
windows:
$windows"
  grep -E "(^| )Wow32 " <<<"$linux" | grep -qE "(^| )$state( |$)" || fail "$when: Wow32 is not $state: $linux"
  grep -c 'both32\|both64' <<<"$linux" | grep -qx 2 || fail "$when: Both is not listed once in each view: $linux"
}

compare "as Wine wrote them" enabled
wine_do "$winbin/runvane.exe" disable Wow32 >/dev/null || fail "the Windows build's disable failed"
settle
compare "after the Windows build's disable" disabled
RUNVANE_SYSTEM_ROOT="$WINEPREFIX" "$linuxbin/runvane" enable Wow32 >/dev/null 2>&1 || fail "the Linux build's enable failed"
compare "after the Linux build's enable" enabled
# Wine itself finds the value back in the 32-bit view only.
wine_do reg query "$run" /v Wow32 /reg:32 | grep -q 'wow32.exe' || fail "wine reg: Wow32 not in the 32-bit view"
if wine_do reg query "$run" /v Wow32 /reg:64 | grep -q 'wow32.exe'; then fail "wine reg: Wow32 in the 64-bit view"; fi
settle

[ "$failures" -eq 0 ] && echo "views: both builds agree on a win64 prefix, before and after a disable and an enable"
[ "$failures" -eq 0 ]
