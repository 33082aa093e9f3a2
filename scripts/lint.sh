#!/usr/bin/env bash
# Static analysis of every source: clang-tidy (checks in .clang-tidy) and
# cppcheck. Fails on any finding.
#
# cppcheck suppressions, and why:
# - constParameter in tests: the fakes must match the OS-call table's
#   signatures, which take non-const pointers as the Windows API does;
# - useStlAlgorithm: a plain loop reads better than the algorithm it names
#   in the few places it fires;
# - missingIncludeSystem: the system and Windows headers are not analysed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

"$root/scripts/install-deps.sh"

# The compile commands of the Clang builds, native and for Windows.
cmake --preset native-clang >/dev/null
cmake --preset windows-clang >/dev/null

native=$(git ls-files 'measure/*.cpp' 'report/*.cpp' 'ui/*.cpp' 'tests/native/*.cpp' 'bench/*.cpp' \
    'resources/icon/*.cpp' | grep -v -e '_win32\.cpp$' -e '^ui/main\.cpp$')
windows=$(git ls-files '*_win32.cpp' 'ui/main.cpp' 'tools/*.cpp' 'tests/harness/*.cpp' 'tests/windows/*.cpp' \
    'tests/e2e/*.cpp' 'tests/planting/*.cpp')

# One file per clang-tidy, two at a time; any finding fails the command.
tidy() {
    local database=$1
    shift
    # Clang's count of the warnings it hid in system headers is only noise.
    { printf '%s\n' "$@" | xargs -P 2 -n 1 clang-tidy --quiet -p "$database"; } 2>&1 |
        { grep -v 'warnings\? generated\.$' || true; }
}
echo "== clang-tidy, native sources"
tidy build/native-clang $native
echo "== clang-tidy, Windows sources (Clang for x86_64-w64-mingw32)"
tidy build/windows-clang $windows

echo "== cppcheck"
cppcheck --enable=warning,style,performance,portability --std=c++17 --inline-suppr --quiet \
    --error-exitcode=1 -I . \
    --suppress='constParameter:tests/*' --suppress=useStlAlgorithm --suppress=missingIncludeSystem \
    measure report ui tests bench tools resources/icon
echo "lint: no findings"
