#!/usr/bin/env bash
# Runs every libFuzzer target for SECONDS each (default 60) and prints, per
# target, the executions, the coverage reached and the crashes found.
#
#   tools/fuzz.sh 600          ten minutes per target
#   tools/fuzz.sh 60 listing   only the targets whose name contains "listing"
#
# The targets are built in build/asan (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, the same build as tools/test.sh's asan step).
# Each target starts from its committed seeds (fuzz/<area>/seeds...) and its
# corpus in build/asan/fuzz/corpus/<name>, where new inputs are kept between
# runs; a crashing input is written to build/fuzz-findings/<name>/.
# Exit status 0 only when no target crashed.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
filter=${2:-}
build="$root/build/asan"
findings="$root/build/fuzz-findings"
jobs=${RUNVANE_JOBS:-2}
# Seconds one input may take before libFuzzer stops the target: raise it on
# a loaded machine, where the slowest seeds (a key 50,000 deep) take seconds.
timeout=${RUNVANE_FUZZ_TIMEOUT:-10}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DCMAKE_C_FLAGS_DEBUG="-g -O1" \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DRUNVANE_SANITIZE=ON -DRUNVANE_FUZZ=ON >/dev/null || exit 1
manifest="$build/fuzz_targets.txt"
mapfile -t lines < <(grep -v '^$' "$manifest")
targets=()
for line in "${lines[@]}"; do
  name=${line%%$'\t'*}
  if [ -z "$filter" ] || [[ "$name" == *"$filter"* ]]; then targets+=("fuzz_$name"); fi
done
[ "${#targets[@]}" -gt 0 ] || { echo "no fuzz target matches '$filter'" >&2; exit 1; }
cmake --build "$build" -j"$jobs" --target "${targets[@]}" || exit 1

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
rows=()
crashed=0
for line in "${lines[@]}"; do
  IFS=$'\t' read -r -a fields <<<"$line"
  name=${fields[0]}
  folders=("${fields[@]:1}")
  if [ -n "$filter" ] && [[ "$name" != *"$filter"* ]]; then continue; fi
  mkdir -p "$findings/$name" "${folders[0]}"
  log="$build/fuzz-$name.log"
  stamp="$build/fuzz-$name.started"
  touch "$stamp"
  echo "fuzz_$name: ${seconds} s" >&2
  (cd "$build" && "$build/bin/fuzz_$name" -max_total_time="$seconds" -rss_limit_mb=2048 \
      -timeout="$timeout" -print_final_stats=1 -artifact_prefix="$findings/$name/" \
      "${folders[@]}") >"$log" 2>&1
  status=$?
  execs=$(grep -E '^stat::number_of_executed_units:' "$log" | tail -n 1 | awk '{print $2}')
  cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -n 1 | awk '{print $2}')
  features=$(grep -oE 'ft: [0-9]+' "$log" | tail -n 1 | awk '{print $2}')
  corpus=$(find "${folders[0]}" -type f | wc -l)
  crashes=$(find "$findings/$name" -type f -newer "$stamp" 2>/dev/null | wc -l)
  if [ "$status" -ne 0 ] && [ "$crashes" -eq 0 ]; then crashes=1; fi
  [ "$crashes" -gt 0 ] && crashed=1
  rows+=("$(printf '%-20s %12s %8s %9s %8s %8s' "$name" "${execs:-0}" "${cov:-?}" "${features:-?}" "$corpus" "$crashes")")
done

printf '%-20s %12s %8s %9s %8s %8s\n' target executions coverage features corpus crashes
printf '%s\n' "${rows[@]}"
[ "$crashed" -eq 0 ]
