# Tests built for Windows; CTest runs them under Wine.

# The main of every test program (results written through wide paths, a
# time limit per test, nothing started left running, the PC kept awake),
# and the record of the programs the tests start.
add_library(test_program STATIC wine/test_program_main.cpp wine/started_processes.cpp)
target_include_directories(test_program PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(test_program PUBLIC GTest::gtest)
if(MINGW)
    target_link_options(test_program INTERFACE -municode)
endif()
dozemark_warnings(test_program)

# dozemark_wine_test(NAME SOURCES... [LIBRARIES...] [NEEDS_PROGRAM])
# One GoogleTest program, each of its tests a CTest test with a time-out;
# what a system cannot show is reported as skipped, not as passed.
function(dozemark_wine_test name)
    cmake_parse_arguments(ARG "NEEDS_PROGRAM" "" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} test_program)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    if(ARG_NEEDS_PROGRAM)
        add_dependencies(${name} dozemark)
    endif()
    dozemark_warnings(${name})
    gtest_add_tests(TARGET ${name} TEST_LIST tests)
    set_tests_properties(${tests} PROPERTIES TIMEOUT 120 SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
    list(LENGTH tests count)
    set_property(GLOBAL APPEND PROPERTY DOZEMARK_TEST_PROGRAMS ${name})
    set_property(GLOBAL APPEND PROPERTY DOZEMARK_TEST_COUNTS "${name} ${count}")
    set(${name}_TESTS ${tests} PARENT_SCOPE)
endfunction()

# Starts the real program and works its windows from outside.
add_library(dialog_driver STATIC e2e/dialog_driver.cpp)
target_include_directories(dialog_driver PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(dialog_driver PUBLIC test_program)
dozemark_warnings(dialog_driver)

dozemark_wine_test(measure_wine_tests SOURCES wine/measure_sleep_test.cpp LIBRARIES dozemark_win32)
dozemark_wine_test(resources_wine_tests SOURCES wine/resources_test.cpp LIBRARIES version NEEDS_PROGRAM)
# The version the program was built with, from the header CMake made.
target_include_directories(resources_wine_tests PRIVATE ${CMAKE_BINARY_DIR}/resources)
dozemark_wine_test(dialog_e2e_tests SOURCES e2e/dialog_e2e_test.cpp LIBRARIES dialog_driver NEEDS_PROGRAM)
set_tests_properties(DialogTest.SeventyFiveSecondsRunsForSixty PROPERTIES LABELS slow)
dozemark_wine_test(hardening_e2e_tests SOURCES e2e/hardening_e2e_test.cpp LIBRARIES dialog_driver psapi
    NEEDS_PROGRAM)
set_tests_properties(DialogTest.ThirtyRunsKeepHandlesAndMemoryFlat PROPERTIES LABELS soak)
# Wine's own switch for a DLL that cannot be loaded at all.
set_tests_properties(DialogTest.RunWithoutWinmmSaysSoAndKeepsTheDialog PROPERTIES ENVIRONMENT "WINEDLLOVERRIDES=winmm=d")

# DLL planting: a decoy winmm.dll, a control program that imports winmm at
# load time, and the test that plants the decoy beside each.
add_library(decoy_winmm SHARED planting/decoy_winmm.cpp)
set_target_properties(decoy_winmm PROPERTIES PREFIX "")
add_executable(static_winmm_control planting/static_winmm_control.cpp)
target_link_libraries(static_winmm_control PRIVATE winmm)
dozemark_wine_test(dll_planting_tests SOURCES planting/dll_planting_test.cpp LIBRARIES dialog_driver
    NEEDS_PROGRAM)
add_dependencies(dll_planting_tests decoy_winmm static_winmm_control)
# Under Wine, prefer a native copy of the planted DLL wherever one is found,
# as Windows does with any DLL that is not a KnownDLL. A test that needs the
# setting skips itself under Wine without it.
set_tests_properties(DllPlanting.ControlProgramWithStaticWinmmLoadsThePlant DllPlanting.DozemarkNeverLoadsThePlant
    DllPlanting.FirstRunWithoutTimerPeriodNeverLoadsThePlant PROPERTIES ENVIRONMENT "WINEDLLOVERRIDES=winmm=n,b")
set_tests_properties(DllPlanting.DialogNeverLoadsAPlantedThemeDll PROPERTIES ENVIRONMENT
    "WINEDLLOVERRIDES=uxtheme=n,b")

# The test kit that runs on Windows without CMake (scripts/release.sh packs
# it): every test program and what the tests need beside them, listed in
# test-kit-files.txt. In the kit they lie in tests\, and the program in the
# folder above, where the tests look for it. tests\programs.txt names each
# test program with the number of its tests, so that the kit knows what it
# should have run.
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

# Not a test: the run command uses it to show the program without a display.
add_executable(screenshot_tour e2e/screenshot_tour.cpp)
target_link_libraries(screenshot_tour PRIVATE dialog_driver)
if(MINGW)
    target_link_options(screenshot_tour PRIVATE -municode)
endif()
add_dependencies(screenshot_tour dozemark)
dozemark_warnings(screenshot_tour)

# Not a test either: the test kit's check runs it beside the dialog tests.
add_executable(thread_noise e2e/thread_noise.cpp)
if(MINGW)
    target_link_options(thread_noise PRIVATE -municode)
endif()
dozemark_warnings(thread_noise)
