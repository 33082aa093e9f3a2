// Starts and ends threads inside every running dozemark.exe that the dialog
// tests started, as Windows' own components do in any GUI process (the
// loader's workers, thread pools, input methods): a thread of 60 ms every
// 150 ms. The test kit's check runs the whole kit beside it, so that a test
// that counts the process's threads instead of the run's worker fails here
// as it would on Windows.
//
// usage: thread_noise FILE FOLDER
//   runs while FILE exists, in every such dozemark.exe that lies in FOLDER
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

volatile LONG gStarted = 0;
const wchar_t* gFolder = L"";

unsigned long long Ticks(const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Whether the process's program lies in the folder.
bool LiesIn(HANDLE process, const wchar_t* folder) {
    wchar_t path[1024];
    DWORD size = sizeof(path) / sizeof(path[0]);
    const size_t length = wcslen(folder);
    return QueryFullProcessImageNameW(process, 0, path, &size) && _wcsnicmp(path, folder, length) == 0;
}

// Whether the process has run for a second: under Wine, a thread started
// in a process whose loader is still at work can stop it for good.
bool HasSettled(HANDLE process) {
    FILETIME created, ended, kernel, user, now;
    GetSystemTimeAsFileTime(&now);
    return GetProcessTimes(process, &created, &ended, &kernel, &user) &&
           Ticks(now) > Ticks(created) + 10ULL * 1000 * 1000;
}

// Under Wine, a thread started in a process that is ending can wait forever
// for that process to take it: this runs on a thread of its own, which the
// program leaves behind when it ends.
DWORD WINAPI StartThreadsForever(void*) {
    // Sleep(60) as a thread procedure: its one argument is the time.
    const auto sleep = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "Sleep")));
    for (;;) {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        std::vector<PROCESSENTRY32W> processes;
        PROCESSENTRY32W next = {};
        next.dwSize = sizeof(next);
        for (BOOL more = snapshot != INVALID_HANDLE_VALUE && Process32FirstW(snapshot, &next); more;
             more = Process32NextW(snapshot, &next)) {
            processes.push_back(next);
        }
        // Only the dialog tests count the run's worker; under Wine, a thread
        // started beside the loader (winmm's delay-load at a first run) can
        // stop the program, which the other tests, quick to run, met.
        const auto startedByDialogTests = [&](DWORD parent) {
            return std::any_of(processes.begin(), processes.end(), [&](const PROCESSENTRY32W& candidate) {
                return candidate.th32ProcessID == parent && _wcsicmp(candidate.szExeFile, L"dialog_e2e_tests.exe") == 0;
            });
        };
        for (const PROCESSENTRY32W& entry : processes) {
            if (_wcsicmp(entry.szExeFile, L"dozemark.exe") != 0 || !startedByDialogTests(entry.th32ParentProcessID)) {
                continue;
            }
            if (HANDLE process = OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION |
                                                 PROCESS_VM_WRITE | PROCESS_VM_READ,
                                             FALSE, entry.th32ProcessID)) {
                const bool target = LiesIn(process, gFolder) && HasSettled(process);
                if (HANDLE thread = target ? CreateRemoteThread(process, nullptr, 0, sleep, reinterpret_cast<void*>(60),
                                                                0, nullptr)
                                           : nullptr) {
                    InterlockedIncrement(&gStarted);
                    CloseHandle(thread);
                }
                CloseHandle(process);
            }
        }
        if (snapshot != INVALID_HANDLE_VALUE) {
            CloseHandle(snapshot);
        }
        Sleep(150);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        (void)fputs("usage: thread_noise FILE FOLDER\n", stderr);
        return 2;
    }
    gFolder = argv[2];
    if (HANDLE thread = CreateThread(nullptr, 0, StartThreadsForever, nullptr, 0, nullptr)) {
        CloseHandle(thread);
    }
    while (GetFileAttributesW(argv[1]) != INVALID_FILE_ATTRIBUTES) {
        Sleep(100);
    }
    printf("thread_noise: started %ld threads in dozemark.exe\n", gStarted);
    (void)fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 0);
    return 0;
}
