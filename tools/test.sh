#!/usr/bin/env bash
# Builds everything and runs every test, on every target:
#   build/linux  Linux, g++, Debug
#   build/asan   Linux, clang, AddressSanitizer + UndefinedBehaviorSanitizer,
#                with the libFuzzer targets (each runs for a bounded time)
#   build/tsan   Linux, clang, ThreadSanitizer: only the program that calls
#                every export from several threads at once (threads_tests)
#   build/win32  32-bit Windows, MinGW-w64 i686 cross build; the test programs
#                run under 32-bit Wine in a throw-away win32 prefix. On a
#                machine that cannot execute 32-bit programs it is built
#                (compile errors still fail) but its tests are not run.
#   build/win64  64-bit Windows, MinGW-w64 x86-64 cross build; the test
#                programs run under 64-bit Wine in a throw-away win64 prefix
# tools/wine-env.sh decides which Wine runs here.
# Set-up (packages, the Xerces-C++ cross-build) is done first by
# tools/setup.sh, which does nothing when it is already done.
#
# When both the linux and the win32 builds succeeded, a last step makes the
# release artefacts from them (tools/package.sh: the Windows zip and the
# Debian package, in build/packages) and tests each (tests/packaging/).
#
# Environment: RUNVANE_JOBS (default 2) build jobs; RUNVANE_FUZZ_SECONDS
# (default 20) per fuzz target; RUNVANE_TARGETS (default
# "linux asan tsan win32 win64") to run a subset; RUNVANE_PACKAGE=0 skips the
# packaging step.
#
# Exit status 0 only when every build and every test passed. The last line
# is "N passed, N failed" (tests, plus any build that failed).
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

jobs=${RUNVANE_JOBS:-2}
fuzz_seconds=${RUNVANE_FUZZ_SECONDS:-20}
targets=${RUNVANE_TARGETS:-linux asan tsan win32 win64}

total_passed=0
total_failed=0
built_linux=0
built_win32=0
built_win64=0
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
# One throw-away prefix and one Wine server for each Windows run. The server
# is stopped on every way out; Wine's own processes get no handle on this
# script's output, so nothing that outlives the run holds it. While a run
# lasts, its Wine settings are exported (the test programs inherit them);
# afterwards they are taken back, so that the next target starts clean.
wine_prefix=""
saved_wineloader=""
stop_wine() {
  if [ -n "$wine_prefix" ]; then
    WINEPREFIX="$wine_prefix" wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX="$wine_prefix" wineserver -w >/dev/null 2>&1 || true
    wine_prefix=""
    unset WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES WINELOADER
    if [ -n "$saved_wineloader" ]; then export WINELOADER=$saved_wineloader; fi
  fi
}
on_signal() {
  trap - INT TERM
  echo "interrupted" >&2
  exit 130
}
trap stop_wine EXIT
trap on_signal INT TERM

# start_wine <32|64> <prefix>
start_wine() {
  local bits=$1 prefix=$2
  # A server left by an interrupted run would hold the old prefix's registry.
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
  rm -rf "$prefix"
  mkdir -p "$prefix"
  saved_wineloader=${WINELOADER:-}
  wine_prefix=$prefix
  runvane_wine_for "$bits" "$prefix" || return 1
  wineserver -p </dev/null >/dev/null 2>&1 || return 1
  "$RUNVANE_WINE_LOADER" wineboot -i </dev/null >/dev/null 2>&1 || return 1
}

# windows_target <name> <32|64> <toolchain file>
windows_target() {
  local name=$1 bits=$2 toolchain=$3 dir="$root/build/$1"
  configure_and_build "$name" "$dir" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" || return 1
  [ "$name" = win32 ] && built_win32=1
  [ "$name" = win64 ] && built_win64=1
  if [ "$bits" = 32 ] && [ "$RUNVANE_WINE32_OK" != 1 ]; then
    note "$name: tests not run: $RUNVANE_WINE32_REASON"
    summary+=("$name: built; tests not run: $RUNVANE_WINE32_REASON")
    return 0
  fi
  note "$name: Wine prefix"
  if start_wine "$bits" "$dir/wineprefix"; then
    # The tests share the prefix's registry: one at a time.
    run_ctest "$name" "$dir" -j1
  else
    summary+=("$name: Wine prefix could not be made")
    total_failed=$((total_failed + 1))
  fi
  stop_wine
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
# After setup: Wine is installed now.
. "$root/tools/wine-env.sh"
if [ "$RUNVANE_WINE32_OK" != 1 ]; then
  note "Wine: 32-bit Windows programs cannot run here ($RUNVANE_WINE32_REASON); using $RUNVANE_WINE"
fi

# The layering of the sources: every include points down, and only
# platform/ knows which backend it is built for.
note "layers"
if bash "$root/tools/check_layers.sh"; then
  total_passed=$((total_passed + 1))
  summary+=("layers: passed")
else
  total_failed=$((total_failed + 1))
  summary+=("layers: FAILED")
fi

timings=()
for target in $targets; do
  target_started=$(date +%s)
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
        # The differential tests against Wine itself take minutes and test
        # what the linux build's run already showed: not run again here.
        ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0} \
        UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
        GTEST_FILTER=${GTEST_FILTER:--RegistryFileWine.*:RegistryViewsWine.*} \
          run_ctest asan "$root/build/asan" -j"$jobs"
      fi
      ;;
    tsan)
      # Built for the one program it runs, so the step stays short.
      note "tsan: configure and build threads_tests ($root/build/tsan)"
      if cmake -S "$root" -B "$root/build/tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
          -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DCMAKE_C_FLAGS_DEBUG="-g -O1" \
          -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
          -DRUNVANE_TSAN=ON -DRUNVANE_BENCH=OFF &&
         cmake --build "$root/build/tsan" -j"$jobs" --target threads_tests; then
        TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1} \
          run_ctest tsan "$root/build/tsan" -R '^threads_tests$'
      else
        summary+=("tsan: build FAILED")
        total_failed=$((total_failed + 1))
      fi
      ;;
    win32)
      windows_target win32 32 "$root/tools/mingw-i686.cmake"
      ;;
    win64)
      windows_target win64 64 "$root/tools/mingw-x86_64.cmake"
      ;;
    *)
      echo "unknown target: $target" >&2
      total_failed=$((total_failed + 1))
      ;;
  esac
  timings+=("$target $(( $(date +%s) - target_started )) s")
done

# Both builds on one 64-bit Wine prefix: the same items in both registry
# views, and each sees the other's changes.
if [ "$built_linux" = 1 ] && [ "$built_win64" = 1 ]; then
  check "views: Linux and Windows builds on a win64 prefix" \
    bash "$root/tests/host/views_agreement_test.sh" "$root/build/linux/bin" "$root/build/win64/bin"
fi

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
      "$(ls "$packages"/runvane-*-win32.zip)" "$root/build/win32/bin" "$root/build/linux/bin" \
      "$root/build/win64/bin"
  else
    summary+=("packages: tools/package.sh FAILED")
    total_failed=$((total_failed + 1))
  fi
fi

note "summary ($(( $(date +%s) - started )) s)"
for line in "${summary[@]}"; do echo "  $line"; done
echo "  time per target: $(IFS=,; echo "${timings[*]}" | sed 's/,/, /g')"
echo "$total_passed passed, $total_failed failed"
[ "$total_failed" -eq 0 ]
