#!/usr/bin/env bash
# The Debian package, installed into a throw-away root with dpkg -x:
#   - the files are where Debian wants them, the knowledge base resolves
#     from the module's folder, Depends names the libraries the modules link;
#   - the installed runvane checks a fresh demo image and classifies its
#     items (so it found both the module and the knowledge base);
#   - the example host builds against the installed header alone and runs a
#     check and a repair with the installed module; a program linked through
#     pkg-config finds the module by its SONAME;
#   - lintian reports no error (its warnings are printed).
#
# usage: deb_test.sh PACKAGE.deb LINUX-BIN-FOLDER SOURCE-FOLDER
set -u
deb=$1 bin=$2 src=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/runvane-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

root="$work/root"
dpkg -x "$deb" "$root" || { echo "FAIL: dpkg -x"; exit 1; }
version=$(dpkg-deb -f "$deb" Version)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || echo x86_64-linux-gnu)
lib="$root/usr/lib/$multiarch"

# --- layout
for path in usr/bin/runvane usr/include/runvane.h "usr/lib/$multiarch/librunvane.so.1" \
    "usr/lib/$multiarch/librunvane_check.so.1" "usr/lib/$multiarch/pkgconfig/runvane.pc" \
    usr/share/runvane/RunLib.xml usr/share/man/man1/runvane.1.gz usr/share/doc/runvane/copyright; do
  [ -e "$root/$path" ] || fail "missing /$path"
done
[ -f "$lib/common/config/check/RunLib.xml" ] || fail "the knowledge base does not resolve beside the module"
soname=$(objdump -p "$lib/librunvane.so.1" | awk '/SONAME/ {print $2}')
[ "$soname" = "librunvane.so.${version%%.*}" ] || fail "SONAME is '$soname'"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libxerces-c libxml2 libstdc++6 libc6; do
  grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
[ "$failures" -eq 0 ] && pass "layout, SONAME and Depends ($depends)"

# --- the installed host on a demo image
"$root/usr/bin/runvane" --version | grep -qx "runvane $version" || fail "runvane --version"
image="$work/image"
"$bin/make_demo_image" "$image" "$bin/fixtures" >/dev/null || fail "demo image"
for edition in "" --check-only; do
  out="$work/check$edition.log"
  "$root/usr/bin/runvane" $edition --image "$image" --lang zh check >"$out" 2>&1 || fail "runvane $edition check exited $?"
  # Classified as dangerous by the knowledge base: the module found it.
  grep "windows auto update" "$out" | grep -q "危险" || { cat "$out"; fail "runvane $edition check: no classification"; }
done
[ "$failures" -eq 0 ] && pass "runvane --image DEMO check with the installed files"

# --- host programs built against the installed header alone
example="$work/check_and_repair"
if gcc -std=c99 -Wall -Wextra -pedantic -Werror -I"$root/usr/include" -o "$example" \
    "$src/examples/check_and_repair.c" -ldl; then
  RUNVANE_SYSTEM_ROOT="$image" "$example" "$lib/librunvane.so.1" "Notes.lnk" >"$work/example.log" 2>&1 ||
    { cat "$work/example.log"; fail "example host exited $?"; }
else
  fail "example host does not build against the installed header"
fi
cat >"$work/linked.c" <<'EOC'
#include <runvane.h>
#include <stdio.h>
int main(void) {
  /* A null list: nothing to free, the documented answer 0. */
  int32_t result = DLL_Release(NULL);
  printf("%d\n", (int)result);
  return result == 0 ? 0 : 1;
}
EOC
export PKG_CONFIG_PATH="$lib/pkgconfig" PKG_CONFIG_SYSROOT_DIR="$root"
[ "$(pkg-config --modversion runvane)" = "$version" ] || fail "pkg-config version"
# shellcheck disable=SC2046
if gcc -o "$work/linked" "$work/linked.c" $(pkg-config --cflags --libs runvane); then
  objdump -p "$work/linked" | grep -q "NEEDED.*librunvane.so.${version%%.*}" || fail "linked program does not need the SONAME"
  LD_LIBRARY_PATH="$lib" "$work/linked" >/dev/null || fail "linked program"
else
  fail "a program linked through pkg-config does not build"
fi
unset PKG_CONFIG_PATH PKG_CONFIG_SYSROOT_DIR
[ "$failures" -eq 0 ] && pass "example host and a pkg-config program against the installed header"

# --- lintian: errors fail, warnings are shown
if lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1; then
  pass "lintian: no error"
else
  fail "lintian reports errors"
fi
grep -E '^[EW]:' "$work/lintian.log" | sed 's/^/  lintian /'

[ "$failures" -eq 0 ] && echo "deb package: all checks passed"
[ "$failures" -eq 0 ]
