# The release archive and, in a build with the tests, the test kit, with
# their SHA256SUMS, in <build>/dist:
#   cmake --build <build> --target dist
# cmake/PackArchives.cmake says what they hold; scripts/release.sh checks
# that two builds give the same bytes. They are packed afresh every time:
# their time stamp is the commit's, which no file in the build depends on.
find_package(Python3 COMPONENTS Interpreter)
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
