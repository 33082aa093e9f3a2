# The project's warning set, as errors. Kept per target so third-party code
# built alongside (GoogleTest) is not held to it.
function(dozemark_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /WX /utf-8)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
            -Wshadow -Wconversion -Wsign-conversion -Wcast-qual -Wold-style-cast)
    endif()
endfunction()
