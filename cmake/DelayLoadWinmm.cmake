# winmm.dll is not a KnownDLL: imported at load time it would be looked for
# beside the executable before any of our code runs. Delay-loaded, it is
# first loaded by the first timer call of a run, after the run has already
# restricted the DLL search to System32.
function(dozemark_delay_load_winmm target)
    if(MSVC)
        target_link_libraries(${target} PUBLIC winmm delayimp)
        target_link_options(${target} PUBLIC /DELAYLOAD:winmm.dll)
        return()
    endif()
    if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        # The Clang build links with lld, which delay-loads by itself given
        # an LLVM-style import library (it mishandles GNU dlltool's
        # delay-load libraries, and cannot delay GNU-style imports).
        find_program(DOZEMARK_LLVM_DLLTOOL NAMES llvm-dlltool REQUIRED)
        set(library ${CMAKE_BINARY_DIR}/libwinmm_llvm.a)
        add_custom_command(OUTPUT ${library}
            COMMAND ${DOZEMARK_LLVM_DLLTOOL} -m i386:x86-64 -d ${PROJECT_SOURCE_DIR}/cmake/winmm.def -l libwinmm_llvm.a
            WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
            DEPENDS ${PROJECT_SOURCE_DIR}/cmake/winmm.def
            COMMENT "Making an LLVM-style import library for winmm.dll")
        add_custom_target(winmm_import DEPENDS ${library})
        add_dependencies(${target} winmm_import)
        target_link_libraries(${target} PUBLIC ${library} delayimp)
        target_link_options(${target} PUBLIC -Wl,--delayload=winmm.dll)
        return()
    endif()
    find_program(DOZEMARK_DLLTOOL NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-dlltool llvm-dlltool dlltool REQUIRED)
    set(library ${CMAKE_BINARY_DIR}/libwinmm_delay.a)
    add_custom_command(OUTPUT ${library}
        # Run where it writes, so the names it makes from the file name hold
        # no build path.
        COMMAND ${DOZEMARK_DLLTOOL} --output-delaylib libwinmm_delay.a --def ${PROJECT_SOURCE_DIR}/cmake/winmm.def
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
        DEPENDS ${PROJECT_SOURCE_DIR}/cmake/winmm.def
        COMMENT "Making the delay-load import library for winmm.dll")
    add_custom_target(winmm_delay DEPENDS ${library})
    add_dependencies(${target} winmm_delay)
    # delayimp holds the helper that loads the DLL on the first call.
    target_link_libraries(${target} PUBLIC ${library} delayimp)
endfunction()
