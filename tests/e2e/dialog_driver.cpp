#include "tests/e2e/dialog_driver.h"

#include <process.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>

#include "tests/wine/started_processes.h"
#include "tests/wine/test_paths.h"

const wchar_t kDialogCaption[] = L"Dozemark";
const wchar_t kReportCaption[] = L"Sleep(1) の経過時間";

namespace {

struct WindowSearch {
    DWORD processId;
    const std::wstring* caption;
    const std::vector<HWND>* except;
    HWND found;
};

// A top-level window's caption, read without sending the window a message,
// so that a window whose thread is busy (or stopped) cannot hold the search up.
std::wstring Caption(HWND window) {
    wchar_t buffer[256];
    const int length = GetWindowTextW(window, buffer, sizeof(buffer) / sizeof(buffer[0]));
    return std::wstring(buffer, static_cast<size_t>(length));
}

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window) || Caption(window) != *search->caption) {
        return TRUE;
    }
    for (HWND excluded : *search->except) {
        if (excluded == window) {
            return TRUE;
        }
    }
    search->found = window;
    return FALSE;
}

// A Toolhelp snapshot. Taken while the process loads or unloads a module,
// it may fail with ERROR_BAD_LENGTH, and is then taken again, as its
// documentation says, for up to two seconds.
HANDLE Snapshot(DWORD flags, DWORD processId) {
    for (int attempt = 0;; ++attempt) {
        HANDLE snapshot = CreateToolhelp32Snapshot(flags, processId);
        if (snapshot != INVALID_HANDLE_VALUE || GetLastError() != ERROR_BAD_LENGTH || attempt == 200) {
            return snapshot;
        }
        Sleep(10);
    }
}

using QueryThreadFn = LONG(WINAPI*)(HANDLE thread, ULONG infoClass, PVOID info, ULONG size, PULONG returned);
constexpr ULONG kThreadQuerySetWin32StartAddress = 9;

QueryThreadFn QueryThread() {
    return reinterpret_cast<QueryThreadFn>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
}

ULONG_PTR StartAddress(QueryThreadFn query, HANDLE thread) {
    ULONG_PTR start = 0;
    return query(thread, kThreadQuerySetWin32StartAddress, &start, sizeof(start), nullptr) == 0 ? start : 0;
}

unsigned __stdcall WaitForRelease(void* release) {
    WaitForSingleObject(release, 10000);
    return 0;
}

// Where the C runtime starts every thread that _beginthreadex makes, read
// off a thread of this process's own (Wine knows it only once the thread
// runs). The runtime, msvcrt.dll, is a KnownDLL: it lies at the same
// address in every process.
ULONG_PTR BeginThreadexEntry() {
    static const ULONG_PTR entry = [] {
        const QueryThreadFn query = QueryThread();
        HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE thread = query && release ? reinterpret_cast<HANDLE>(
                                               _beginthreadex(nullptr, 0, WaitForRelease, release, 0, nullptr))
                                         : nullptr;
        ULONG_PTR start = 0;
        for (int attempt = 0; thread && !start && attempt < 500; ++attempt) {
            start = StartAddress(query, thread);
            if (!start) {
                Sleep(10);
            }
        }
        if (thread) {
            SetEvent(release);
            WaitForSingleObject(thread, 10000);
            CloseHandle(thread);
        }
        if (release) {
            CloseHandle(release);
        }
        return start;
    }();
    return entry;
}

bool OpenClipboardWaiting(HWND window) {
    for (int attempt = 0; attempt < 250; ++attempt) {
        if (OpenClipboard(window)) {
            return true;
        }
        Sleep(20);
    }
    return false;
}

// Formats whose data is a GDI object or is owned by the program that put it
// there, not a block of memory that can be copied.
bool IsCopyable(UINT format) {
    switch (format) {
    case CF_BITMAP: case CF_METAFILEPICT: case CF_PALETTE: case CF_ENHMETAFILE: case CF_OWNERDISPLAY:
    case CF_DSPBITMAP: case CF_DSPMETAFILEPICT: case CF_DSPENHMETAFILE:
        return false;
    default:
        return format < CF_PRIVATEFIRST || format > CF_GDIOBJLAST;
    }
}

void PutOnClipboard(UINT format, const void* bytes, size_t size) {
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size ? size : 1)) {
        if (size) {
            memcpy(GlobalLock(memory), bytes, size);
            GlobalUnlock(memory);
        }
        if (!SetClipboardData(format, memory)) {
            GlobalFree(memory);
        }
    }
}

// Keeps what is on the clipboard out of the clipboard history, the cloud
// clipboard and clipboard monitors.
UINT NotForHistoryFormat() {
    return RegisterClipboardFormatW(L"ExcludeClipboardContentFromMonitorProcessing");
}

} // namespace

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_BLOCK, 5000, &result) ? static_cast<LRESULT>(result)
                                                                                             : 0;
}

DozemarkProcess::~DozemarkProcess() {
    StopDozemark(this);
}

void Settle(DWORD ms) {
    // Answers what is sent to the test's own windows meanwhile (the
    // clipboard's owner is told when another program empties it).
    const ULONGLONG until = GetTickCount64() + ms;
    for (ULONGLONG now = GetTickCount64(); now < until; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(until - now), QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
    }
}

double NowMs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

HWND FindProcessWindow(DWORD processId, const std::wstring& caption, const std::vector<HWND>& except) {
    WindowSearch search = {processId, &caption, &except, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForProcessWindow(DWORD processId, const std::wstring& caption, DWORD timeoutMs,
                          const std::vector<HWND>& except) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (HWND window = FindProcessWindow(processId, caption, except)) {
            return window;
        }
        if (GetTickCount64() >= deadline) {
            return nullptr;
        }
        Sleep(20);
    }
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(20);
    }
    return true;
}

bool StartProgram(DozemarkProcess* app, const std::wstring& path, const std::wstring& folder) {
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &app->info)) {
        return false;
    }
    TrackStartedProcess(app->info.hProcess);
    return true;
}

bool StartDozemark(DozemarkProcess* app, DWORD timeoutMs, const std::wstring& path) {
    if (!StartProgram(app, path.empty() ? ProgramPath() : path)) {
        return false;
    }
    app->dialog = WaitForProcessWindow(app->info.dwProcessId, kDialogCaption, timeoutMs);
    return app->dialog != nullptr;
}

DWORD WaitForExit(const DozemarkProcess& app, DWORD timeoutMs) {
    if (WaitForSingleObject(app.info.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        return STILL_ACTIVE;
    }
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(app.info.hProcess, &code);
    return code;
}

void StopDozemark(DozemarkProcess* app) {
    if (!app->info.hProcess) {
        return;
    }
    ForgetStartedProcess(app->info.hProcess);
    if (WaitForSingleObject(app->info.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(app->info.hProcess, 1);
        WaitForSingleObject(app->info.hProcess, 5000);
    }
    CloseHandle(app->info.hThread);
    CloseHandle(app->info.hProcess);
    app->info = PROCESS_INFORMATION{};
    app->dialog = nullptr;
}

std::wstring WindowText(HWND window) {
    wchar_t buffer[4096];
    const LRESULT length = Send(window, WM_GETTEXT, sizeof(buffer) / sizeof(buffer[0]), reinterpret_cast<LPARAM>(buffer));
    return std::wstring(buffer, static_cast<size_t>(length));
}

std::wstring MessageBoxText(HWND box) {
    // The message box keeps its text in a static control with id 0xFFFF.
    HWND text = GetDlgItem(box, 0xFFFF);
    return text ? WindowText(text) : std::wstring();
}

bool IsChecked(HWND dialog, int id) {
    return Send(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetChecked(HWND dialog, int id, bool checked) {
    Send(GetDlgItem(dialog, id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Press(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void PressOk(HWND box) {
    Press(box, IDOK);
}

void Type(HWND control, const std::wstring& text) {
    for (wchar_t c : text) {
        Send(control, WM_CHAR, c, 1);
    }
}

void ClearField(HWND edit) {
    Send(edit, EM_SETSEL, 0, -1);
    Send(edit, WM_CHAR, VK_BACK, 1);
}

void PressKey(HWND window, UINT virtualKey) {
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(window, WM_KEYDOWN, virtualKey, scan | 1);
    PostMessageW(window, WM_KEYUP, virtualKey, scan | 1 | (LPARAM{3} << 30));
}

bool IsResponsive(HWND window, UINT timeoutMs) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, timeoutMs, &result) != 0;
}

bool WaitUntilBusy(HWND window, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (IsResponsive(window)) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(20);
    }
    return true;
}

std::vector<DWORD> ThreadIds(DWORD processId) {
    std::vector<DWORD> ids;
    HANDLE snapshot = Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return ids;
    }
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == processId) {
            ids.push_back(entry.th32ThreadID);
        }
    }
    CloseHandle(snapshot);
    return ids;
}

int NewWorkerThreads(DWORD processId, const std::vector<DWORD>& before) {
    const QueryThreadFn query = QueryThread();
    const ULONG_PTR entry = BeginThreadexEntry();
    if (!query || !entry) {
        return -1;
    }
    int count = 0;
    for (DWORD id : ThreadIds(processId)) {
        if (std::find(before.begin(), before.end(), id) != before.end()) {
            continue;
        }
        // A thread that has ended since the snapshot cannot be opened.
        if (HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, id)) {
            count += StartAddress(query, thread) == entry;
            CloseHandle(thread);
        }
    }
    return count;
}

int WaitForNewWorker(DWORD processId, const std::vector<DWORD>& before, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    int count = NewWorkerThreads(processId, before);
    while (count == 0 && GetTickCount64() < deadline) {
        Sleep(20);
        count = NewWorkerThreads(processId, before);
    }
    return count;
}

std::wstring ModulePathIn(DWORD processId, const wchar_t* module) {
    HANDLE snapshot = Snapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return L"?";
    }
    std::wstring found;
    MODULEENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szModule, module) == 0) {
            found = entry.szExePath;
        }
    }
    CloseHandle(snapshot);
    return found;
}

BorrowedClipboard::BorrowedClipboard()
    : window(CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)) {}

bool Lend(BorrowedClipboard* clipboard, const std::wstring& text) {
    if (!clipboard->window || !OpenClipboardWaiting(clipboard->window)) {
        return false;
    }
    for (UINT format = clipboard->saved ? 0 : EnumClipboardFormats(0); format; format = EnumClipboardFormats(format)) {
        HANDLE data = IsCopyable(format) ? GetClipboardData(format) : nullptr;
        const char* bytes = data ? static_cast<const char*>(GlobalLock(data)) : nullptr;
        if (bytes) {
            clipboard->formats.push_back(
                BorrowedClipboard::Saved{format, std::vector<char>(bytes, bytes + GlobalSize(data))});
            GlobalUnlock(data);
        }
    }
    clipboard->saved = true;
    EmptyClipboard();
    PutOnClipboard(CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    PutOnClipboard(NotForHistoryFormat(), nullptr, 0);
    const bool placed = IsClipboardFormatAvailable(CF_UNICODETEXT) != FALSE;
    CloseClipboard();
    return placed;
}

BorrowedClipboard::~BorrowedClipboard() {
    if (saved && OpenClipboardWaiting(window)) {
        EmptyClipboard();
        for (const Saved& format : formats) {
            if (format.format != NotForHistoryFormat()) {
                PutOnClipboard(format.format, format.bytes.data(), format.bytes.size());
            }
        }
        // The user's own data is already in the history once.
        if (!formats.empty()) {
            PutOnClipboard(NotForHistoryFormat(), nullptr, 0);
        }
        CloseClipboard();
    }
    if (window) {
        DestroyWindow(window);
    }
}
