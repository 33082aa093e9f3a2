# The Windows side: the logic bound to the real API, and the program.

add_library(dozemark_win32 STATIC
    measure/os_calls_win32.cpp
    measure/measure_sleep_win32.cpp
    report/show_report_win32.cpp
)
target_link_libraries(dozemark_win32 PUBLIC dozemark_core)
include(${CMAKE_CURRENT_LIST_DIR}/DelayLoadWinmm.cmake)
dozemark_delay_load_winmm(dozemark_win32)
dozemark_warnings(dozemark_win32)

# The program: one modal dialog.
configure_file(${CMAKE_SOURCE_DIR}/resources/version.h.in ${CMAKE_BINARY_DIR}/resources/version.h @ONLY)
include(${CMAKE_CURRENT_LIST_DIR}/IconGroup.cmake)
dozemark_icon_group(${CMAKE_SOURCE_DIR}/resources/dozemark.ico IDI_DOZEMARK_SMALL
    ${CMAKE_BINARY_DIR}/resources/dozemark_small_icon.rc)
add_executable(dozemark WIN32
    ui/main.cpp
    ui/main_dialog_win32.cpp
    resources/dozemark.rc
)
target_include_directories(dozemark PRIVATE ${CMAKE_SOURCE_DIR}/resources ${CMAKE_BINARY_DIR}/resources)
set_source_files_properties(resources/dozemark.rc PROPERTIES
    OBJECT_DEPENDS "${CMAKE_BINARY_DIR}/resources/dozemark_small_icon.rc;${CMAKE_BINARY_DIR}/resources/version.h;${CMAKE_SOURCE_DIR}/resources/dozemark.ico")
target_link_libraries(dozemark PRIVATE dozemark_win32)
dozemark_warnings(dozemark)

# The release exe: small and stripped (and, as everything built here, the
# same bytes from every build of the same sources: no link time stamp, no
# build paths).
function(dozemark_release_exe target)
    if(MINGW)
        target_link_options(${target} PRIVATE -municode)
    endif()
    if(NOT MSVC)
        target_link_options(${target} PRIVATE -Wl,--gc-sections $<$<NOT:$<CONFIG:Debug>>:-s>)
        if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
            # Compatible with CET shadow stacks: lld writes the debug
            # directory entry that says so (GNU ld 2.40 cannot). lld marks
            # the exe terminal-server aware by itself.
            target_link_options(${target} PRIVATE -Wl,-Xlink=-cetcompat)
        else()
            # Terminal-server aware, as MSVC's linker and lld make an exe by
            # default: on a Remote Desktop server Windows then applies none
            # of its shims for old programs (such as giving each user a copy
            # of .ini files in the Windows folder).
            target_link_options(${target} PRIVATE -Wl,--tsaware)
        endif()
    else()
        target_link_options(${target} PRIVATE /Brepro /OPT:REF /OPT:ICF)
        target_compile_options(${target} PRIVATE /Brepro)
    endif()
endfunction()
dozemark_release_exe(dozemark)

# What the program is measured against: a wide string stream and a message
# box, with the same flags (scripts/release.sh). Built with everything, so
# that the lint build analyses it too.
add_executable(size_floor WIN32 tools/size_floor.cpp)
dozemark_release_exe(size_floor)
dozemark_warnings(size_floor)

if(CMAKE_CROSSCOMPILING)
    # CTest runs every Windows test program under Wine, in a prefix of the
    # build tree's own.
    set(DOZEMARK_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
    set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_SOURCE_DIR}/scripts/wine-run.sh;${DOZEMARK_WINEPREFIX}")
endif()
