#!/usr/bin/env bash
# Runs a Windows build tree's CTest suite under Wine on a virtual display of
# its own, with one wineserver kept alive for the whole suite.
# usage: wine-tests.sh BUILD_DIR [CTEST_ARGS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
shift
prefix="$build/wineprefix"

if [ -z "${DOZEMARK_IN_XVFB:-}" ]; then
    "$root/cmake/wine-prefix.sh" "$prefix"
    exec env DOZEMARK_IN_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build" "$@"
fi

export WINEPREFIX="$prefix" WINEDEBUG=-all
wineserver -p
# Start Wine's own services now, detached from CTest's output pipes: started
# by the first test instead, they would hold those pipes open after it ends.
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
status=0
ctest --test-dir "$build" --output-on-failure "$@" || status=$?
wineserver -k || true
exit $status
