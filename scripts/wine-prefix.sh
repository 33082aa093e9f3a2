#!/bin/sh
# Creates a Wine prefix for Dozemark once, set up so that the program looks
# as on Windows and a test never waits on a person:
# - a virtual desktop, so no window manager is waited for;
# - "MS UI Gothic", the dialog's font, mapped to IPAPGothic: both are
#   proportional Japanese faces (IPAGothic, of the same package, is fixed
#   pitch and clips the dialog's labels);
# - Marlett, Wine's own symbol font, copied where Wine looks for it, so the
#   caption buttons show their symbols and not letters;
# - no crash dialog: a program that crashes ends, with a backtrace on stderr;
# - the user's Desktop, Documents, Downloads and the like are folders of the
#   prefix's own, not Wine's links to the home folder, so that nothing a
#   test writes there leaves the build tree.
# usage: wine-prefix.sh PREFIX
set -e
prefix=$1
# Bumped whenever the settings below change, so an older prefix is set up again.
ready="$prefix/.dozemark-ready-3"
[ -f "$ready" ] && exit 0
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$ready" ] && exit 0
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No Mono or Gecko installer prompts.
export WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1 || wine wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d 'IPAPGothic' /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wineserver -w
marlett=/usr/share/wine/fonts/marlett.ttf
if [ ! -f "$marlett" ]; then
    echo "wine-prefix.sh: $marlett is missing (Debian package fonts-wine)" >&2
    exit 1
fi
cp "$marlett" "$prefix/drive_c/windows/Fonts/"
for link in "$prefix"/drive_c/users/*/*; do
    if [ -L "$link" ]; then
        rm "$link"
        mkdir "$link"
    fi
done
touch "$ready"
