#!/usr/bin/env bash
# Builds everything and runs every test, on both targets:
#   build/linux  Linux, g++, Debug
#   build/asan   Linux, clang, AddressSanitizer + UndefinedBehaviorSanitizer,
#                with the libFuzzer targets (each runs for a bounded time)
#   build/win32  32-bit Windows, MinGW-w64 cross build; the test programs run
#                under Wine in a throw-away prefix made for this run
# Set-up (packages, the Xerces-C++ cross-build) is done first by
# tools/setup.sh, which does nothing when it is already done.
#
# When both the linux and the win32 builds succeeded, a last step makes the
# release artefacts from them (tools/package.sh: the Windows zip and the
# Debian package, in build/packages) and tests each (tests/packaging/).
#
# Environment: RUNVANE_JOBS (default 2) build jobs; RUNVANE_FUZZ_SECONDS
# (default 20) per fuzz target; RUNVANE_TARGETS (default "linux asan win32")
# to run a subset; RUNVANE_PACKAGE=0 skips the packaging step.
#
# Exit status 0 only when every build and every test passed. The last line
# is "N passed, N failed" (tests, plus any build that failed).
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

jobs=${RUNVANE_JOBS:-2}
fuzz_seconds=${RUNVANE_FUZZ_SECONDS:-20}
targets=${RUNVANE_TARGETS:-linux asan win32}

total_passed=0
total_failed=0
built_linux=0
built_win32=0
summary=()
started=$(date +%s)

note() { printf '\n=== %s\n' "$*"; }

# Adds the counts of one ctest run, read from its closing lines
# ("NN% tests passed, F tests failed out of T").
count_ctest() {
  local name=$1 log=$2 line failed all
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    if grep -q 'No tests were found' "$log"; then
      summary+=("$name: no tests")
      return 0
    fi
    summary+=("$name: ctest did not finish")
    total_failed=$((total_failed + 1))
    return 1
  fi
  failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  all=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
  total_passed=$((total_passed + all - failed))
  total_failed=$((total_failed + failed))
  summary+=("$name: $((all - failed)) passed, $failed failed")
  [ "$failed" -eq 0 ]
}

# configure_and_build <name> <build dir> <cmake arguments...>
configure_and_build() {
  local name=$1 dir=$2
  shift 2
  note "$name: configure and build ($dir)"
  if ! cmake -S "$root" -B "$dir" -G Ninja "$@"; then
    summary+=("$name: configure FAILED")
    total_failed=$((total_failed + 1))
    return 1
  fi
  if ! cmake --build "$dir" -j"$jobs"; then
    summary+=("$name: build FAILED")
    total_failed=$((total_failed + 1))
    return 1
  fi
}

run_ctest() {
  local name=$1 dir=$2
  shift 2
  note "$name: tests"
  local log="$dir/ctest.log"
  ctest --test-dir "$dir" --output-on-failure --no-tests=ignore "$@" 2>&1 | tee "$log"
  count_ctest "$name" "$log"
}

# ------------------------------------------------------------------ Wine
# One throw-away prefix and one Wine server for the whole Windows run. The
# server is stopped on every way out; Wine's own processes get no handle on
# this script's output, so nothing that outlives the run holds it.
wine_prefix=""
stop_wine() {
  if [ -n "$wine_prefix" ]; then
    WINEPREFIX="$wine_prefix" wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX="$wine_prefix" wineserver -w >/dev/null 2>&1 || true
    wine_prefix=""
  fi
}
on_signal() {
  trap - INT TERM
  echo "interrupted" >&2
  exit 130
}
trap stop_wine EXIT
trap on_signal INT TERM

start_wine() {
  local prefix=$1
  # A server left by an interrupted run would hold the old prefix's registry.
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
  rm -rf "$prefix"
  mkdir -p "$prefix"
  export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  wine_prefix=$prefix
  wineserver -p </dev/null >/dev/null 2>&1 || return 1
  wineboot -i </dev/null >/dev/null 2>&1 || return 1
}

# check <name> <command...>: one packaging test, counted as one test.
check() {
  local name=$1
  shift
  note "$name"
  if "$@"; then
    total_passed=$((total_passed + 1))
    summary+=("$name: passed")
  else
    total_failed=$((total_failed + 1))
    summary+=("$name: FAILED")
  fi
}

# ----------------------------------------------------------------- steps
note "setup"
if ! bash "$root/tools/setup.sh"; then
  echo "setup failed" >&2
  echo "0 passed, 1 failed"
  exit 1
fi

for target in $targets; do
  case $target in
    linux)
      if configure_and_build linux "$root/build/linux" -DCMAKE_BUILD_TYPE=Debug \
          -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++; then
        built_linux=1
        run_ctest linux "$root/build/linux" -j"$jobs" -LE fuzz
      fi
      ;;
    asan)
      # -O1: the usual level for sanitizer builds (quick to build, quick enough to run).
      if configure_and_build asan "$root/build/asan" -DCMAKE_BUILD_TYPE=Debug \
          -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DCMAKE_C_FLAGS_DEBUG="-g -O1" \
          -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
          -DRUNVANE_SANITIZE=ON -DRUNVANE_FUZZ=ON -DRUNVANE_FUZZ_SECONDS="$fuzz_seconds"; then
        ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0} \
        UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
          run_ctest asan "$root/build/asan" -j"$jobs"
      fi
      ;;
    win32)
      if configure_and_build win32 "$root/build/win32" -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_TOOLCHAIN_FILE="$root/tools/mingw-i686.cmake"; then
        built_win32=1
        note "win32: Wine prefix"
        if start_wine "$root/build/win32/wineprefix"; then
          # The tests share the prefix's registry: one at a time.
          run_ctest win32 "$root/build/win32" -j1
        else
          summary+=("win32: Wine prefix could not be made")
          total_failed=$((total_failed + 1))
        fi
        stop_wine
      fi
      ;;
    *)
      echo "unknown target: $target" >&2
      total_failed=$((total_failed + 1))
      ;;
  esac
done

# The release artefacts, made from the two builds above and tested as shipped.
if [ "$built_linux" = 1 ] && [ "$built_win32" = 1 ] && [ "${RUNVANE_PACKAGE:-1}" != 0 ]; then
  packages="$root/build/packages"
  rm -rf "$packages"
  note "packages: tools/package.sh"
  if bash "$root/tools/package.sh" --linux-build "$root/build/linux" \
      --win32-build "$root/build/win32" --out "$packages"; then
    check "packages: deb" bash "$root/tests/packaging/deb_test.sh" \
      "$(ls "$packages"/runvane_*.deb)" "$root/build/linux/bin" "$root"
    check "packages: zip" bash "$root/tests/packaging/zip_test.sh" \
      "$(ls "$packages"/runvane-*-win32.zip)" "$root/build/win32/bin" "$root/build/linux/bin"
  else
    summary+=("packages: tools/package.sh FAILED")
    total_failed=$((total_failed + 1))
  fi
fi

note "summary ($(( $(date +%s) - started )) s)"
for line in "${summary[@]}"; do echo "  $line"; done
echo "$total_passed passed, $total_failed failed"
[ "$total_failed" -eq 0 ]
