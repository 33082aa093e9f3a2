# The release archive and, in a build with the tests, the test kit, with
# their SHA256SUMS, in <build>/dist:
#   cmake --build <build> --target dist
# cmake/PackArchives.cmake says what they hold; scripts/release.sh checks
# that two builds give the same bytes. They are packed afresh every time:
# their time stamp is the commit's, which no file in the build depends on.
find_package(Python3 COMPONENTS Interpreter)

# The test kit, which runs on Windows without CMake: every Windows test
# program (tests/windows/WindowsTests.cmake registers them) and what they
# need beside them, listed in test-kit-files.txt. In the kit they lie in
# tests\, and the program in the folder above, where the tests look for it.
# tests\programs.txt names each test program with the number of its tests,
# so that the kit knows what it should have run, and about how many seconds
# it takes.
if(DOZEMARK_TESTS)
    get_property(kitTargets GLOBAL PROPERTY DOZEMARK_TEST_PROGRAMS)
    get_property(kitCounts GLOBAL PROPERTY DOZEMARK_TEST_COUNTS)
    list(APPEND kitTargets decoy_winmm static_winmm_control)
    add_custom_target(test_kit)
    add_dependencies(test_kit dozemark ${kitTargets})
    set(kitFiles "")
    foreach(target IN LISTS kitTargets)
        list(APPEND kitFiles "$<TARGET_FILE:${target}>")
    endforeach()
    file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/test-kit-files.txt CONTENT "$<JOIN:${kitFiles},\n>\n")
    list(JOIN kitCounts "\n" kitCounts)
    file(WRITE ${CMAKE_BINARY_DIR}/test-kit-programs.txt "${kitCounts}\n")
endif()
add_custom_target(dist
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR} -DBUILD=${CMAKE_BINARY_DIR}
        -DVERSION=${PROJECT_VERSION} -DPYTHON=${Python3_EXECUTABLE} -DEXE=$<TARGET_FILE:dozemark>
        -DKIT=${DOZEMARK_TESTS} -P ${CMAKE_CURRENT_LIST_DIR}/PackArchives.cmake
    COMMENT "Packing the archives in dist/"
    VERBATIM)
add_dependencies(dist dozemark)
if(DOZEMARK_TESTS)
    add_dependencies(dist test_kit)
endif()
