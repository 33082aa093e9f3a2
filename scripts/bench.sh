#!/usr/bin/env bash
# Builds the native benchmarks in release mode and runs them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/install-deps.sh"
cmake --preset bench >/dev/null
cmake --build --preset bench
"$root/build/bench/bench/dozemark_bench" "$@"
