#!/usr/bin/env bash
# Builds the release exe twice from scratch, in two different folders, with
# each Windows toolchain; checks that both builds are byte-identical, stripped,
# at most 1 MiB and import nothing but KnownDLLs; prints the SHA-256 and size.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${DOZEMARK_BUILD_DIR:-$root/build}
limit=$((1024 * 1024))
status=0

for toolchain in mingw-w64-x86_64 clang-mingw-w64-x86_64; do
    exes=()
    for copy in a b; do
        dir="$build/release-$toolchain-$copy"
        rm -rf "$dir"
        cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDOZEMARK_TESTS=OFF \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" >/dev/null
        cmake --build "$dir" --target dozemark >/dev/null
        exes+=("$dir/dozemark.exe")
    done
    sum=$(sha256sum "${exes[0]}" | cut -d' ' -f1)
    size=$(stat -c %s "${exes[0]}")
    imports=$(x86_64-w64-mingw32-objdump -p "${exes[0]}" | sed -n 's/^\tDLL Name: //p' | tr '\n' ' ')
    echo "$toolchain: dozemark.exe sha256 $sum, $size bytes, imports: $imports"
    if ! cmp -s "${exes[0]}" "${exes[1]}"; then
        echo "FAIL $toolchain: two builds of the same sources differ"
        status=1
    fi
    if [ "$size" -gt "$limit" ]; then
        echo "FAIL $toolchain: $size bytes is over 1 MiB"
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
