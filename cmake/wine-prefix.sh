#!/bin/sh
# Creates a Wine prefix for Dozemark once: a virtual desktop, so no window
# manager is waited for, and a Japanese font for "MS UI Gothic".
# usage: wine-prefix.sh PREFIX
set -e
prefix=$1
[ -f "$prefix/.dozemark-ready" ] && exit 0
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.dozemark-ready" ] && exit 0
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No Mono or Gecko installer prompts.
export WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1 || wine wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d 'IPAGothic' /f >/dev/null 2>&1
wineserver -w
touch "$prefix/.dozemark-ready"
