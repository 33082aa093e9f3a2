#!/usr/bin/env bash
# Installs what is missing, builds the program for Windows with Clang, as it
# is released, and starts it under Wine. With a display it opens the dialog.
# Without one (a server, CI) it opens the dialog on a virtual display,
# presses Run with the default options, prints the report and saves
# pictures of the dialog and of the report as PNG files.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/windows-clang
cd "$root"

"$root/scripts/install-deps.sh"
cmake --preset windows-clang >/dev/null
cmake --build --preset windows-clang --target dozemark screenshot_tour
prefix="$build/wineprefix"
"$root/scripts/wine-prefix.sh" "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all

if [ -n "${DISPLAY:-}" ]; then
    exec wine "$build/dozemark.exe"
fi

shots=${DOZEMARK_SCREENSHOTS:-$root/build/screenshots}
mkdir -p "$shots"
rm -f "$shots"/dialog.* "$shots"/report.*
echo "No display: running the dialog on a virtual one, pressing Run with the defaults (10 s)."
xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    wine "$1" "$(winepath -w "$2")"; status=$?
    wineserver -w
    exit $status' tour "$build/tools/screenshot_tour.exe" "$shots"
for picture in dialog report; do
    convert "$shots/$picture.bmp" "$shots/$picture.png"
    rm -f "$shots/$picture.bmp"
    echo "saved $shots/$picture.png"
done
