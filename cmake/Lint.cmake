# The static analysis (the lint-native and lint-windows presets, which
# scripts/lint.sh builds): clang-tidy, with the checks in .clang-tidy, and
# cppcheck run beside the compiler on every C++ file that is compiled, so a
# new file is analysed as soon as a target builds it. Any finding fails
# that file's compile. GoogleTest is not ours, and is left out
# (CMakeLists.txt). scripts/lint.sh runs the same cppcheck once more
# over all those files together, for its cross-file checks.
#
# cppcheck is given each file's own defines and include folders, and checks
# every configuration of its #if branches (--force), not only the one those
# defines make: a Windows file's _WIN32 is the compiler's, which cppcheck
# does not know.
# Findings left out, and why:
# - constParameter in tests: the fakes must match the OS-call table's
#   signatures, which take non-const pointers as the Windows API does;
# - useStlAlgorithm: a plain loop reads better than the algorithm it names
#   in the few places it fires;
# - missingIncludeSystem: the system and Windows headers are not analysed.
find_program(DOZEMARK_CLANG_TIDY clang-tidy REQUIRED)
find_program(DOZEMARK_CPPCHECK cppcheck REQUIRED)
set(CMAKE_CXX_CLANG_TIDY ${DOZEMARK_CLANG_TIDY} --quiet)
set(DOZEMARK_CPPCHECK_COMMAND ${DOZEMARK_CPPCHECK} --enable=warning,style,performance,portability --std=c++17
    --force --inline-suppr --quiet --error-exitcode=1
    --suppress=constParameter:${PROJECT_SOURCE_DIR}/tests/* --suppress=useStlAlgorithm
    --suppress=missingIncludeSystem CACHE INTERNAL "cppcheck as the lint build runs it, for scripts/lint.sh too")
set(CMAKE_CXX_CPPCHECK ${DOZEMARK_CPPCHECK_COMMAND})
