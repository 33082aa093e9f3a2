// Where the program under test lies: beside the tests' own folder.
#pragma once

#include <windows.h>

#include <string>

inline std::wstring ProgramPath() {
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, length);
    path.resize(path.find_last_of(L"\\/") + 1);
    if (const wchar_t* override = _wgetenv(L"DOZEMARK_EXE")) {
        return override;
    }
    return path + L"..\\dozemark.exe";
}
