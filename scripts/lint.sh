#!/usr/bin/env bash
# Static analysis of every C++ file the native and the Windows builds
# compile: builds the lint-native and lint-windows presets from clean, in
# which clang-tidy and cppcheck run beside the compiler on each file
# (cmake/Lint.cmake, which lists the findings left out, and why). Fails on
# any finding, and shows the builds' output without their progress lines.
#
# Kept here by hand: cppcheck once more, over all those files in one run.
# Its cross-file checks (the one-definition rule, what a call passes to a
# function of another file) need every file at once, which a run per file
# cannot give; and a file clang-tidy fails is not given to cppcheck in the
# build. The command is the build's, the files are its compile databases'.
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
        grep -v -e '^\[[0-9]*/[0-9]*\] ' -e '__run_co_compile' -e 'warnings\? generated\.$' "$log" || true
        status=1
    fi
done

echo "== cppcheck, every file at once"
mapfile -t cppcheck < <(sed -n 's/^DOZEMARK_CPPCHECK_COMMAND:INTERNAL=//p' build/lint-native/CMakeCache.txt | tr ';' '\n')
mapfile -t files < <(sed -n 's/^  "file": "\(.*\.cpp\)"$/\1/p' build/lint-native/compile_commands.json \
    build/lint-windows/compile_commands.json | sort -u)
"${cppcheck[@]}" -I "$root" "${files[@]}" || status=1

if [ "$status" -ne 0 ]; then
    echo "lint: findings above"
    exit 1
fi
echo "lint: no findings"
