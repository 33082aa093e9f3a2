#!/usr/bin/env bash
# Runs a Windows build's test preset under Wine on a virtual display of its
# own, with one wineserver kept alive for the whole suite. Xvfb picks a free
# display itself (-displayfd), so that suites started side by side never
# reach for the same one.
# usage: wine-tests.sh PRESET [CTEST_ARGS...]   (PRESET: windows-gcc or windows-clang)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
preset=$1
shift
build="$root/build/$preset"
prefix="$build/wineprefix"
"$root/scripts/wine-prefix.sh" "$prefix"

display=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 3>"$display" >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true; rm -f "$display"' EXIT
for _ in $(seq 100); do
    [ -s "$display" ] && break
    sleep 0.1
done
export DISPLAY=:$(cat "$display")

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
