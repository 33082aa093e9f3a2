# winmm.dll is not a KnownDLL: imported at load time it would be looked for
# beside the executable before any of our code runs. Delay-loaded, it is
# first loaded by the first timer call of a run, after the run has already
# restricted the DLL search to System32.

# Makes build/<library> from cmake/winmm.def with the given tool and flags.
# Run where it writes, so the names the tool makes from the file name hold
# no build path.
function(dozemark_winmm_import_library target library)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${library}
        COMMAND ${ARGN}
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
        DEPENDS ${PROJECT_SOURCE_DIR}/cmake/winmm.def
        COMMENT "Making ${library}")
    add_custom_target(${target} DEPENDS ${CMAKE_BINARY_DIR}/${library})
endfunction()

function(dozemark_delay_load_winmm target)
    set(def ${PROJECT_SOURCE_DIR}/cmake/winmm.def)
    if(MSVC)
        target_link_libraries(${target} PUBLIC winmm delayimp)
        target_link_options(${target} PUBLIC /DELAYLOAD:winmm.dll)
    elseif(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        # The Clang build links with lld, which delay-loads by itself given
        # an LLVM-style import library (it mishandles GNU dlltool's
        # delay-load libraries, and cannot delay GNU-style imports).
        find_program(DOZEMARK_LLVM_DLLTOOL NAMES llvm-dlltool REQUIRED)
        dozemark_winmm_import_library(winmm_import libwinmm_llvm.a
            ${DOZEMARK_LLVM_DLLTOOL} -m i386:x86-64 -d ${def} -l libwinmm_llvm.a)
        add_dependencies(${target} winmm_import)
        # The helper that loads the DLL on the first call, __delayLoadHelper2,
        # is in MinGW's libmingwex, which the driver links by default.
        target_link_libraries(${target} PUBLIC ${CMAKE_BINARY_DIR}/libwinmm_llvm.a)
        target_link_options(${target} PUBLIC -Wl,--delayload=winmm.dll)
    else()
        find_program(DOZEMARK_DLLTOOL NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-dlltool dlltool REQUIRED)
        dozemark_winmm_import_library(winmm_import libwinmm_delay.a
            ${DOZEMARK_DLLTOOL} --output-delaylib libwinmm_delay.a --def ${def})
        add_dependencies(${target} winmm_import)
        # The helper is libmingwex's, as above. MinGW's libdelayimp.a is an
        # empty archive (8 bytes, no members), kept only for the name.
        target_link_libraries(${target} PUBLIC ${CMAKE_BINARY_DIR}/libwinmm_delay.a)
    endif()
endfunction()
