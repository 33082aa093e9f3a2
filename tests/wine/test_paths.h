// Where the test programs and the program under test lie.
#pragma once

#include <windows.h>

#include <string>

// The folder of the running test program, with a trailing separator.
inline std::wstring TestsFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    // Wine names a program started from a UNC path "UNC\server\share\...".
    if (path.compare(0, 4, L"UNC\\") == 0) {
        path.replace(0, 3, L"\\");
    }
    path.resize(path.find_last_of(L"\\/") + 1);
    return path;
}

// The program lies in the folder above the tests'.
inline std::wstring ProgramPath() {
    std::wstring folder = TestsFolder();
    folder.resize(folder.find_last_of(L"\\/", folder.size() - 2) + 1);
    return folder + L"dozemark.exe";
}
