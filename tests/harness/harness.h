// What every Windows test program shares, under Wine as on Windows: where
// things lie, the job its started programs run in, optional functions, and
// waiting with a bound.
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

// A function this system may lack, resolved at run time: null if it does.
template <typename Fn>
Fn OptionalFunction(const wchar_t* module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(module), name)));
}

// A kernel handle closed when it goes out of scope; null and
// INVALID_HANDLE_VALUE (a failed snapshot or file) are never closed.
struct OwnedHandle {
    HANDLE handle;
    explicit OwnedHandle(HANDLE h = nullptr) : handle(h) {}
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    ~OwnedHandle() {
        if (*this) {
            CloseHandle(handle);
        }
    }
    explicit operator bool() const { return handle && handle != INVALID_HANDLE_VALUE; }
};

// Waits, answering meanwhile what is sent or posted to this thread's windows.
inline void Settle(DWORD ms = 150) {
    const ULONGLONG until = GetTickCount64() + ms;
    for (ULONGLONG now = GetTickCount64();; now = GetTickCount64()) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
        if (now >= until) {
            break;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(until - now), QS_ALLINPUT);
    }
}

// Whether `done`, asked every 20 ms, said yes within timeoutMs.
template <typename Done>
bool PollUntil(DWORD timeoutMs, Done done) {
    for (const ULONGLONG deadline = GetTickCount64() + timeoutMs;; Settle(20)) {
        if (done()) {
            return true;
        }
        if (GetTickCount64() >= deadline) {
            return false;
        }
    }
}

// The job every program a test starts runs in. It ends them all when the
// test program ends, however it ends (a failed test, its time limit,
// Ctrl+C, a closed console, taskkill): a dozemark.exe left running would
// hold its file for the next try.
HANDLE StartedProgramsJob();
// Ends the programs of the job that still run; how many did.
int EndStartedPrograms();
