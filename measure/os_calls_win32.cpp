#include "measure/os_calls_win32.h"

#include <windows.h>
#include <mmsystem.h>

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

const OsCalls kWin32OsCalls = {
    CurrentProcess, RestrictDllSearch, LoadModule, LookUpProcessInformation, DropModule, BeginPeriod, EndPeriod,
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

bool TimerFunctionsAvailable() {
    // From System32 only, whatever the process's search order is yet.
    HMODULE winmm = LoadLibraryExW(L"winmm.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!winmm) {
        return false;
    }
    const bool available = GetProcAddress(winmm, "timeGetTime") && GetProcAddress(winmm, "timeBeginPeriod") &&
                           GetProcAddress(winmm, "timeEndPeriod");
    FreeLibrary(winmm);
    return available;
}
