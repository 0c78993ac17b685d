#!/usr/bin/env bash
# The reference host killed and raced on one image.
#
#   kill        the host is killed (SIGKILL) at random moments while it
#               disables or enables many items, round after round; after each
#               round every item is in exactly one place (enabled or
#               disabled, never both, never gone), and at the end both
#               registry files still load in Wine (`reg query`).
#   concurrent  two hosts change disjoint halves of the items of one image
#               at the same time, round after round; no change is lost.
#
# usage: durability_test.sh kill|concurrent RUNVANE MAKE-DEMO-IMAGE FIXTURES [SOURCE-DIR]
# Only zero against non-zero is read from the host's exit code.
set -u
mode=$1 host=$2 make_image=$3 fixtures=$4 source_dir=${5:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/runvane-durability.XXXXXX")
cleanup() {
  if [ -n "${wine_started:-}" ]; then
    WINEPREFIX="$read_image" "${RUNVANE_WINESERVER:-wineserver}" -k >/dev/null 2>&1
    WINEPREFIX="$read_image" "${RUNVANE_WINESERVER:-wineserver}" -w >/dev/null 2>&1
  fi
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

values=30 files=10
names=()
for i in $(seq -w 1 $values); do names+=("kv$i"); done
[ "$files" -gt 0 ] && for i in $(seq -w 1 $files); do names+=("kf$i.lnk"); done

# A demo image with many Run values of the current user and files in the
# user's startup folder.
"$make_image" "$work/image" "$fixtures" >/dev/null || { echo "FAIL: demo image"; exit 1; }
{
  echo
  echo '[Software\\Microsoft\\Windows\\CurrentVersion\\Run] 1700000000'
  for i in $(seq -w 1 $values); do echo "\"kv$i\"=\"C:\\\\Apps\\\\kv$i.exe /background\""; done
} >>"$work/image/user.reg"
# The user's startup folder as the image spells it (Wine writes "StartUp").
startup=$(find "$work/image/drive_c/users" -type d -ipath '*/Roaming/*/Programs/Startup' ! -path '*/Public/*' | head -n 1)
[ -n "$startup" ] || { echo "FAIL: no user startup folder in the image"; exit 1; }
[ "$files" -gt 0 ] && for i in $(seq -w 1 $files); do printf 'shortcut %s' "$i" >"$startup/kf$i.lnk"; done

# state NAME...: "name state" per listed item of these names, sorted.
listed() {
  RUNVANE_SYSTEM_ROOT="$work/image" "$host" list 2>/dev/null |
    awk '$4 ~ /^k[vf][0-9]+(\.lnk)?$/ { print $4, $2 }' | sort
}

# Every item listed exactly once; prints its state summary.
check_each_once() {
  local round=$1 listing
  listing=$(listed)
  for name in "${names[@]}"; do
    local n
    n=$(awk -v n="$name" '$1 == n' <<<"$listing" | wc -l)
    [ "$n" -eq 1 ] || fail "round $round: $name listed $n times: $(awk -v n="$name" '$1 == n' <<<"$listing" | tr '\n' ' ')"
  done
  # The files themselves: in the startup folder or among the disabled ones, not both.
  [ "$files" -gt 0 ] && for i in $(seq -w 1 $files); do
    local n
    n=$(find "$work/image" -name "kf$i.lnk" | wc -l)
    [ "$n" -eq 1 ] || fail "round $round: kf$i.lnk found $n times: $(find "$work/image" -name "kf$i.lnk" | tr '\n' ' ')"
  done
}

# expect_all STATE ROUND: every item has that state.
expect_all() {
  local state=$1 round=$2 wrong
  wrong=$(listed | awk -v s="$state" '$2 != s { print $1 }' | tr '\n' ' ')
  [ -z "$wrong" ] || fail "round $round: not $state: $wrong"
  [ "$(listed | wc -l)" -eq "${#names[@]}" ] || fail "round $round: $(listed | wc -l) of ${#names[@]} items listed"
}

case $mode in
  kill)
    rounds=${RUNVANE_KILL_ROUNDS:-24}
    # How long one whole change takes, to spread the kills over it.
    start=$(date +%s%N)
    RUNVANE_SYSTEM_ROOT="$work/image" "$host" disable "${names[@]}" >/dev/null 2>&1
    RUNVANE_SYSTEM_ROOT="$work/image" "$host" enable "${names[@]}" >/dev/null 2>&1
    span=$((($(date +%s%N) - start) / 2000000))  # milliseconds of one change
    [ "$span" -gt 0 ] || span=1
    expect_all enabled 0
    killed=0
    for round in $(seq 1 "$rounds"); do
      verb=disable
      [ $((round % 2)) -eq 0 ] && verb=enable
      RUNVANE_SYSTEM_ROOT="$work/image" "$host" "$verb" "${names[@]}" >/dev/null 2>&1 &
      pid=$!
      delay=$((RANDOM % (span + 1)))
      sleep "$(printf '0.%03d' "$delay")" 2>/dev/null || sleep "$((delay / 1000))"
      kill -KILL "$pid" 2>/dev/null && killed=$((killed + 1))
      wait "$pid" 2>/dev/null
      check_each_once "$round"
    done
    echo "kill: $rounds rounds, $killed killed while running, one change takes about ${span} ms"
    # A run that is not killed still takes every item over.
    RUNVANE_SYSTEM_ROOT="$work/image" "$host" disable "${names[@]}" >/dev/null 2>&1
    expect_all disabled end
    RUNVANE_SYSTEM_ROOT="$work/image" "$host" enable "${names[@]}" >/dev/null 2>&1
    expect_all enabled end
    # Wine reads both registry files as they were left.
    if [ -z "${RUNVANE_WINE:-}" ] && [ -n "$source_dir" ] && [ -f "$source_dir/tools/wine-env.sh" ]; then
      . "$source_dir/tools/wine-env.sh"
    fi
    if [ -n "${RUNVANE_WINE:-}" ]; then
      read_image="$work/image"
      if [ "${RUNVANE_WINE32_OK:-0}" != 1 ]; then
        # Only 64-bit Wine runs here, and it refuses a prefix marked win32:
        # it reads a copy of the files whose "#arch" line says win64, every
        # other byte as the host left it.
        read_image="$work/image64"
        cp -a "$work/image" "$read_image"
        sed -i 's/^#arch=win32$/#arch=win64/' "$read_image/system.reg" "$read_image/user.reg"
      fi
      export WINEPREFIX="$read_image" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
      wine_started=1
      run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
      out=$($RUNVANE_WINE reg query "$run_key" 2>/dev/null | tr -d '\r')
      for i in $(seq -w 1 $values); do
        grep -q "^ *kv$i  *REG_SZ  *C:\\\\Apps\\\\kv$i.exe /background$" <<<"$out" || fail "wine: kv$i not in user.reg as written"
      done
      $RUNVANE_WINE reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion' >/dev/null 2>&1 ||
        fail "wine: system.reg does not load"
      echo "wine: $(grep -c '^ *kv' <<<"$out") of $values values read back by reg query"
    else
      echo "wine: not found; the registry files were not loaded in Wine"
    fi
    ;;
  concurrent)
    rounds=${RUNVANE_RACE_ROUNDS:-6}
    half=$((${#names[@]} / 2))
    first=("${names[@]:0:$half}") second=("${names[@]:$half}")
    for round in $(seq 1 "$rounds"); do
      for verb in disable enable; do
        RUNVANE_SYSTEM_ROOT="$work/image" "$host" "$verb" "${first[@]}" >"$work/a.out" 2>&1 &
        a=$!
        RUNVANE_SYSTEM_ROOT="$work/image" "$host" "$verb" "${second[@]}" >"$work/b.out" 2>&1 &
        b=$!
        wait "$a" || fail "round $round: first host's $verb failed: $(tail -n 3 "$work/a.out")"
        wait "$b" || fail "round $round: second host's $verb failed: $(tail -n 3 "$work/b.out")"
        expect_all "${verb}d" "$round"
      done
    done
    echo "concurrent: $rounds rounds of two hosts disabling and enabling at once"
    ;;
  *)
    echo "usage: $0 kill|concurrent RUNVANE MAKE-DEMO-IMAGE FIXTURES [SOURCE-DIR]" >&2
    exit 2
    ;;
esac
[ "$failures" -eq 0 ] && echo "$mode: all passed"
exit "$failures"
