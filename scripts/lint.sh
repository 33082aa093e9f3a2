#!/usr/bin/env bash
# Static analysis of every C++ file the native and the Windows builds
# compile: builds the lint-native and lint-windows presets from clean, in
# which clang-tidy and cppcheck run beside the compiler on each file
# (cmake/Lint.cmake, which lists the findings left out, and why). Fails on
# any finding, and shows the build's output without its progress lines.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

"$root/scripts/install-deps.sh"

status=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for preset in lint-native lint-windows; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    if ! cmake --build --preset "$preset" >"$log" 2>&1; then
        grep -v -e '^\[[0-9]*/[0-9]*\] ' -e '__run_co_compile' "$log" || true
        status=1
    fi
done
if [ "$status" -ne 0 ]; then
    echo "lint: findings above"
    exit 1
fi
echo "lint: no findings"
