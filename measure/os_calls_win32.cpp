#include "measure/os_calls_win32.h"

#include <windows.h>
#include <mmsystem.h>
#include <process.h>

namespace {

void* CurrentProcess() {
    return GetCurrentProcess();
}

void RestrictDllSearch(uint32_t directoryFlags) {
    SetDefaultDllDirectories(directoryFlags);
}

void* LoadModule(const wchar_t* fileName) {
    return LoadLibraryW(fileName);
}

ProcessInformationFn LookUpProcessInformation(void* module, const char* procName) {
    FARPROC proc = GetProcAddress(static_cast<HMODULE>(module), procName);
    // Through the generic function pointer type, which may be cast to any other.
    return reinterpret_cast<ProcessInformationFn>(reinterpret_cast<void (*)()>(proc));
}

void DropModule(void* module) {
    FreeLibrary(static_cast<HMODULE>(module));
}

void BeginPeriod(uint32_t periodMs) {
    timeBeginPeriod(periodMs);
}

void EndPeriod(uint32_t periodMs) {
    timeEndPeriod(periodMs);
}

void EndThread(uint32_t exitCode) {
    _endthreadex(exitCode);
}

const OsCalls kWin32OsCalls = {
    CurrentProcess, RestrictDllSearch, LoadModule, LookUpProcessInformation,
    DropModule,     BeginPeriod,       EndPeriod,  EndThread,
};

} // namespace

const OsCalls& Win32OsCalls() {
    return kWin32OsCalls;
}

uint32_t Win32Clock::Now() {
    return timeGetTime();
}

void Win32Clock::Sleep1() {
    Sleep(1);
}
