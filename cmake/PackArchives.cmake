# Run by the dist target (cmake/Package.cmake): writes BUILD/dist/, the
# release archive (the program, the licence and README.txt), with KIT the
# test kit (the program, the licence, run-tests.cmd and, in tests/, every
# test program with tests/programs.txt), and SHA256SUMS.
#   cmake -DSOURCE= -DBUILD= -DVERSION= -DPYTHON= -DEXE= -DKIT= -P PackArchives.cmake

# Every entry carries the commit's time (SOURCE_DATE_EPOCH's, if it is set),
# so that every build of one commit gives the same bytes.
set(epoch "$ENV{SOURCE_DATE_EPOCH}")
if(epoch STREQUAL "")
    execute_process(COMMAND git -C ${SOURCE} log -1 --format=%ct
        OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
    if(NOT failed EQUAL 0)
        set(epoch 0)
    endif()
endif()
set(files ${BUILD}/dist-files)
set(out ${BUILD}/dist)
file(REMOVE_RECURSE ${files} ${out})
file(MAKE_DIRECTORY ${files} ${out})

# Run(COMMAND...): stops the packing if the command fails.
function(Run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed)
    if(NOT failed EQUAL 0)
        message(FATAL_ERROR "failed (${failed}): ${ARGN}")
    endif()
endfunction()

# Zip(ARCHIVE NAME=PATH...): writes ARCHIVE with those entries, in that order
# (scripts/make_zip.py). A .txt or a .cmd goes in with CRLF line ends, and a
# .txt that is not plain ASCII with a UTF-8 byte-order mark, so that every
# Notepad reads it as UTF-8 (cmd.exe must not see one). The texts are read
# and written whole: configure_file(NEWLINE_STYLE CRLF) would also replace
# any @NAME@ in them.
function(Zip archive)
    set(entries "")
    foreach(entry IN LISTS ARGN)
        string(REGEX MATCH "^([^=]*)=(.*)$" entry "${entry}")
        set(name ${CMAKE_MATCH_1})
        set(path ${CMAKE_MATCH_2})
        if(name MATCHES "\\.(txt|cmd)$")
            file(READ ${path} text)
            string(REPLACE "\r\n" "\n" text "${text}")
            string(REPLACE "\n" "\r\n" text "${text}")
            set(bom "")
            if(name MATCHES "\\.txt$" AND text MATCHES "[^\t\r\n -~]")
                string(ASCII 239 187 191 bom)
            endif()
            set(path ${files}/${archive}/${name})
            file(WRITE ${path} "${bom}${text}")
        endif()
        list(APPEND entries ${name}=${path})
    endforeach()
    Run(${PYTHON} ${SOURCE}/scripts/make_zip.py ${out}/${archive} ${epoch} ${entries})
    file(SHA256 ${out}/${archive} sum)
    file(APPEND ${out}/SHA256SUMS "${sum}  ${archive}\n")
endfunction()

Run(${PYTHON} ${SOURCE}/scripts/make_readme.py ${SOURCE}/docs/README.ja.md ${SOURCE}/docs/readme-english.txt
    ${VERSION} ${files}/README.txt)
set(license LICENSE.txt=${SOURCE}/LICENSE)
Zip(dozemark-${VERSION}-win64.zip dozemark.exe=${EXE} ${license} README.txt=${files}/README.txt)
if(KIT)
    # The program lies in the kit's folder, where the tests look for it, and
    # the test programs in tests\ (tests/windows/WindowsTests.cmake lists them).
    set(kit dozemark.exe=${EXE} ${license} run-tests.cmd=${SOURCE}/tests/kit/run-tests.cmd
        tests/programs.txt=${BUILD}/test-kit-programs.txt)
    file(STRINGS ${BUILD}/test-kit-files.txt programs)
    foreach(program IN LISTS programs)
        get_filename_component(name ${program} NAME)
        list(APPEND kit tests/${name}=${program})
    endforeach()
    Zip(dozemark-${VERSION}-win64-tests.zip ${kit})
endif()
