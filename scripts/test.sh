#!/usr/bin/env bash
# Installs what is missing, then builds and tests everything:
#   1. the platform-free logic natively with GCC and with Clang, under ASan
#      and UBSan;
#   2. the Windows program with MinGW-w64 GCC and with Clang, each with its
#      Windows tests run under Wine on a virtual display (Clang's, the
#      released toolchain's, with the minute-long run);
#   3. the release: the exe reproducible, stripped, at most 1 MiB, KnownDLL
#      imports only, hardened; the release archive and the test kit
#      reproducible and complete; then clang-tidy and cppcheck over every
#      source;
#   4. the test kit, unpacked and run with Wine's cmd as on Windows in
#      folders and locales that have tripped it up, while threads come and
#      go in the program under test and keys are pressed on the user's
#      desktop, against the CTest run of the same programs; a second kit in
#      a busy folder, a lone run-tests.cmd, and a test program ended from
#      outside;
#   5. the Japanese guide's wording (first, as it takes no time).
# What keeps both cores busy (the builds, the release check, the static
# analysis) runs before any Windows test, never beside one: the Windows
# tests time real runs of the program and must not be slowed by the suite
# itself. At most two Windows test programs run at once.
# Ends with one line that sums up the tests run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT
# Every CTest run's results, in CTest's JUnit form, for the closing line.
junit=$root/build/junit
rm -rf "$junit"
mkdir -p "$junit"
started=$(date +%s)

stage() {
    echo "== $* ($(($(date +%s) - started)) s)"
}

"$root/scripts/install-deps.sh"

stage "the Japanese guide's wording (textlint) and its alignment with the README"
/usr/bin/python3 "$root/scripts/check_japanese_guide.py" "$root/docs/README.ja.md" "$root/README.md"

# Each build's settings are its preset's, in CMakePresets.json.
native() {
    local preset=native-$1
    stage "native build and tests, $1"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" --output-junit "$junit/$preset.xml"
}

windows_build() {
    local preset=windows-$1
    stage "windows build, $1"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
}

windows_tests() {
    local preset=windows-$1
    # The test kit's check compares its results with Clang's.
    "$root/scripts/wine-tests.sh" "$preset" --output-junit "$junit/$preset.xml" >"$root/build/$preset/ctest-output.txt" 2>&1
}

native gcc
native clang
windows_build gcc
windows_build clang

stage "release: exe, archive and test kit"
"$root/scripts/release.sh"
stage "static analysis"
"$root/scripts/lint.sh"

# The second compiler's suite leaves out the minute-long run, which the
# released toolchain's makes. Each has a Wine prefix and a display of its own.
stage "windows tests under Wine, gcc and clang side by side"
gccStatus=0 clangStatus=0
windows_tests gcc &
gccPid=$!
windows_tests clang || clangStatus=$?
wait $gccPid || gccStatus=$?
for toolchain in gcc clang; do
    echo "-- windows tests, $toolchain"
    cat "$root/build/windows-$toolchain/ctest-output.txt"
done
if [ $gccStatus -ne 0 ] || [ $clangStatus -ne 0 ]; then
    echo "FAIL windows tests: gcc ended with $gccStatus, clang with $clangStatus"
    exit 1
fi

stage "test kit, run with Wine's cmd"
"$root/scripts/test-kit.sh"

stage "done"
/usr/bin/python3 -c '
import collections, sys
sys.path.insert(0, sys.argv[1])
from check_kit_run import CtestResults
counts = collections.Counter(result for path in sys.argv[2:] for result in CtestResults(path).values())
print("total: %d passed, %d failed, %d skipped" % (counts["passed"], counts["failed"], counts["skipped"]))
' "$root/scripts" "$junit"/*.xml
