#!/usr/bin/env bash
# Runs the test kit as a Windows user would, where it used to go wrong:
# unpacked into folders whose names have tripped it up, inside a Wine
# prefix made with a Japanese locale (code page 932) and one made with a
# Western one (code page 1252), run with Wine's cmd, and checked against the
# CTest run of the same programs (scripts/check_kit_run.py):
#   - C:\users\<user>\ダウンロード\山田 太郎 (1)\    Japanese, a space, "(1)"
#   - C:\users\<user>\Documents\予定表\   a name ending in 表, whose
#     second byte in code page 932 is the code of '\'
#   - C:\users\<user>\Desktop\やった! 50% & ^ 十\   "!", "%", "&", "^"
#   - \\localhost\kit\共有フォルダー\   a UNC path
#   - C:\users\<user>\Downloads\山田\ under code page 1252, where Japanese is
#     outside the ANSI code page
#   - a copy with one test program removed, which must be reported as a
#     failure (two programs only, to keep it short);
#   - a copy running the dialog tests while a helper (thread_noise.exe)
#     starts and ends threads inside its dozemark.exe all the time, as
#     Windows' own components do in every GUI process.
# The runs of one prefix go side by side, as a Wine suite mostly waits.
# Afterwards no dozemark.exe may be left running.
#
# Run after scripts/release.sh, which packs the kit, and after the Windows
# tests of the released toolchain (Clang), whose CTest output test.sh keeps
# in build/windows-clang/ctest-output.txt.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$root/build/windows-clang
kit=$(ls "$root"/build/dist/dozemark-*-win64-tests.zip)
runs=$root/build/kit-runs
ctest --preset windows-clang --show-only=json-v1 >"$build/ctest-tests.json"
rm -rf "$runs"
mkdir -p "$runs"

# Wine takes its code page from the Unix locale: both are built into the
# build tree, so that nothing of the system's is changed.
export LOCPATH=$root/build/locale
mkdir -p "$LOCPATH"
for locale in ja_JP en_US; do
    [ -d "$LOCPATH/$locale.UTF-8" ] || localedef -i "$locale" -f UTF-8 "$LOCPATH/$locale.UTF-8" || true
done
# As on Windows: none of the settings CTest gives some tests.
unset WINEDLLOVERRIDES
export WINEDEBUG=-all

# unpack FOLDER [PROGRAM_TO_REMOVE]
unpack() {
    mkdir -p "$1"
    /usr/bin/python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$kit" "$1"
    [ -z "${2:-}" ] || rm "$1/tests/$2.exe"
}

# run NAME FOLDER SCRIPT [PROGRAM...]: runs the kit with Wine's cmd from
# FOLDER (where a double-click starts it), SCRIPT being run-tests.cmd or its
# path, and keeps what it prints and its exit code under build/kit-runs.
run() {
    local name=$1 folder=$2 script=$3 status=0
    shift 3
    (cd "$folder" && wine cmd /c "$script" "$@") </dev/null >"$runs/$name.out" 2>&1 || status=$?
    echo "$status" >"$runs/$name.status"
}

# check NAME FOLDER WHERE CODE_PAGE [--missing PROGRAM] [PROGRAM...]
check() {
    local name=$1 folder=$2 where=$3 code_page=$4
    shift 4
    echo "== $name: $where"
    tr -d '\r' <"$runs/$name.out" | iconv -f "CP$code_page" -t UTF-8 |
        grep -E '^[a-z_]+: [0-9]+ passed|passed, [0-9]+ failed|^expected:|^not a|^Microsoft' || true
    /usr/bin/python3 "$root/scripts/check_kit_run.py" "$build/ctest-output.txt" "$build/ctest-tests.json" \
        "$folder" "$(cat "$runs/$name.status")" "$code_page" "$@"
}

# prefix NAME LOCALE: a Wine prefix made with the locale; prints its path.
prefix() {
    local path=$root/build/kit-prefix-$1
    LANG=$2 LC_ALL=$2 "$root/cmake/wine-prefix.sh" "$path" >&2
    echo "$path"
}

ja=$(prefix ja ja_JP.UTF-8)
en=$(prefix en en_US.UTF-8)
user=$(basename "$(ls -d "$ja/drive_c/users/"* | grep -v '/Public$' | head -n 1)")
enUser=$(basename "$(ls -d "$en/drive_c/users/"* | grep -v '/Public$' | head -n 1)")

downloads="$ja/drive_c/users/$user/ダウンロード/山田 太郎 (1)"
schedule="$ja/drive_c/users/$user/Documents/予定表"
marks="$ja/drive_c/users/$user/Desktop/やった! 50% & ^ 十"
share="$runs/share"
unc="$share/共有フォルダー"
western="$en/drive_c/users/$enUser/Downloads/山田"
removed="$ja/drive_c/users/$user/Downloads/removed"
noisy="$ja/drive_c/users/$user/Downloads/thread noise"
# cmake/wine-prefix.sh makes these folders the prefix's own.
for folder in "$downloads" "$schedule" "$marks" "$western" "$removed" "$noisy"; do
    case "$(realpath -m "$folder")" in
        "$root"/build/*) ;;
        *) echo "FAIL $folder lies outside the build tree"; exit 1 ;;
    esac
done
rm -rf "$downloads" "$schedule" "$marks" "$western" "$removed" "$noisy" "$ja/dosdevices/unc"
mkdir -p "$ja/dosdevices/unc/localhost" "$share"
ln -s "$share" "$ja/dosdevices/unc/localhost/kit"
for folder in "$downloads" "$schedule" "$marks" "$unc" "$western" "$noisy"; do
    unpack "$folder"
done
unpack "$removed" resources_wine_tests
echo "unpacked $(basename "$kit") into seven folders"

windows() {
    echo "C:\\${1#*/drive_c/}" | tr / '\\'
}

started=$(date +%s)
# The runs go on inside xvfb-run, which passes no shell function on.
runner="runs=$runs; $(declare -f run)"
LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 WINEPREFIX=$ja xvfb-run -a -s "-screen 0 1024x768x24" bash -c "$runner"'
    wine cmd /c exit </dev/null >/dev/null 2>&1
    kits=()
    run downloads "$1" run-tests.cmd & kits+=($!)
    run schedule "$2" run-tests.cmd & kits+=($!)
    run marks "$3" run-tests.cmd & kits+=($!)
    run unc / "\\\\localhost\\kit\\共有フォルダー\\run-tests.cmd" & kits+=($!)
    run removed "$4" run-tests.cmd resources_wine_tests measure_wine_tests & kits+=($!)
    touch "$WINEPREFIX/drive_c/thread-noise-on"
    wine "$6" "C:\\thread-noise-on" "$7" >"$runs/thread-noise.out" 2>&1 &
    noise=$!
    run noise "$5" run-tests.cmd dialog_e2e_tests
    rm -f "$WINEPREFIX/drive_c/thread-noise-on"
    wait $noise "${kits[@]}"' ja "$downloads" "$schedule" "$marks" "$removed" "$noisy" \
    "$build/tests/thread_noise.exe" "$(windows "$noisy")" &
japanese=$!
LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 WINEPREFIX=$en xvfb-run -a -s "-screen 0 1024x768x24" bash -c "$runner"'
    wine cmd /c exit </dev/null >/dev/null 2>&1
    run western "$1" run-tests.cmd' en "$western" &
western_run=$!
wait $japanese $western_run || true
echo "the runs took $(($(date +%s) - started)) s"
tr -d '\r' <"$runs/thread-noise.out"

status=0
check downloads "$downloads" "$(windows "$downloads")" 932 || status=1
check schedule "$schedule" "$(windows "$schedule")" 932 || status=1
check marks "$marks" "$(windows "$marks")" 932 || status=1
check unc "$unc" '\\localhost\kit\共有フォルダー' 932 || status=1
check western "$western" "$(windows "$western")" 1252 || status=1
check removed "$removed" "$(windows "$removed"), resources_wine_tests removed" 932 \
    --missing resources_wine_tests resources_wine_tests measure_wine_tests || status=1
check noise "$noisy" "$(windows "$noisy"), with thread noise" 932 dialog_e2e_tests || status=1

# Every program a test started has been ended.
sleep 2
if left=$(ps -eo stat=,pid=,args= | grep -v '^Z' | grep 'dozemark\.exe' | grep -v grep); then
    echo "FAIL still running after the kit: $left"
    status=1
fi
for path in "$ja" "$en"; do
    WINEPREFIX=$path wineserver -k 2>/dev/null || true
done
exit $status
