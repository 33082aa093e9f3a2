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
# The Clang exe is the one released: smaller, and CET-compatible. From each
# of the two Clang builds it packs the release archive and the test kit
# (whose test programs come from the same build), checks that both builds
# give the same archives, that they hold the files they must hold and that
# the kit's dozemark.exe is the archive's, and writes them with SHA256SUMS
# to build/dist.
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
            quietly cmake --build "$dir" --target dozemark size_floor test_kit
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

# The archives. Their time stamps are the commit's time, so that every
# build of one commit gives the same bytes.
build=$root/build/release-windows-$released
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build-a/CMakeCache.txt")
epoch=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)
release=dozemark-$version-win64.zip
kit=dozemark-$version-win64-tests.zip

# pack BUILD_DIR OUTPUT_FOLDER: both archives from one build.
pack() {
    local dir=$1 out=$2
    mkdir -p "$out"
    rm -f "$out"/*.zip "$out"/README.txt
    /usr/bin/python3 "$root/scripts/make_readme.py" "$root/docs/README.ja.md" "$root/docs/readme-english.txt" \
        "$version" "$out/README.txt"
    /usr/bin/python3 "$root/scripts/make_zip.py" "$out/$release" "$epoch" \
        "dozemark.exe=$dir/dozemark.exe" "LICENSE.txt=$root/LICENSE" "README.txt=$out/README.txt"
    local entries=("dozemark.exe=$dir/dozemark.exe" "LICENSE.txt=$root/LICENSE"
        "run-tests.cmd=$root/tests/kit/run-tests.cmd" "tests/programs.txt=$dir/test-kit-programs.txt")
    local file
    while read -r file; do
        entries+=("tests/$(basename "$file")=$file")
    done <"$dir/test-kit-files.txt"
    /usr/bin/python3 "$root/scripts/make_zip.py" "$out/$kit" "$epoch" "${entries[@]}"
}

# names ZIP: the archive's entries, one a line.
names() {
    /usr/bin/python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$1"
}

# entry ZIP NAME: the bytes of one entry.
entry() {
    /usr/bin/python3 -c 'import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))' \
        "$1" "$2"
}

dist=$root/build/dist
rm -rf "$dist"
for copy in a b; do
    pack "$build-$copy" "$build-$copy/dist"
done
mkdir -p "$dist"
for archive in "$release" "$kit"; do
    if ! cmp -s "$build-a/dist/$archive" "$build-b/dist/$archive"; then
        echo "FAIL $archive: two builds of the same sources differ"
        status=1
    fi
    cp "$build-a/dist/$archive" "$dist/"
done
# expect ZIP NAME...: fails unless the archive holds every NAME.
expect() {
    local archive=$1 held name
    shift
    held=$(names "$dist/$archive")
    for name in "$@"; do
        grep -qx -- "$name" <<<"$held" || { echo "FAIL $archive: no $name"; status=1; }
    done
}
expect "$release" dozemark.exe LICENSE.txt README.txt
expected=(dozemark.exe LICENSE.txt run-tests.cmd tests/programs.txt)
while read -r file; do
    expected+=("tests/$(basename "$file")")
done <"$build-a/test-kit-files.txt"
expect "$kit" "${expected[@]}"
grep -q '^tests/.*_tests\.exe$' <<<"$(names "$dist/$kit")" || { echo "FAIL $kit: no test program"; status=1; }
if ! cmp -s <(entry "$dist/$release" dozemark.exe) <(entry "$dist/$kit" dozemark.exe) ||
    ! cmp -s <(entry "$dist/$release" dozemark.exe) "$build-a/dozemark.exe"; then
    echo "FAIL the test kit's dozemark.exe is not the released one"
    status=1
fi
(cd "$dist" && sha256sum "$release" "$kit" >SHA256SUMS)
for archive in "$release" "$kit"; do
    echo "$archive: $(stat -c %s "$dist/$archive") bytes, $(names "$dist/$archive" | tr '\n' ' ')"
done
cat "$dist/SHA256SUMS"
exit $status
