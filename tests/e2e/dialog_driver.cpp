#include "tests/e2e/dialog_driver.h"

#include <tlhelp32.h>

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

} // namespace

void Settle(DWORD ms) {
    Sleep(ms);
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

bool StartDozemark(DozemarkProcess* app, DWORD timeoutMs, const std::wstring& path) {
    std::wstring commandLine = L"\"" + (path.empty() ? ProgramPath() : path) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &app->info)) {
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
    const LRESULT length = SendMessageW(window, WM_GETTEXT, sizeof(buffer) / sizeof(buffer[0]),
                                        reinterpret_cast<LPARAM>(buffer));
    return std::wstring(buffer, static_cast<size_t>(length));
}

std::wstring MessageBoxText(HWND box) {
    // The message box keeps its text in a static control with id 0xFFFF.
    HWND text = GetDlgItem(box, 0xFFFF);
    return text ? WindowText(text) : std::wstring();
}

bool IsChecked(HWND dialog, int id) {
    return SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetChecked(HWND dialog, int id, bool checked) {
    if (IsChecked(dialog, id) != checked) {
        SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
    }
}

void Click(HWND button) {
    PostMessageW(button, BM_CLICK, 0, 0);
}

void ClickItem(HWND dialog, int id) {
    Click(GetDlgItem(dialog, id));
}

void Type(HWND control, const std::wstring& text) {
    for (wchar_t c : text) {
        PostMessageW(control, WM_CHAR, c, 1);
    }
    Settle(50);
}

void ClearField(HWND edit) {
    PostMessageW(edit, EM_SETSEL, 0, -1);
    PostMessageW(edit, WM_CHAR, VK_BACK, 1);
    Settle(50);
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

int CountThreads(DWORD processId) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return -1;
    }
    int count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == processId) {
            ++count;
        }
    }
    CloseHandle(snapshot);
    return count;
}
