// Starts and ends threads inside the dozemark.exe programs that the dialog
// tests start, as Windows' own components do in any GUI process (the
// loader's workers, thread pools, input methods): a thread of 60 ms every
// 150 ms, from a program's first run on a thread of its own to its end. The
// test kit's check runs the whole kit beside it, so that a test that counts
// the process's threads instead of the run's worker fails here as it would
// on Windows.
//
// Wine has a thread of the target make the thread CreateRemoteThread asks
// for: one that is suspended or waits in the server, or else the first
// that takes a signal, wherever it is (server/thread.c). Stopped inside
// malloc (drawing a window, loading a DLL), it then waits for itself for
// ever. So a program is joined while its run is on a thread of its own, the
// dialog's thread waiting for it in the server; the first thread started
// there suspends itself, and while the program runs a suspended thread is
// there to make the next one without a signal. A worker that ends between
// the look and the request leaves that risk, once per program.
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

// A program joined. Its handle stays open until the noise ends, so that its
// id is not given to another program; ended, it is listed with no threads.
struct Joined {
    DWORD id;
    HANDLE process;
};

// The program to start threads in, if it lies in the folder.
HANDLE OpenProgram(DWORD id) {
    HANDLE process = OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION |
                                     PROCESS_VM_WRITE | PROCESS_VM_READ,
                                 FALSE, id);
    wchar_t path[1024];
    DWORD size = sizeof(path) / sizeof(path[0]);
    if (process && !(QueryFullProcessImageNameW(process, 0, path, &size) &&
                     _wcsnicmp(path, gFolder, wcslen(gFolder)) == 0)) {
        CloseHandle(process);
        return nullptr;
    }
    return process;
}

// A function of kernel32 that takes one argument, as a thread procedure.
LPTHREAD_START_ROUTINE Kernel32(const char* name) {
    return reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

// Under Wine, a thread started in a process that is ending can wait forever
// for that process to take it: this runs on a thread of its own, which the
// program leaves behind when it ends.
DWORD WINAPI StartThreadsForever(void*) {
    const auto sleep = Kernel32("Sleep"), suspend = Kernel32("SuspendThread");
    std::vector<Joined> joined;
    std::vector<DWORD> running, runningBefore;
    for (;;) {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        std::vector<PROCESSENTRY32W> processes;
        PROCESSENTRY32W next = {};
        next.dwSize = sizeof(next);
        for (BOOL more = snapshot != INVALID_HANDLE_VALUE && Process32FirstW(snapshot, &next); more;
             more = Process32NextW(snapshot, &next)) {
            processes.push_back(next);
        }
        // Only the dialog tests count the run's worker.
        const auto startedByDialogTests = [&](DWORD parent) {
            return std::any_of(processes.begin(), processes.end(), [&](const PROCESSENTRY32W& candidate) {
                return candidate.th32ProcessID == parent && _wcsicmp(candidate.szExeFile, L"dialog_e2e_tests.exe") == 0;
            });
        };
        running.clear();
        for (const PROCESSENTRY32W& entry : processes) {
            const DWORD id = entry.th32ProcessID;
            if (_wcsicmp(entry.szExeFile, L"dozemark.exe") != 0 || !startedByDialogTests(entry.th32ParentProcessID)) {
                continue;
            }
            const auto program =
                std::find_if(joined.begin(), joined.end(), [&](const Joined& candidate) { return candidate.id == id; });
            HANDLE thread = nullptr;
            if (program != joined.end()) {
                thread = entry.cntThreads > 0 ? CreateRemoteThread(program->process, nullptr, 0, sleep,
                                                                   reinterpret_cast<void*>(60), 0, nullptr)
                                              : nullptr;
            } else if (entry.cntThreads > 1) {
                // A run's worker (observed: under Wine the program has one
                // thread otherwise): at a second look, the dialog's thread
                // waits for it.
                running.push_back(id);
                const bool seen = std::find(runningBefore.begin(), runningBefore.end(), id) != runningBefore.end();
                if (HANDLE process = seen ? OpenProgram(id) : nullptr) {
                    // SuspendThread(GetCurrentThread()): the pseudo handle means the same there.
                    thread = CreateRemoteThread(process, nullptr, 0, suspend, GetCurrentThread(), 0, nullptr);
                    if (thread) {
                        joined.push_back({id, process});
                    } else {
                        CloseHandle(process);
                    }
                }
            }
            if (thread) {
                InterlockedIncrement(&gStarted);
                CloseHandle(thread);
            }
        }
        runningBefore.swap(running);
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
