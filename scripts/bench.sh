#!/usr/bin/env bash
# Builds the native benchmarks in release mode and runs them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${DOZEMARK_BUILD_DIR:-$root/build}/bench
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDOZEMARK_BENCH=ON -DDOZEMARK_TESTS=OFF >/dev/null
cmake --build "$build" --target dozemark_bench
"$build/bench/dozemark_bench" "$@"
