# Cross build for 64-bit Windows with Clang, against the same MinGW-w64
# headers, libraries and libstdc++ (posix threads) as the GCC build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)

set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET ${triple})
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET ${triple})
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_SYSROOT /usr/${triple})

# Debian keeps MinGW's libstdc++ under GCC's own folder, where Clang does
# not look for it: ask the GCC build where that is.
execute_process(COMMAND ${triple}-g++-posix -print-libgcc-file-name
    OUTPUT_VARIABLE libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(gccDir "${libgcc}" DIRECTORY)
set(CMAKE_CXX_FLAGS_INIT
    "-isystem ${gccDir}/include/c++ -isystem ${gccDir}/include/c++/${triple} -isystem ${gccDir}/include/c++/backward")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -static -pthread -L${gccDir}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -static -pthread -L${gccDir}")

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
