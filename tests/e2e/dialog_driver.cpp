#include "tests/e2e/dialog_driver.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "resources/resource.h"
#include "tests/harness/harness.h"

const wchar_t kDialogCaption[] = L"Dozemark";
const wchar_t kReportCaption[] = L"Sleep(1) の経過時間";

namespace {

// A Toolhelp snapshot. Taken while the process loads or unloads a module,
// it may fail with ERROR_BAD_LENGTH, and is then taken again, as its
// documentation says, for up to two seconds.
HANDLE Snapshot(DWORD flags, DWORD processId) {
    HANDLE snapshot = INVALID_HANDLE_VALUE;
    PollUntil(2000, [&] {
        snapshot = CreateToolhelp32Snapshot(flags, processId);
        return snapshot != INVALID_HANDLE_VALUE || GetLastError() != ERROR_BAD_LENGTH;
    });
    return snapshot;
}

template <typename T>
bool Read(HANDLE process, const void* at, T* value) {
    SIZE_T read = 0;
    return ReadProcessMemory(process, at, value, sizeof(T), &read) && read == sizeof(T);
}

using QueryThreadFn = LONG(WINAPI*)(HANDLE thread, ULONG infoClass, PVOID info, ULONG size, PULONG returned);

// THREAD_BASIC_INFORMATION, which NtQueryInformationThread gives for class
// 0: the exit status, the thread's TEB, its ids, affinity and priorities.
struct ThreadBasics {
    LONG exitStatus;
    const BYTE* teb;
    ULONG_PTR rest[4];
};

// Whether an address in [code, codeEnd) lies in the frames near the base of
// the thread's stack, where the functions that started it return to.
bool RunsCode(HANDLE process, QueryThreadFn query, HANDLE thread, ULONG_PTR code, ULONG_PTR codeEnd) {
    ThreadBasics basics = {};
    NT_TIB tib = {};
    if (query(thread, 0, &basics, sizeof(basics), nullptr) != 0 || !Read(process, basics.teb, &tib)) {
        return false;
    }
    const ULONG_PTR base = reinterpret_cast<ULONG_PTR>(tib.StackBase);
    const ULONG_PTR limit = reinterpret_cast<ULONG_PTR>(tib.StackLimit);
    std::vector<ULONG_PTR> stack((base - limit > 0x10000 ? 0x10000 : base - limit) / sizeof(ULONG_PTR));
    SIZE_T read = 0;
    return ReadProcessMemory(process, reinterpret_cast<const void*>(base - stack.size() * sizeof(ULONG_PTR)),
                             stack.data(), stack.size() * sizeof(ULONG_PTR), &read) &&
           std::any_of(stack.begin(), stack.end(), [&](ULONG_PTR value) { return value >= code && value < codeEnd; });
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

// A bitmap of this process's own to draw into and read back.
struct Canvas {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap;
    HGDIOBJ previous;

    Canvas(int width, int height)
        : bitmap(CreateCompatibleBitmap(screen, width, height)), previous(SelectObject(memory, bitmap)) {}
    ~Canvas() {
        SelectObject(memory, previous);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
    }
    std::vector<COLORREF> Pixels(int left, int top, int width, int height) const {
        std::vector<COLORREF> pixels(static_cast<size_t>(width * height));
        for (size_t i = 0; i < pixels.size(); ++i) {
            const int at = static_cast<int>(i);
            pixels[i] = GetPixel(memory, left + at % width, top + at / width);
        }
        return pixels;
    }
};

bool IsBlank(const std::vector<COLORREF>& pixels) {
    return std::count(pixels.begin(), pixels.end(), pixels.empty() ? 0 : pixels[0]) ==
           static_cast<std::ptrdiff_t>(pixels.size());
}

// The pixels of a window's child as its process draws them. PrintWindow has
// that process draw the window into this one's bitmap, wherever the window
// is; Wine's draws nothing for another process's window, which is then read
// off the desktop.
std::vector<COLORREF> ChildPixels(HWND window, HWND child, int* width, int* height) {
    RECT outer, inner;
    GetWindowRect(window, &outer);
    GetWindowRect(child, &inner);
    *width = inner.right - inner.left;
    *height = inner.bottom - inner.top;
    Canvas canvas(outer.right - outer.left, outer.bottom - outer.top);
    PrintWindow(window, canvas.memory, 0);
    std::vector<COLORREF> pixels = canvas.Pixels(inner.left - outer.left, inner.top - outer.top, *width, *height);
    if (IsBlank(pixels)) {
        BitBlt(canvas.memory, 0, 0, *width, *height, canvas.screen, inner.left, inner.top, SRCCOPY);
        pixels = canvas.Pixels(0, 0, *width, *height);
    }
    return pixels;
}

} // namespace

// Both wait with SMTO_NORMAL: meanwhile this thread answers what other
// programs send to its windows, as a clipboard owner must.
LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kAnswerMs, &result)
               ? static_cast<LRESULT>(result)
               : 0;
}

DozemarkProcess::~DozemarkProcess() {
    StopDozemark(this);
}

double NowMs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

HWND FindProcessWindow(DWORD processId, const std::wstring& caption, const std::vector<HWND>& except) {
    // FindWindowExW compares the caption that Windows keeps, and sends the
    // window no message: a window whose thread is busy cannot hold it up.
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, nullptr, caption.c_str())) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && IsWindowVisible(window) &&
            std::find(except.begin(), except.end(), window) == except.end()) {
            return window;
        }
    }
    return nullptr;
}

HWND WaitForProcessWindow(DWORD processId, const std::wstring& caption, DWORD timeoutMs,
                          const std::vector<HWND>& except) {
    HWND found = nullptr;
    PollUntil(timeoutMs, [&] { return (found = FindProcessWindow(processId, caption, except)) != nullptr; });
    return found;
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
    return PollUntil(timeoutMs, [&] { return !IsWindow(window) || !IsWindowVisible(window); });
}

std::string StartProgram(DozemarkProcess* app, const std::wstring& path, const std::wstring& folder) {
    // On this thread's desktop: left unnamed, the program would open its
    // windows on the desktop the test program was started on.
    wchar_t desktop[MAX_PATH] = L"WinSta0\\";
    const DWORD prefix = static_cast<DWORD>(wcslen(desktop));
    GetUserObjectInformationW(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, desktop + prefix,
                              static_cast<DWORD>(sizeof(desktop) - prefix * sizeof(wchar_t)), nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.lpDesktop = desktop;
    std::wstring commandLine = L"\"" + path + L"\"";
    // A start can fail for a moment (a scanner holding the new file), and is
    // made once more a second later. The program is held until it is in
    // the job, so that nothing of it escapes the job.
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                           folder.empty() ? nullptr : folder.c_str(), &startup, &app->info)) {
            break;
        }
        if (attempt == 2) {
            return "CreateProcessW failed twice, a second apart, with error " + std::to_string(GetLastError());
        }
        Sleep(1000);
    }
    if (!AssignProcessToJobObject(StartedProgramsJob(), app->info.hProcess)) {
        std::string why = "AssignProcessToJobObject failed with error " + std::to_string(GetLastError());
        StopDozemark(app);
        return why;
    }
    ResumeThread(app->info.hThread);
    return "";
}

std::string StartDozemark(DozemarkProcess* app, const std::wstring& path) {
    // Now and then, under Wine, a program ends at once before it has done
    // anything; it is started once more.
    std::string why;
    for (int attempt = 1; attempt <= 2; ++attempt) {
        why = StartProgram(app, path.empty() ? ProgramPath() : path);
        if (!why.empty()) {
            return why;
        }
        // A program that has ended is not waited for.
        DWORD code = STILL_ACTIVE;
        PollUntil(20000, [&] {
            app->dialog = FindProcessWindow(app->info.dwProcessId, kDialogCaption);
            return app->dialog || (code = WaitForExit(*app, 0)) != STILL_ACTIVE;
        });
        if (app->dialog || code == STILL_ACTIVE) {
            return app->dialog ? "" : "the dialog did not appear within 20 s";
        }
        why = "the program ended with code " + std::to_string(code) + " before its dialog appeared";
        StopDozemark(app);
    }
    return why + ", twice";
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
        WaitForSingleObject(app->info.hProcess, kAnswerMs);
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

std::string ShownIcon(HWND box) {
    HWND icon = nullptr;
    for (HWND child = FindWindowExW(box, nullptr, L"Static", nullptr); child && !icon;
         child = FindWindowExW(box, child, L"Static", nullptr)) {
        icon = (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON ? child : nullptr;
    }
    if (!icon) {
        return "no icon";
    }
    // A box that has just appeared may not have drawn its icon yet.
    int width = 0, height = 0;
    std::vector<COLORREF> shown;
    if (!PollUntil(kAnswerMs, [&] { return !IsBlank(shown = ChildPixels(box, icon, &width, &height)); })) {
        return "an icon with nothing drawn";
    }
    // Each of Windows' own, drawn the same size over the same background:
    // the one closest to what the box shows is the one it shows.
    const struct {
        const char* name;
        const wchar_t* id;
    } kIcons[] = {{"information", IDI_INFORMATION}, {"warning", IDI_WARNING}, {"error", IDI_ERROR},
                  {"question", IDI_QUESTION}};
    const char* closest = "";
    long long closestDistance = -1;
    Canvas canvas(width, height);
    HBRUSH background = CreateSolidBrush(shown[0]);
    const RECT all = {0, 0, width, height};
    for (const auto& candidate : kIcons) {
        FillRect(canvas.memory, &all, background);
        DrawIconEx(canvas.memory, 0, 0, LoadIconW(nullptr, candidate.id), width, height, 0, nullptr, DI_NORMAL);
        const std::vector<COLORREF> drawn = canvas.Pixels(0, 0, width, height);
        long long distance = 0;
        for (size_t i = 0; i < drawn.size(); ++i) {
            distance += std::abs(GetRValue(drawn[i]) - GetRValue(shown[i])) +
                        std::abs(GetGValue(drawn[i]) - GetGValue(shown[i])) +
                        std::abs(GetBValue(drawn[i]) - GetBValue(shown[i]));
        }
        if (closestDistance < 0 || distance < closestDistance) {
            closest = candidate.name;
            closestDistance = distance;
        }
    }
    DeleteObject(background);
    return closest;
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

bool IsResponsive(HWND window, DWORD timeoutMs) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

int WorkerThreads(const DozemarkProcess& app) {
    const auto query = OptionalFunction<QueryThreadFn>(L"ntdll.dll", "NtQueryInformationThread");
    HMODULE modules[1] = {};
    DWORD needed = 0;
    IMAGE_DOS_HEADER dos = {};
    IMAGE_NT_HEADERS64 nt = {};
    // The first module is the program itself.
    if (!query || !EnumProcessModules(app.info.hProcess, modules, sizeof(modules), &needed) ||
        !Read(app.info.hProcess, modules[0], &dos) ||
        !Read(app.info.hProcess, reinterpret_cast<const BYTE*>(modules[0]) + dos.e_lfanew, &nt)) {
        return -1;
    }
    const ULONG_PTR code = reinterpret_cast<ULONG_PTR>(modules[0]) + nt.OptionalHeader.BaseOfCode;
    const ULONG_PTR codeEnd = code + nt.OptionalHeader.SizeOfCode;
    const DWORD dialogThread = GetWindowThreadProcessId(app.dialog, nullptr);
    HANDLE snapshot = Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return -1;
    }
    int workers = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        // A thread that has ended since the snapshot cannot be opened.
        HANDLE thread = entry.th32OwnerProcessID == app.info.dwProcessId && entry.th32ThreadID != dialogThread
                            ? OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID)
                            : nullptr;
        if (thread) {
            workers += RunsCode(app.info.hProcess, query, thread, code, codeEnd);
            CloseHandle(thread);
        }
    }
    CloseHandle(snapshot);
    return workers;
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
    // Reading a format that its owner renders only when asked waits for the
    // owner: one that does not answer within the bound keeps what it holds,
    // which is then not put back.
    HWND owner = clipboard->saved ? nullptr : GetClipboardOwner();
    DWORD_PTR answer = 0;
    const bool readable = !owner || SendMessageTimeoutW(owner, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs, &answer);
    if (!clipboard->window || !PollUntil(kAnswerMs, [&] { return OpenClipboard(clipboard->window) != FALSE; })) {
        return false;
    }
    for (UINT format = clipboard->saved || !readable ? 0 : EnumClipboardFormats(0); format;
         format = EnumClipboardFormats(format)) {
        HANDLE data = IsCopyable(format) ? GetClipboardData(format) : nullptr;
        const char* bytes = data ? static_cast<const char*>(GlobalLock(data)) : nullptr;
        if (bytes) {
            clipboard->formats.push_back(
                BorrowedClipboard::Saved{format, std::vector<char>(bytes, bytes + GlobalSize(data))});
            GlobalUnlock(data);
        }
    }
    if (!clipboard->saved && !readable) {
        printf("the clipboard's owner does not answer: what it holds is not kept\n");
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
    if (saved && PollUntil(kAnswerMs, [&] { return OpenClipboard(window) != FALSE; })) {
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

void PrepareRun(const DozemarkProcess& app, bool minimize, bool hide, bool thread, const wchar_t* seconds) {
    SetChecked(app.dialog, IDC_MINIMIZE, minimize);
    SetChecked(app.dialog, IDC_HIDE, hide);
    SetChecked(app.dialog, IDC_SEPARATE_THREAD, thread);
    ClearField(GetDlgItem(app.dialog, IDC_SECONDS));
    Type(GetDlgItem(app.dialog, IDC_SECONDS), seconds);
}

RunObservation PressRun(const DozemarkProcess& app, DWORD reportTimeoutMs, const std::vector<HWND>& except) {
    RunObservation seen;
    const bool onThread = IsChecked(app.dialog, IDC_SEPARATE_THREAD);
    const double pressed = NowMs();
    Press(app.dialog, IDC_RUN);
    // The run is under way once the dialog's thread leaves a message
    // unanswered for half a second (idle, it answers at once) and, with the
    // thread option, once the worker runs: the window is looked at while the
    // worker is there, between the calls that put it away and bring it back.
    seen.respondedDuring = !PollUntil(kAnswerMs, [&] { return !IsResponsive(app.dialog, 500); });
    if (onThread) {
        PollUntil(kAnswerMs, [&] { return WorkerThreads(app) != 0; });
    }
    seen.iconicDuring = IsIconic(app.dialog) != FALSE;
    seen.visibleDuring = IsWindowVisible(app.dialog) != FALSE;
    seen.workersDuring = WorkerThreads(app);
    seen.report = WaitForProcessWindow(app.info.dwProcessId, kReportCaption, reportTimeoutMs, except);
    seen.msToReport = NowMs() - pressed;
    if (!seen.report) {
        return seen;
    }
    seen.iconicAtReport = IsIconic(app.dialog) != FALSE;
    seen.visibleAtReport = IsWindowVisible(app.dialog) != FALSE;
    seen.dialogEnabledAtReport = IsWindowEnabled(app.dialog) != FALSE;
    seen.workersAtReport = WorkerThreads(app);
    seen.reportOwner = GetWindow(seen.report, GW_OWNER);
    seen.reportText = MessageBoxText(seen.report);
    return seen;
}
