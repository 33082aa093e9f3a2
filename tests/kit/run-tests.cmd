@echo off
rem Runs the Dozemark test programs of this kit on this Windows machine.
rem
rem Double-click it, or run it from a command prompt in any folder; name
rem programs (run-tests.cmd dialog_e2e_tests) to run only those. Double-
rem clicked, it waits for a key at the end; /nopause (run-tests.cmd /nopause
rem [program ...]) never waits, for scripts, scheduled tasks and remote
rem shells, whose cmd /c looks like a double-click.
rem tests\programs.txt lists every test program with its number of tests and
rem about how many seconds it takes. Each program's output goes to
rem results\<program>.txt and its results to results\<program>.xml. A line
rem per program follows, then the closing line "N passed, M failed, K
rem skipped" and the number of tests expected; results\summary.txt keeps them
rem with the Windows version. A program that is missing, blocked or does not
rem start counts as one failed test. The exit code is 0 only when nothing
rem failed and every expected test ran. One kit runs at a time in a folder.
rem
rem Delayed expansion stays off wherever the folder's name is read: it would
rem take a "!" in the name for one of its own. The name is never read inside
rem parentheses, where a ")" in it would end them. A double-click starts the
rem script in its own folder; otherwise pushd goes there, and takes a UNC
rem path (\\server\share\...) too, mapping it to a free drive letter until
rem the end.
setlocal EnableExtensions DisableDelayedExpansion

rem Started by a double-click, Explorer runs cmd /c with this file's path,
rem and the window closes as soon as the script ends: wait for a key then.
rem Typed at a prompt, cmd's own command line is another.
setlocal EnableDelayedExpansion
set "commandLine=!cmdcmdline!"
set "clicked="
if defined commandLine if /i not "!commandLine:run-tests.cmd=!"=="!commandLine!" set "clicked=1"
endlocal & set "pauseAtEnd=%clicked%"

rem The programs named, each between spaces; /nopause is not one.
set "only= %* "
if /i not "%only: /nopause = %"=="%only%" set "pauseAtEnd="
set "only=%only: /nopause = %"
if "%only: =%"=="" set "only="

rem Double-clicked inside the zip, Explorer copies this file alone to a
rem folder of its own and runs it there.
set "why="
if not exist "%~nx0" pushd "%~dp0"
if not exist "%~nx0" set "why=cannot go to its own folder"
if not defined why if not exist tests if not exist dozemark.exe set "why=it is here without the rest of the kit. If you opened it inside the zip, extract all of the zip first (Extract All), then run run-tests.cmd in the folder that makes"
if defined why goto :EndEarly

if not exist results mkdir results
rem While a kit runs, cmd holds this file open for writing, and a second
rem one cannot open it.
set "ran="
call :Main 2>results\running.lock
if not defined ran set "why=another run-tests.cmd is running in this folder: let it end first"
if defined why goto :EndEarly
popd
if defined pauseAtEnd pause
exit /b %status%

:EndEarly
echo run-tests.cmd: %why%
popd 2>nul
if defined pauseAtEnd pause
exit /b 1

:Main
set "ran=1"
del /q results\*.txt results\*.xml 2>nul
set /a passed=0, failed=0, skipped=0, expected=0, programs=0
rem No goto below: Wine's cmd leaves a for loop when a subroutine it calls jumps.
if not exist tests\programs.txt call :Say tests\programs.txt is missing: the kit is incomplete
if not exist tests\programs.txt set /a failed+=1
if exist tests\programs.txt for /f "usebackq tokens=1-3" %%a in ("tests\programs.txt") do call :RunListed %%a %%b %%c
if %programs%==0 call :Say no test program of this kit is named%only%
if %programs%==0 set /a failed+=1

ver
ver >> results\summary.txt
call :Say %passed% passed, %failed% failed, %skipped% skipped
call :Say expected: %expected% tests in %programs% programs
set /a reported=passed+failed+skipped
if not %reported%==%expected% call :Say not a complete run: %reported% results for %expected% expected tests
set "status=0"
if %failed% gtr 0 set "status=1"
if not %reported%==%expected% set "status=1"
exit /b 0

rem Runs tests\<%1>.exe, which should run %2 tests in about %3 seconds,
rem unless other programs were named. A program that is missing counts as
rem one failed test.
:RunListed
set "name=%~1"
set "rest=%only%"
if defined only call set "rest=%%only: %name% =%%"
if defined only if "%rest%"=="%only%" exit /b 0
set /a programs+=1, expected+=%~2
echo %name%: %~2 tests, about %~3 s ...
if exist "tests\%name%.exe" call :RunProgram
if not exist "tests\%name%.exe" call :Say %name%: 0 passed, 1 failed, 0 skipped - tests\%name%.exe is missing: not unpacked, or removed by antivirus
if not exist "tests\%name%.exe" set /a failed+=1
exit /b 0

rem Runs tests\<name>.exe and adds up what its GoogleTest summary says.
:RunProgram
set /a programPassed=0, programFailed=0, programSkipped=0
set "note="
"tests\%name%.exe" --gtest_output=xml:results\%name%.xml > "results\%name%.txt" 2>&1
set "code=%errorlevel%"
rem The summary lines: "[  PASSED  ] 5 tests.", "[  SKIPPED ] 1 test, listed
rem below:", "[  FAILED  ] 2 tests, listed below:". A line per test, such as
rem "[  FAILED  ] Suite.Test (12 ms)", has no "test," or "tests," there.
for /f "usebackq tokens=1-5" %%a in ("results\%name%.txt") do (
    if "%%a%%b%%c%%e"=="[PASSED]test." set /a programPassed=%%d
    if "%%a%%b%%c%%e"=="[PASSED]tests." set /a programPassed=%%d
    if "%%a%%b%%c%%e"=="[SKIPPED]test," set /a programSkipped=%%d
    if "%%a%%b%%c%%e"=="[SKIPPED]tests," set /a programSkipped=%%d
    if "%%a%%b%%c%%e"=="[FAILED]test," set /a programFailed=%%d
    if "%%a%%b%%c%%e"=="[FAILED]tests," set /a programFailed=%%d
)
rem A program that was blocked, did not start or crashed has said nothing
rem of its tests, or not which one failed: one failure.
set /a programRan=programPassed+programFailed+programSkipped
if not "%code%"=="0" if %programFailed%==0 set "note= - exit code %code% without a failed test: blocked, did not start or crashed; see results\%name%.txt"
if %programRan%==0 if %programFailed%==0 set "note= - no test ran: blocked or did not start; see results\%name%.txt"
if defined note set /a programFailed=1
call :Say %name%: %programPassed% passed, %programFailed% failed, %programSkipped% skipped%note%
set /a passed+=programPassed, failed+=programFailed, skipped+=programSkipped
exit /b 0

rem Prints a line and keeps it in results\summary.txt.
:Say
echo %*
>> results\summary.txt echo %*
exit /b 0
