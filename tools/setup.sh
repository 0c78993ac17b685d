#!/usr/bin/env bash
# Takes a fresh Debian 12 machine (as root) to a state where every target builds
# and every test runs: Debian packages, the i386 architecture for 32-bit Wine,
# and a static Xerces-C++ cross-built for i686-w64-mingw32 and for
# x86_64-w64-mingw32 from Debian's own source package. Idempotent: every step
# checks first and does nothing when its result is already there.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
# The cross-built Xerces-C++ goes to <root>/xerces-i686 and <root>/xerces-x86_64
# (editions/CMakeLists.txt looks there by the target's processor).
xerces_root=${RUNVANE_XERCES_ROOT:-/opt/runvane}
stamp=/var/lib/runvane-setup.stamp

need_pkgs=(
  build-essential cmake ninja-build pkg-config g++ clang lld
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libxml2-dev libxml2-utils libxerces-c-dev libpugixml-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  dpkg-dev xz-utils file
  libclang-rt-14-dev
  wine wine32:i386 wine64
  libhivex-dev libhivex-bin reglookup regripper
  valgrind lintian zip unzip
)

have_all_pkgs() {
  local p
  for p in "${need_pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || return 1
  done
}

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

# Adds deb-src entries mirroring the machine's deb entries (deb822 or the
# classic one-line format); true when a list was added.
add_source_lists() {
  local added=1
  if [ -f /etc/apt/sources.list.d/debian.sources ] &&
     [ ! -f /etc/apt/sources.list.d/runvane-src.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      | as_root tee /etc/apt/sources.list.d/runvane-src.sources >/dev/null
    added=0
  fi
  if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list &&
     [ ! -f /etc/apt/sources.list.d/runvane-src.list ]; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list \
      | as_root tee /etc/apt/sources.list.d/runvane-src.list >/dev/null
    added=0
  fi
  return $added
}

if ! have_all_pkgs; then
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  # Source lists are needed for the Xerces-C++ sources below.
  add_source_lists || true
  as_root apt-get update -q
  as_root apt-get install -y -q --no-install-recommends "${need_pkgs[@]}"
fi


# --- Xerces-C++ for MinGW-w64, static, cached outside the build tree ---
# build_xerces <processor>: builds <xerces_root>/xerces-<processor> with
# tools/mingw-<processor>.cmake, unless it is already there.
xerces_work=""
trap 'if [ -n "$xerces_work" ]; then rm -rf "$xerces_work"; fi' EXIT
build_xerces() {
  local arch=$1 prefix="$xerces_root/xerces-$1" work log
  if [ -f "$prefix/lib/libxerces-c.a" ]; then return 0; fi
  # Source lists may be missing when the packages were already installed.
  if add_source_lists; then as_root apt-get update -q; fi
  work=$(mktemp -d /tmp/runvane-xerces.XXXXXX)
  xerces_work=$work
  log="$work/build.log"
  # Each step runs only if the one before succeeded (set -e does not hold
  # inside the condition of an if).
  if ! (
    cd "$work" &&
    chmod 755 "$work" &&
    apt-get source --download-only xerces-c &&
    tarball=$(ls xerces-c_*.orig.tar.* | head -n 1) &&
    mkdir src && tar -xf "$tarball" -C src --strip-components=1 &&
    cmake -S src -B build -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$here/tools/mingw-$arch.cmake" \
      -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$prefix" \
      -DBUILD_SHARED_LIBS=OFF -Dnetwork=OFF -Dtranscoder=windows \
      -Dmessage-loader=inmemory -Dxmlch-type=wchar_t -Dthreads=ON &&
    cmake --build build --target xerces-c -j"$(nproc)" &&
    # The library and its headers only (the documentation is not built).
    as_root cmake --install build/src
  ) >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "setup: the Xerces-C++ cross-build for $arch failed" >&2
    return 1
  fi
  rm -rf "$work"
  xerces_work=""
}

build_xerces i686
build_xerces x86_64

as_root mkdir -p "$(dirname "$stamp")"
date -u +%FT%TZ | as_root tee "$stamp" >/dev/null
echo "setup: ready (Xerces-C++ for i686 and x86_64 in $xerces_root)"
