#!/usr/bin/env bash
# Runs the test kit as a Windows user would: unpacks it into a fresh folder
# inside a Wine prefix, runs its run-tests.cmd with Wine's cmd, and checks
# the results against the CTest run of the same programs
# (scripts/check_kit_run.py). Run after scripts/release.sh, which packs the
# kit, and after the Windows GCC tests, whose CTest output test.sh keeps in
# build/windows-gcc/ctest-output.txt.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$root/build/windows-gcc
prefix=$build/wineprefix
kit=$(ls "$root"/build/dist/dozemark-*-win64-tests.zip)
"$root/cmake/wine-prefix.sh" "$prefix"

folder=$prefix/drive_c/dozemark-kit
rm -rf "$folder"
mkdir -p "$folder"
/usr/bin/python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$kit" "$folder"
echo "unpacked $(basename "$kit") into C:\\dozemark-kit"

# As on Windows: none of the settings CTest gives some tests.
unset WINEDLLOVERRIDES
export WINEPREFIX="$prefix" WINEDEBUG=-all
output=$build/kit-run.txt
status=0
xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    cd "$1" && wine cmd /c run-tests.cmd </dev/null; status=$?
    wineserver -w
    exit $status' kit "$folder" 2>&1 | tr -d '\r' | tee "$output" || status=$?
echo "run-tests.cmd ended with exit code $status"

closing=$(grep -E '^[0-9]+ passed, [0-9]+ failed, [0-9]+ skipped$' "$output" | tail -n 1 || true)
ctest --preset windows-gcc --show-only=json-v1 >"$build/ctest-tests.json"
/usr/bin/python3 "$root/scripts/check_kit_run.py" "$build/ctest-output.txt" "$build/ctest-tests.json" \
    "$folder/results" "$closing"
failed=$(echo "$closing" | sed -n 's/.* \([0-9]*\) failed.*/\1/p')
if [ "$failed" = 0 ] && [ "$status" -ne 0 ]; then
    echo "FAIL run-tests.cmd ended with $status although nothing failed"
    exit 1
fi
