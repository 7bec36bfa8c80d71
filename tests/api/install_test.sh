#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds two small clients
# against it: one with find_package(VKVX), one with pkg-config.
set -euo pipefail
build=$1 work=$2
rm -rf "$work"
mkdir -p "$work/client"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cat > "$work/client/main.c" <<'C'
#include <vkvx/vkvx.h>
int main(void) { int n = VKVX_Initialize(); int c = VKVX_EnumDevices(0, 0); VKVX_CleanUp(); return (n == 1 && c >= 1) ? 0 : 1; }
C
cat > "$work/client/CMakeLists.txt" <<'CM'
cmake_minimum_required(VERSION 3.20)
project(client C)
find_package(VKVX 1.6 REQUIRED)
add_executable(client main.c)
target_link_libraries(client PRIVATE VKVX::VKVX)
CM
cmake -S "$work/client" -B "$work/client-build" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/client-build" >/dev/null
LD_LIBRARY_PATH="$work/prefix/lib" "$work/client-build/client"
libdir=$(ls -d "$work/prefix"/lib*/pkgconfig | head -1)
flags=$(PKG_CONFIG_PATH="$libdir" pkg-config --define-variable=prefix="$work/prefix" --cflags --libs vkvx)
cc -o "$work/client-pc" "$work/client/main.c" $flags
LD_LIBRARY_PATH="$work/prefix/lib" "$work/client-pc"
echo "find_package and pkg-config clients built and ran"
