// A planted winmm.dll: when anything loads it, it leaves a marker file in
// its own folder. It exports the timer functions so that a program that
// imports them still starts.
#include <windows.h>

#include <string>

extern "C" {

__declspec(dllexport) DWORD WINAPI timeGetTime() {
    return GetTickCount();
}

__declspec(dllexport) UINT WINAPI timeBeginPeriod(UINT) {
    return 0;
}

__declspec(dllexport) UINT WINAPI timeEndPeriod(UINT) {
    return 0;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH];
        const DWORD length = GetModuleFileNameW(instance, path, MAX_PATH);
        std::wstring marker(path, length);
        marker.resize(marker.find_last_of(L"\\/") + 1);
        marker += L"decoy-loaded.marker";
        HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
    }
    return TRUE;
}

} // extern "C"
