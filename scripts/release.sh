#!/usr/bin/env bash
# Builds the release exe twice from scratch, in two different folders, with
# each Windows toolchain; checks that both builds are byte-identical,
# stripped, at most 1 MiB and import nothing but KnownDLLs, and that the GCC
# exe is within 64 KiB of its floor (a wide string stream and a message box,
# bench/size_floor.cpp, built the same way); prints the SHA-256 and sizes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
limit=$((1024 * 1024))
overFloor=$((64 * 1024))
status=0

for toolchain in gcc clang; do
    preset=release-windows-$toolchain
    exes=()
    for copy in a b; do
        dir="$root/build/$preset-$copy"
        rm -rf "$dir"
        cmake --preset "$preset" -B "$dir" >/dev/null
        cmake --build "$dir" --target dozemark size_floor >/dev/null
        exes+=("$dir/dozemark.exe")
    done
    sum=$(sha256sum "${exes[0]}" | cut -d' ' -f1)
    size=$(stat -c %s "${exes[0]}")
    floor=$(stat -c %s "$root/build/$preset-a/size_floor.exe")
    imports=$(x86_64-w64-mingw32-objdump -p "${exes[0]}" | sed -n 's/^\tDLL Name: //p' | tr '\n' ' ')
    echo "$toolchain: dozemark.exe sha256 $sum, $size bytes ($((size - floor)) over the floor of $floor), imports: $imports"
    if ! cmp -s "${exes[0]}" "${exes[1]}"; then
        echo "FAIL $toolchain: two builds of the same sources differ"
        status=1
    fi
    if [ "$size" -gt "$limit" ]; then
        echo "FAIL $toolchain: $size bytes is over 1 MiB"
        status=1
    fi
    if [ "$toolchain" = gcc ] && [ $((size - floor)) -gt "$overFloor" ]; then
        echo "FAIL $toolchain: $((size - floor)) bytes over the floor, more than 64 KiB"
        status=1
    fi
    if x86_64-w64-mingw32-objdump -h "${exes[0]}" | grep -q '\.debug\|\.symtab'; then
        echo "FAIL $toolchain: not stripped"
        status=1
    fi
    for dll in $imports; do
        case "${dll,,}" in
            kernel32.dll | user32.dll | msvcrt.dll | gdi32.dll | advapi32.dll) ;;
            *) echo "FAIL $toolchain: imports $dll at load time"; status=1 ;;
        esac
    done
done
exit $status
