#!/usr/bin/env bash
# Checks the layering of the module's sources. Every include points down:
#
#   plugin/                      the five exports, nothing else
#   remote/                      the remote invoke
#   inventory/                   scanners, check list, repair
#   knowledge/                   loader, index, classification, scan lists
#   enrich/                      command line to program, file facts, DOM
#   markup/                      the XML text engine
#   records/  framework/         plain records; array, exceptions, host lists
#   platform/                    the Win32 operations and their backends
#
# A folder may include its own headers and those of any folder below it, never
# one above it or beside it. Only platform/ knows which backend it runs on:
# no other folder includes platform/linux/ or platform/windows/, or asks
# whether it is built for Windows. Tests, tools, benchmarks and fuzz targets
# stand outside the layers. Prints each violation; exits 1 when there is one.
set -u
cd "$(dirname "$0")/.."

declare -A rank=(
  [platform]=0 [framework]=1 [records]=1 [markup]=2 [enrich]=3 [knowledge]=4
  [inventory]=5 [remote]=6 [plugin]=7
)

violations=0
report() { echo "layers: $*"; violations=$((violations + 1)); }

for folder in "${!rank[@]}"; do
  [ -d "$folder" ] || continue
  while IFS= read -r file; do
    while IFS=: read -r line target; do
      top=${target%%/*}
      if [ "$folder" != platform ] && [[ $target == platform/linux/* || $target == platform/windows/* ]]; then
        report "$file:$line includes the backend header $target"
        continue
      fi
      [ "$top" = "$folder" ] && continue
      [ -n "${rank[$top]+x}" ] || continue
      if [ "${rank[$top]}" -ge "${rank[$folder]}" ]; then
        report "$file:$line ($folder/) includes $target ($top/ is not below it)"
      fi
    done < <(awk '/^[[:space:]]*#[[:space:]]*include[[:space:]]*"/ {
                    split($0, part, "\""); print FNR ":" part[2] }' "$file")
    if [ "$folder" != platform ]; then
      while IFS= read -r hit; do
        report "$file:${hit%%:*} asks for the Windows build (only platform/ may)"
      done < <(grep -n -E '^[[:space:]]*#[[:space:]]*(if|ifdef|ifndef|elif).*\b_WIN(32|64)\b' "$file")
    fi
  done < <(find "$folder" -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
done

if [ "$violations" -gt 0 ]; then
  echo "layers: $violations violation(s)"
  exit 1
fi
echo "layers: every include points down"
