#!/usr/bin/env bash
# check-install.sh BUILD_DIR: installs the build into a temporary prefix, then
# builds and runs examples/first_host.c against it twice: with pkg-config and
# with CMake's find_package(Vantorix).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$1"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
prefix="$tmp/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
libdir="$(dirname "$(find "$prefix" -name 'libvantorix.so*' | head -n1)")"
sample="$root/samples/canon_powershot_g2_CRW_0304.CRW"

echo "-- example with pkg-config"
PKG_CONFIG_PATH="$libdir/pkgconfig" cc -std=c99 -Wall -Wextra -Werror "$root/examples/first_host.c" \
  $(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs vantorix) -o "$tmp/first_host_pc"
LD_LIBRARY_PATH="$libdir" "$tmp/first_host_pc" "$sample" "$tmp/pc.jpg"
test -s "$tmp/pc.jpg"

echo "-- example with find_package(Vantorix)"
cmake -S "$root/examples" -B "$tmp/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$tmp/cmake-build" >/dev/null
"$tmp/cmake-build/first_host" "$sample" "$tmp/cmake.jpg"
test -s "$tmp/cmake.jpg"
echo "-- install check passed"
