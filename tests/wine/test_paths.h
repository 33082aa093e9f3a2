// Where the test programs and the program under test lie.
#pragma once

#include <windows.h>

#include <string>

// The folder of the running test program, with a trailing separator.
inline std::wstring TestsFolder() {
    wchar_t self[MAX_PATH];
    std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    path.resize(path.find_last_of(L"\\/") + 1);
    return path;
}

// The program lies in the folder above the tests'.
inline std::wstring ProgramPath() {
    return TestsFolder() + L"..\\dozemark.exe";
}
