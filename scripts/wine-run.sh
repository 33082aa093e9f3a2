#!/bin/sh
# Runs a Windows program under Wine in the given prefix, creating the prefix
# on first use. Without a display it runs on a virtual one.
#
# Now and then (about one start in a few hundred here) wine ends at once,
# with a failure and without a word, before the program has started. A
# program of ours always prints something first (GoogleTest's banner, or
# what it fails with), so a failure with no output at all is that, and the
# program is started once more, saying so.
# usage: wine-run.sh PREFIX PROGRAM [ARGS...]
set -e
prefix=$1
shift
"$(dirname "$0")/wine-prefix.sh" "$prefix"
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"

run() {
    if [ -z "$DISPLAY" ]; then
        xvfb-run -a -s "-screen 0 1024x768x24" wine "$@"
    else
        wine "$@"
    fi
}

out=$(mktemp)
trap 'rm -f "$out"' EXIT
for attempt in 1 2; do
    status=0
    run "$@" >"$out" 2>&1 || status=$?
    cat "$out"
    if [ "$status" -eq 0 ] || [ -s "$out" ] || [ "$attempt" -eq 2 ]; then
        exit "$status"
    fi
    echo "wine-run.sh: wine ended with status $status and no output, so the program never started; starting it once more" >&2
done
