# The Windows side: the logic bound to the real API, and the program.

add_library(dozemark_win32 STATIC
    measure/os_calls_win32.cpp
    measure/measure_sleep_win32.cpp
    report/show_report_win32.cpp
)
target_link_libraries(dozemark_win32 PUBLIC dozemark_core winmm)
target_compile_definitions(dozemark_win32 PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
    _WIN32_WINNT=0x0A00)
dozemark_warnings(dozemark_win32)

if(CMAKE_CROSSCOMPILING)
    # CTest runs every Windows test program under Wine, in a prefix of the
    # build tree's own.
    set(DOZEMARK_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
    set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_SOURCE_DIR}/cmake/wine-run.sh;${DOZEMARK_WINEPREFIX}")
endif()
