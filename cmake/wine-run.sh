#!/bin/sh
# Runs a Windows program under Wine in the given prefix, creating the prefix
# on first use. Without a display it runs on a virtual one.
# usage: wine-run.sh PREFIX PROGRAM [ARGS...]
set -e
prefix=$1
shift
"$(dirname "$0")/wine-prefix.sh" "$prefix"
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
if [ -z "$DISPLAY" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" wine "$@"
fi
exec wine "$@"
