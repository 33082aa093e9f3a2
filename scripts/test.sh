#!/usr/bin/env bash
# Installs what is missing, builds the native and the Windows configurations,
# and runs every test: the native ones with ASan and UBSan, the Windows ones
# under Wine on a virtual display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${DOZEMARK_BUILD_DIR:-$root/build}

"$root/scripts/install-deps.sh"

echo "== native build and tests"
cmake -S "$root" -B "$build/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DDOZEMARK_SANITIZE=ON -DDOZEMARK_BENCH=ON >/dev/null
cmake --build "$build/native"
ctest --test-dir "$build/native" --output-on-failure -j2

echo "== windows build and tests under Wine"
cmake -S "$root" -B "$build/windows" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build/windows"
"$root/scripts/wine-tests.sh" "$build/windows"
