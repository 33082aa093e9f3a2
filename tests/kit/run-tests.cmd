@echo off
rem Runs every Dozemark test program of this kit on this Windows machine.
rem
rem Double-click it, or run it from a command prompt in any folder. Each
rem program's GoogleTest output goes to results\<program>.txt, with a
rem GoogleTest XML file beside it; a line per program and a closing line
rem "N passed, M failed, K skipped" follow, and results\summary.txt keeps
rem them with the Windows version. The exit code is 0 only when nothing
rem failed.
setlocal EnableExtensions EnableDelayedExpansion
cd /d "%~dp0"

rem Started by a double-click, Explorer runs cmd /c with this file's full
rem path; the window then closes as soon as the script ends, so wait for a
rem key at the end. Typed at a prompt, cmd's own command line is another.
set "clicked="
set "commandLine=!cmdcmdline!"
if defined commandLine if /i not "!commandLine:%~f0=!"=="!commandLine!" set "clicked=1"

if not exist results mkdir results
del /q results\*.txt results\*.xml 2>nul
set /a passed=0, failed=0, skipped=0
set "programs=0"
for %%p in (tests\*_tests.exe) do (
    set "programs=1"
    call :RunProgram %%~np
)
if "%programs%"=="0" (
    call :Say no test programs in "%~dp0tests"
    set /a failed+=1
)

ver
ver >> results\summary.txt
call :Say %passed% passed, %failed% failed, %skipped% skipped
if defined clicked pause
if %failed% gtr 0 exit /b 1
exit /b 0

rem Runs tests\<%1>.exe and adds up what its GoogleTest summary says.
:RunProgram
set "name=%~1"
set /a programPassed=0, programFailed=0, programSkipped=0
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
rem A program that failed without saying which test (it crashed, or never
rem started) counts as one failure.
if not "%code%"=="0" if %programFailed%==0 set /a programFailed=1
call :Say %name%: %programPassed% passed, %programFailed% failed, %programSkipped% skipped
set /a passed+=programPassed, failed+=programFailed, skipped+=programSkipped
exit /b 0

rem Prints a line and keeps it in results\summary.txt.
:Say
echo %*
>> results\summary.txt echo %*
exit /b 0
