#!/usr/bin/env bash
# Runs the test kit as a Windows user would, where it used to go wrong:
# unpacked into folders whose names have tripped it up, inside a Wine
# prefix made with a Japanese locale (code page 932) and one made with a
# Western one (code page 1252), run with Wine's cmd, and checked against the
# CTest run of the same programs (scripts/check_kit_run.py).
#
# The whole kit runs once, in the Japanese prefix, while a person is at the
# keyboard of the user's desktop (tools/input_noise.exe presses Space,
# Enter and Esc, and has put a text on the clipboard, which must be there
# again afterwards) and while Windows' own components start and end threads
# in every dozemark.exe from its first run on a thread of its own
# (tools/thread_noise.exe):
#   - C:\users\<user>\ダウンロード\山田 太郎 (1)\    Japanese, a space, "(1)"
# Beside it, one run after another, the kit runs its two short programs
# (tests of the measurement and of the resources, which read the exe by its
# path and write their results through it) where a folder's name is what
# is tried, and its resources and soak tests in the Western prefix:
#   - C:\users\<user>\Documents\予定表\   a name ending in 表, whose
#     second byte in code page 932 is the code of '\'; started with
#     /nopause, which must not be taken for a program's name
#   - C:\users\<user>\Desktop\やった! 50% & ^ 十\   "!", "%", "&", "^"
#   - \\localhost\kit\共有フォルダー\   a UNC path
#   - a copy with one test program removed, which must be reported as a
#     failure;
#   - C:\users\<user>\Downloads\山田\ under code page 1252, where Japanese is
#     outside the ANSI code page; 20 s into it, a second kit in the same
#     folder must refuse to start;
#   - run-tests.cmd alone, as Explorer starts it from inside the zip: it
#     must say to extract the zip first;
#   - the minute-long test, its test program ended from outside (taskkill
#     /F): no dozemark.exe may be left.
# So at most two kits run at once. Afterwards no dozemark.exe may be left
# running.
#
# Run after scripts/release.sh, which packs the kit, and after the Windows
# tests of the released toolchain (Clang), whose results test.sh keeps in
# CTest's JUnit form in build/junit/windows-clang.xml.
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
short=(resources_tests measure_tests)

# unpack FOLDER [PROGRAM_TO_REMOVE]
unpack() {
    mkdir -p "$1"
    /usr/bin/python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$kit" "$1"
    [ -z "${2:-}" ] || rm "$1/tests/$2.exe"
}

# display NAME: starts an X display of its own (Xvfb picks a free one, so
# that displays started at once never clash), prints its number, and keeps
# the server's pid in $runs/NAME.server.
display() {
    rm -f "$runs/$1.display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 3>"$runs/$1.display" >/dev/null 2>&1 &
    echo $! >"$runs/$1.server"
    for _ in $(seq 100); do
        [ -s "$runs/$1.display" ] && break
        sleep 0.1
    done
    cat "$runs/$1.display"
}

# run NAME FOLDER SCRIPT [ARGUMENT...]: runs the kit with Wine's cmd from
# FOLDER (where a double-click starts it), SCRIPT being run-tests.cmd or its
# path, and keeps what it prints and its exit code under build/kit-runs.
# Each run has an X display of its own: Wine draws each desktop into an X
# window, and those of one display cover one another, so that a test
# reading its desktop's pixels would read another's.
run() {
    local name=$1 folder=$2 script=$3 status=0 number
    shift 3
    number=$(display "$name")
    (cd "$folder" && DISPLAY=:$number wine cmd /c "$script" "$@") </dev/null >"$runs/$name.out" 2>&1 || status=$?
    kill "$(cat "$runs/$name.server")"
    echo "$status" >"$runs/$name.status"
}

# check NAME FOLDER WHERE CODE_PAGE [--missing PROGRAM] [PROGRAM...]
check() {
    local name=$1 folder=$2 where=$3 code_page=$4
    shift 4
    echo "== $name: $where"
    tr -d '\r' <"$runs/$name.out" | iconv -f "CP$code_page" -t UTF-8 |
        grep -E '^[a-z_]+: [0-9]+ passed|passed, [0-9]+ failed|^expected:|^not a|^Microsoft' || true
    /usr/bin/python3 "$root/scripts/check_kit_run.py" "$root/build/junit/windows-clang.xml" "$build/ctest-tests.json" \
        "$folder" "$(cat "$runs/$name.status")" "$code_page" "$@"
}

# prefix NAME LOCALE: a Wine prefix made with the locale; prints its path.
prefix() {
    local path=$root/build/kit-prefix-$1
    LANG=$2 LC_ALL=$2 "$root/scripts/wine-prefix.sh" "$path" >&2
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
removed="$ja/drive_c/users/$user/Downloads/removed"
western="$en/drive_c/users/$enUser/Downloads/山田"
lone="$en/drive_c/users/$enUser/AppData/Local/Temp/Temp1_$(basename "$kit")"
killed="$en/drive_c/users/$enUser/Downloads/killed"
# scripts/wine-prefix.sh makes these folders the prefix's own.
for folder in "$downloads" "$schedule" "$marks" "$removed" "$western" "$lone" "$killed"; do
    case "$(realpath -m "$folder")" in
        "$root"/build/*) ;;
        *) echo "FAIL $folder lies outside the build tree"; exit 1 ;;
    esac
done
rm -rf "$downloads" "$schedule" "$marks" "$removed" "$western" "$lone" "$killed" "$ja/dosdevices/unc"
mkdir -p "$ja/dosdevices/unc/localhost" "$share"
ln -s "$share" "$ja/dosdevices/unc/localhost/kit"
for folder in "$downloads" "$schedule" "$marks" "$unc" "$western" "$killed"; do
    unpack "$folder"
done
unpack "$removed" resources_tests
mkdir -p "$lone"
cp "$root/tests/kit/run-tests.cmd" "$lone/"
echo "unpacked $(basename "$kit") into seven folders"

windows() {
    echo "C:\\${1#*/drive_c/}" | tr / '\\'
}

started=$(date +%s)
# Each prefix's runs go on in a shell of their own, on a display of their
# own (the user's desktop); the Western prefix's begin when the Japanese
# folders' short runs are over.
runner="runs=$runs; short=(${short[*]}); $(declare -f display run)"
LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 WINEPREFIX=$ja bash -c "$runner"'
    export DISPLAY=:$(display ja)
    wine cmd /c exit </dev/null >/dev/null 2>&1
    touch "$WINEPREFIX/drive_c/noise-on"
    wine "$6" "C:\\noise-on" >"$runs/input-noise.out" 2>&1 &
    keys=$!
    wine "$5" "C:\\noise-on" "$7" >"$runs/thread-noise.out" 2>&1 &
    threads=$!
    run downloads "$1" run-tests.cmd &
    whole=$!
    run schedule "$2" run-tests.cmd /nopause "${short[@]}"
    run marks "$3" run-tests.cmd "${short[@]}"
    run unc / "\\\\localhost\\kit\\共有フォルダー\\run-tests.cmd" "${short[@]}"
    run removed "$4" run-tests.cmd "${short[@]}"
    touch "$runs/short-runs-done"
    wait $whole
    rm -f "$WINEPREFIX/drive_c/noise-on"
    wait $keys $threads
    kill "$(cat "$runs/ja.server")"' ja "$downloads" "$schedule" "$marks" "$removed" \
    "$build/tools/thread_noise.exe" "$build/tools/input_noise.exe" "$(windows "$downloads")" &
japanese=$!
LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 WINEPREFIX=$en bash -c "$runner"'
    export DISPLAY=:$(display en)
    wine cmd /c exit </dev/null >/dev/null 2>&1
    for _ in $(seq 900); do
        [ -e "$runs/short-runs-done" ] && break
        sleep 1
    done
    run western "$1" run-tests.cmd "${short[@]}" hardening_e2e_tests &
    first=$!
    sleep 20
    run second "$1" run-tests.cmd
    wait $first
    run lone "$2" run-tests.cmd
    # The minute-long test, its program ended from outside once the test
    # has started dozemark.exe.
    # Its output goes to a file of its own: opened with ">", it writes at
    # its own position, over lines appended to the file after it.
    (cd "$3/tests" && exec wine dialog_e2e_tests.exe --gtest_filter=DialogTest.SeventyFiveSecondsRunsForSixty) \
        >"$runs/killed-test.out" 2>&1 &
    test=$!
    : >"$runs/killed.out"
    for tick in $(seq 120); do
        pgrep -f "[k]illed.dozemark\.exe" >/dev/null && break
        sleep 1
    done
    sleep 5
    pgrep -fa "[k]illed.dozemark\.exe" | sed "s/^/running before: /" >>"$runs/killed.out" || true
    # taskkill under Wine can miss a process whose module list it cannot read at
    # that moment: while the test program still runs 10 s after taskkill,
    # run taskkill again, up to three times.
    for attempt in 1 2 3; do
        wine taskkill /F /IM dialog_e2e_tests.exe >>"$runs/killed.out" 2>&1
        for tick in $(seq 10); do
            if ! kill -0 "$test" 2>/dev/null; then
                echo "the test program ended after taskkill $attempt" >>"$runs/killed.out"
                break 2
            fi
            sleep 1
        done
        echo "taskkill $attempt: the test program still runs" >>"$runs/killed.out"
    done
    sleep 5
    pgrep -fa "[k]illed.dozemark\.exe" | sed "s/^/still running: /" >>"$runs/killed.out" || true
    wait
    kill "$(cat "$runs/en.server")"' en "$western" "$lone" "$killed" &
western_run=$!
wait $japanese $western_run || true
echo "the runs took $(($(date +%s) - started)) s"
tr -d '\r' <"$runs/thread-noise.out"
tr -d '\r' <"$runs/input-noise.out"

status=0
check downloads "$downloads" "$(windows "$downloads"), with a person at the keyboard and thread noise" 932 || status=1
check schedule "$schedule" "$(windows "$schedule"), with /nopause" 932 "${short[@]}" || status=1
check marks "$marks" "$(windows "$marks")" 932 "${short[@]}" || status=1
check unc "$unc" '\\localhost\kit\共有フォルダー' 932 "${short[@]}" || status=1
check removed "$removed" "$(windows "$removed"), resources_tests removed" 932 \
    --missing resources_tests "${short[@]}" || status=1
check western "$western" "$(windows "$western")" 1252 "${short[@]}" hardening_e2e_tests || status=1

# The clipboard the person had: read and put back from the user's desktop.
echo "== the clipboard, as the paste test left it"
tr -d '\r' <"$downloads/results/hardening_e2e_tests.txt" | grep '^the clipboard:' || true
if ! grep -q 'the text it copied is on the clipboard again' "$runs/input-noise.out"; then
    echo "FAIL the text input_noise.exe copied on the user's desktop is not on the clipboard after the kit"
    status=1
fi

# expect NAME STATUS TEXT: the run ended with STATUS and printed TEXT.
expect() {
    local said
    said=$(tr -d '\r' <"$runs/$1.out")
    echo "== $1: $said"
    if [ "$(cat "$runs/$1.status")" != "$2" ] || ! grep -qF -- "$3" <<<"$said"; then
        echo "FAIL $1: exit code $(cat "$runs/$1.status"), expected $2 and \"$3\""
        status=1
    fi
}
expect second 1 "another run-tests.cmd is running in this folder"
expect lone 1 "extract all of the zip first"
echo "== killed: the test program ended with taskkill /F inside its minute-long test"
tr -d '\r' <"$runs/killed.out"
# Ended by taskkill, not at the end of its test, which GoogleTest's closing
# line would show.
if ! grep -q '^running before' "$runs/killed.out" || ! grep -q 'terminated' "$runs/killed.out" ||
    ! grep -q '^the test program ended after taskkill' "$runs/killed.out" ||
    grep -qE '^\[  (PASSED|FAILED)  \]' "$runs/killed-test.out" || grep -q '^still running' "$runs/killed.out"; then
    echo "FAIL killed: dozemark.exe did not run before, or taskkill did not end its test program, or dozemark.exe still runs after; the test program said:"
    tr -d '\r' <"$runs/killed-test.out"
    status=1
fi

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
