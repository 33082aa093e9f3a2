# Tests built for Windows; CTest runs them under Wine, the test kit on Windows.

# The main every test program shares (tests/harness/test_program_main.cpp
# says what it adds), and the job its started programs run in.
add_library(test_program STATIC harness/test_program_main.cpp harness/started_programs.cpp)
target_include_directories(test_program PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(test_program PUBLIC GTest::gtest)
if(MINGW)
    target_link_options(test_program INTERFACE -municode)
endif()
dozemark_warnings(test_program)

# dozemark_windows_test(NAME SECONDS SOURCES... [LIBRARIES...] [NEEDS_PROGRAM])
# One GoogleTest program, each of its tests a CTest test with a time-out;
# what a system cannot show is reported as skipped, not as passed. SECONDS
# is about how long the whole program takes, which the test kit says
# before it starts it.
function(dozemark_windows_test name)
    cmake_parse_arguments(ARG "NEEDS_PROGRAM" "SECONDS" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} test_program)
    if(ARG_NEEDS_PROGRAM)
        add_dependencies(${name} dozemark)
    endif()
    dozemark_warnings(${name})
    gtest_add_tests(TARGET ${name} TEST_LIST tests)
    set_tests_properties(${tests} PROPERTIES TIMEOUT 360 SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
    list(LENGTH tests count)
    set_property(GLOBAL APPEND PROPERTY DOZEMARK_TEST_PROGRAMS ${name})
    set_property(GLOBAL APPEND PROPERTY DOZEMARK_TEST_COUNTS "${name} ${count} ${ARG_SECONDS}")
endfunction()

# Starts the real program and works its windows from outside.
add_library(dialog_driver STATIC e2e/dialog_driver.cpp)
target_link_libraries(dialog_driver PUBLIC test_program gdi32)
dozemark_warnings(dialog_driver)

dozemark_windows_test(measure_tests SECONDS 5 SOURCES windows/measure_sleep_test.cpp LIBRARIES dozemark_win32)
dozemark_windows_test(resources_tests SECONDS 2 SOURCES windows/resources_test.cpp LIBRARIES version NEEDS_PROGRAM)
# The version the program was built with, from the header CMake made.
target_include_directories(resources_tests PRIVATE ${CMAKE_BINARY_DIR}/resources)
dozemark_windows_test(dialog_e2e_tests SECONDS 100 SOURCES e2e/dialog_e2e_test.cpp LIBRARIES dialog_driver
    NEEDS_PROGRAM)
set_tests_properties(DialogTest.SeventyFiveSecondsRunsForSixty PROPERTIES LABELS slow)
dozemark_windows_test(hardening_e2e_tests SECONDS 45 SOURCES e2e/hardening_e2e_test.cpp LIBRARIES dialog_driver psapi
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
dozemark_windows_test(dll_planting_tests SECONDS 20 SOURCES planting/dll_planting_test.cpp LIBRARIES dialog_driver
    NEEDS_PROGRAM)
add_dependencies(dll_planting_tests decoy_winmm static_winmm_control)
# Under Wine, prefer a native copy of the planted DLL wherever one is found,
# as Windows does with any DLL that is not a KnownDLL. A test that needs the
# setting skips itself under Wine without it.
set_tests_properties(DllPlanting.ControlProgramWithStaticWinmmLoadsThePlant DllPlanting.DozemarkNeverLoadsThePlant
    DllPlanting.FirstRunWithoutTimerPeriodNeverLoadsThePlant PROPERTIES ENVIRONMENT "WINEDLLOVERRIDES=winmm=n,b")
set_tests_properties(DllPlanting.DialogNeverLoadsAPlantedThemeDll PROPERTIES ENVIRONMENT
    "WINEDLLOVERRIDES=uxtheme=n,b")
