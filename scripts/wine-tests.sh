#!/usr/bin/env bash
# Runs a Windows build's test preset under Wine on a virtual display of its
# own, with one wineserver kept alive for the whole suite.
# usage: wine-tests.sh PRESET [CTEST_ARGS...]   (PRESET: windows-gcc or windows-clang)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
preset=$1
shift
build="$root/build/$preset"
prefix="$build/wineprefix"

if [ -z "${DOZEMARK_IN_XVFB:-}" ]; then
    "$root/scripts/wine-prefix.sh" "$prefix"
    exec env DOZEMARK_IN_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$preset" "$@"
fi

cd "$root"
export WINEPREFIX="$prefix" WINEDEBUG=-all
wineserver -p
# Start Wine's own services now, detached from CTest's output pipes: started
# by the first test instead, they would hold those pipes open after it ends.
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
status=0
ctest --preset "$preset" "$@" || status=$?
wineserver -k || true
exit $status
