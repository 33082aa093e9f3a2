# Tests built for Windows; CTest runs them under Wine.

add_executable(measure_wine_tests wine/measure_sleep_test.cpp)
target_link_libraries(measure_wine_tests PRIVATE dozemark_win32 GTest::gtest_main)
dozemark_warnings(measure_wine_tests)
gtest_add_tests(TARGET measure_wine_tests)
