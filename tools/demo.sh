#!/usr/bin/env bash
# The main job on its embedded default: builds the modules and the reference
# host, lays out a demonstration system with startup items of every kind and
# the shipped knowledge base, and shows what the module finds there — the
# check as the host application shows it, then the full listing with the
# disabled items, versions and sizes.
#
#   tools/demo.sh            on Linux, over a fresh system image
#   tools/demo.sh --wine     the 32-bit Windows build under Wine, on the
#                            real Win32 registry of a throw-away prefix (the
#                            64-bit build, on a machine that cannot execute
#                            32-bit programs; tools/wine-env.sh decides)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/setup.sh" >/dev/null

if [ "${1:-}" = "--wine" ]; then
  . "$root/tools/wine-env.sh"
  if [ "$RUNVANE_WINE32_OK" = 1 ]; then
    bits=32 build="$root/build/demo-win32" toolchain="$root/tools/mingw-i686.cmake"
  else
    echo "32-bit Windows programs cannot run here ($RUNVANE_WINE32_REASON): showing the 64-bit build"
    bits=64 build="$root/build/demo-win64" toolchain="$root/tools/mingw-x86_64.cmake"
  fi
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" >/dev/null
  cmake --build "$build" -j2 --target runvane_host runvane runvane_check make_demo_image >/dev/null
  runvane_wine_for "$bits" "$build/demo-prefix"
  wine=$RUNVANE_WINE_LOADER
  rm -rf "$WINEPREFIX"
  trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
  "$wine" wineboot -i >/dev/null 2>&1
  fixtures=$("$wine" winepath -w "$build/bin/fixtures" 2>/dev/null)
  "$wine" "$build/bin/make_demo_image.exe" "$fixtures"
  echo; echo "== check (as the host application shows it) =="
  "$wine" "$build/bin/runvane.exe" check
  echo; echo "== every item, enabled and disabled =="
  "$wine" "$build/bin/runvane.exe" list
  exit 0
fi

build="$root/build/demo"
image="$build/demo-image"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRUNVANE_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target runvane_host runvane runvane_check make_demo_image >/dev/null
# Disabled files live inside the image: a new image starts clean.
rm -rf "$image"
"$build/bin/make_demo_image" "$image" "$build/bin/fixtures"
echo; echo "== check (as the host application shows it) =="
"$build/bin/runvane" --image "$image" check
echo; echo "== every item, enabled and disabled =="
"$build/bin/runvane" --image "$image" list
echo; echo "The image is in $image; try: $build/bin/runvane --image $image disable 示例更新"
