#!/usr/bin/env bash
# Builds the release twice from scratch, in two different folders, with each
# Windows toolchain, and checks that:
# - both builds of the exe are byte-identical, stripped, at most 1 MiB, and
#   import nothing but KnownDLLs;
# - each exe is within 64 KiB (and the version resource) of its floor, a
#   wide string stream and a message box (tools/size_floor.cpp) built the
#   same way;
# - both exes have the hardening properties that their toolchain can give
#   (scripts/check_hardening.py reads them from the PE headers).
# The Clang exe is the one released: smaller, and CET-compatible. Each of
# the two Clang builds packs the release archive and the test kit (whose
# test programs come from the same build) with its dist target
# (cmake/Package.cmake); the script checks that both builds give the same
# archives, that they hold the files they must hold and that the kit's
# dozemark.exe is the archive's, and copies them with SHA256SUMS to
# build/dist.
# What is left here is what no one build can do: compare two builds, and
# hold the exe to its limits.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
limit=$((1024 * 1024))
# The version resource adds 736 bytes to .rsrc.
overFloor=$((64 * 1024 + 736))
released=clang
status=0
hardening=()

# quietly COMMAND...: runs it, and shows what it printed only if it fails.
quietly() {
    local output
    if ! output=$("$@" 2>&1); then
        printf '%s\n' "$output" | tail -n 40
        echo "FAIL: $*"
        return 1
    fi
}

for toolchain in clang gcc; do
    preset=release-windows-$toolchain
    exes=()
    for copy in a b; do
        dir="$root/build/$preset-$copy"
        rm -rf "$dir"
        if [ "$toolchain" = "$released" ]; then
            # The test programs too, for the test kit.
            quietly cmake --preset "$preset" -B "$dir" -DDOZEMARK_TESTS=ON
            quietly cmake --build "$dir" --target dozemark size_floor dist
        else
            quietly cmake --preset "$preset" -B "$dir"
            quietly cmake --build "$dir" --target dozemark size_floor
        fi
        exes+=("$dir/dozemark.exe")
    done
    sum=$(sha256sum "${exes[0]}" | cut -d' ' -f1)
    size=$(stat -c %s "${exes[0]}")
    floor=$(stat -c %s "$root/build/$preset-a/size_floor.exe")
    imports=$(x86_64-w64-mingw32-objdump -p "${exes[0]}" | sed -n 's/^\tDLL Name: //p' | tr '\n' ' ')
    role=$([ "$toolchain" = "$released" ] && echo "released" || echo "second compiler")
    echo "$toolchain ($role): dozemark.exe sha256 $sum, $size bytes ($((size - floor)) over the floor of $floor), imports: $imports"
    if ! cmp -s "${exes[0]}" "${exes[1]}"; then
        echo "FAIL $toolchain: two builds of the same sources differ"
        status=1
    fi
    if [ "$size" -gt "$limit" ]; then
        echo "FAIL $toolchain: $size bytes is over 1 MiB"
        status=1
    fi
    if [ $((size - floor)) -gt "$overFloor" ]; then
        echo "FAIL $toolchain: $((size - floor)) bytes over the floor, more than $overFloor"
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
    hardening+=("$toolchain" "${exes[0]}" "$root/build/$preset-a")
done

echo "hardening, read from the PE headers:"
/usr/bin/python3 "$root/scripts/check_hardening.py" "${hardening[@]}" || status=1

# The archives, as each Clang build's dist target packed them
# (cmake/Package.cmake).
build=$root/build/release-windows-$released
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build-a/CMakeCache.txt")
release=dozemark-$version-win64.zip
kit=dozemark-$version-win64-tests.zip
dist=$root/build/dist
rm -rf "$dist"
mkdir -p "$dist"
for file in "$release" "$kit" SHA256SUMS; do
    if ! cmp -s "$build-a/dist/$file" "$build-b/dist/$file"; then
        echo "FAIL $file: two builds of the same sources differ"
        status=1
    fi
    cp "$build-a/dist/$file" "$dist/" || status=1
done

# names ZIP: the archive's entries, one a line.
names() {
    cmake -E tar tf "$dist/$1" 2>/dev/null || true
}
# expect ZIP NAME...: fails unless the archive holds every NAME.
expect() {
    local archive=$1 held name
    shift
    held=$(names "$archive")
    for name in "$@"; do
        grep -qx -- "$name" <<<"$held" || { echo "FAIL $archive: no $name"; status=1; }
    done
}
expect "$release" dozemark.exe LICENSE.txt README.txt
mapfile -t programs < <(sed 's|.*/|tests/|' "$build-a/test-kit-files.txt")
expect "$kit" dozemark.exe LICENSE.txt run-tests.cmd tests/programs.txt "${programs[@]}"
grep -q '^tests/.*_tests\.exe$' <<<"$(names "$kit")" || { echo "FAIL $kit: no test program"; status=1; }
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
for archive in "$release" "$kit"; do
    if ! (mkdir "$unpacked/$archive" && cd "$unpacked/$archive" && cmake -E tar xf "$dist/$archive" dozemark.exe) ||
        ! cmp -s "$unpacked/$archive/dozemark.exe" "$build-a/dozemark.exe"; then
        echo "FAIL $archive: its dozemark.exe is not the released one"
        status=1
    fi
done
for archive in "$release" "$kit"; do
    echo "$archive: $(stat -c %s "$dist/$archive") bytes, $(names "$archive" | tr '\n' ' ')"
done
cat "$dist/SHA256SUMS"
exit $status
