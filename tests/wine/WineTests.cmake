# Tests built for Windows; CTest runs them under Wine.

add_executable(measure_wine_tests wine/measure_sleep_test.cpp)
target_link_libraries(measure_wine_tests PRIVATE dozemark_win32 GTest::gtest_main)
target_include_directories(measure_wine_tests PRIVATE ${PROJECT_SOURCE_DIR})
dozemark_warnings(measure_wine_tests)
gtest_add_tests(TARGET measure_wine_tests TEST_LIST measureTests)
set_tests_properties(${measureTests} PROPERTIES TIMEOUT 120)
# What this system cannot show is reported as skipped, not as passed.
set_tests_properties(${measureTests} PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")

add_executable(resources_wine_tests wine/resources_test.cpp)
target_link_libraries(resources_wine_tests PRIVATE GTest::gtest_main)
target_include_directories(resources_wine_tests PRIVATE ${PROJECT_SOURCE_DIR})
add_dependencies(resources_wine_tests dozemark)
dozemark_warnings(resources_wine_tests)
gtest_add_tests(TARGET resources_wine_tests)

add_executable(dialog_e2e_tests e2e/dialog_driver.cpp e2e/dialog_e2e_test.cpp)
target_link_libraries(dialog_e2e_tests PRIVATE GTest::gtest_main)
target_include_directories(dialog_e2e_tests PRIVATE ${PROJECT_SOURCE_DIR})
add_dependencies(dialog_e2e_tests dozemark)
dozemark_warnings(dialog_e2e_tests)
gtest_add_tests(TARGET dialog_e2e_tests TEST_LIST dialogTests)
set_tests_properties(${dialogTests} PROPERTIES TIMEOUT 120)
set_tests_properties(DialogTest.SeventyFiveSecondsRunsForSixty PROPERTIES LABELS slow)

# Not a test: the run command uses it to show the program without a display.
add_executable(screenshot_tour e2e/dialog_driver.cpp e2e/screenshot_tour.cpp)
target_include_directories(screenshot_tour PRIVATE ${PROJECT_SOURCE_DIR})
target_link_options(screenshot_tour PRIVATE -municode)
add_dependencies(screenshot_tour dozemark)
dozemark_warnings(screenshot_tour)

# DLL planting: a decoy winmm.dll, a control program that imports winmm at
# load time, and the test that plants the decoy beside each.
add_library(decoy_winmm SHARED planting/decoy_winmm.cpp)
set_target_properties(decoy_winmm PROPERTIES PREFIX "")
add_executable(static_winmm_control planting/static_winmm_control.cpp)
target_link_libraries(static_winmm_control PRIVATE winmm)
add_executable(dll_planting_tests e2e/dialog_driver.cpp planting/dll_planting_test.cpp)
target_link_libraries(dll_planting_tests PRIVATE GTest::gtest_main)
target_include_directories(dll_planting_tests PRIVATE ${PROJECT_SOURCE_DIR})
add_dependencies(dll_planting_tests dozemark decoy_winmm static_winmm_control)
dozemark_warnings(dll_planting_tests)
gtest_add_tests(TARGET dll_planting_tests TEST_LIST plantingTests)
# Prefer a native winmm.dll wherever one is found, as Windows would.
set_tests_properties(${plantingTests} PROPERTIES ENVIRONMENT "WINEDLLOVERRIDES=winmm=n,b" TIMEOUT 120)

add_executable(hardening_e2e_tests e2e/dialog_driver.cpp e2e/hardening_e2e_test.cpp)
target_link_libraries(hardening_e2e_tests PRIVATE GTest::gtest_main psapi)
target_include_directories(hardening_e2e_tests PRIVATE ${PROJECT_SOURCE_DIR})
add_dependencies(hardening_e2e_tests dozemark)
dozemark_warnings(hardening_e2e_tests)
gtest_add_tests(TARGET hardening_e2e_tests TEST_LIST hardeningTests)
set_tests_properties(${hardeningTests} PROPERTIES TIMEOUT 120)
set_tests_properties(DialogTest.ThirtyRunsKeepHandlesAndMemoryFlat PROPERTIES LABELS soak)
