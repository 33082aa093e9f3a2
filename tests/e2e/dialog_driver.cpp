#include "tests/e2e/dialog_driver.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "resources/resource.h"
#include "tests/harness/harness.h"
#include "tests/narrow_text.h"

const wchar_t kDialogCaption[] = L"Dozemark";
const wchar_t kReportCaption[] = L"Sleep(1) の経過時間";

namespace {

// A Toolhelp snapshot, taken again while it fails with ERROR_BAD_LENGTH (a
// module loading), as its documentation says.
HANDLE Snapshot(DWORD flags, DWORD processId) {
    HANDLE snapshot = INVALID_HANDLE_VALUE;
    PollUntil(kAnswerMs, [&] {
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

// THREAD_BASIC_INFORMATION (class 0): exit status, TEB, ids and the rest.
struct ThreadBasics {
    LONG exitStatus;
    const BYTE* teb;
    ULONG_PTR rest[4];
};

// The code section of the process's first module, its program; the list is
// read again while it changes and the process lives.
bool CodeSection(HANDLE process, ULONG_PTR* code, ULONG_PTR* codeEnd) {
    HMODULE modules[1] = {};
    IMAGE_DOS_HEADER dos = {};
    IMAGE_NT_HEADERS64 nt = {};
    DWORD needed = 0;
    HMODULE& image = modules[0];
    const auto listed = [&] { return EnumProcessModules(process, modules, sizeof(modules), &needed) && image; };
    if (!PollUntil(kAnswerMs, [&] { return listed() || WaitForSingleObject(process, 0) != WAIT_TIMEOUT; }) || !image ||
        !Read(process, image, &dos) || !Read(process, reinterpret_cast<const BYTE*>(image) + dos.e_lfanew, &nt)) {
        return false;
    }
    *code = reinterpret_cast<ULONG_PTR>(image) + nt.OptionalHeader.BaseOfCode;
    *codeEnd = *code + nt.OptionalHeader.SizeOfCode;
    return true;
}

// The offset above the stack pointer of an address in [code, codeEnd) on the
// thread's live stack (read with the thread held), or -1; *address is it.
long long CodeOnLiveStack(HANDLE process, QueryThreadFn query, HANDLE thread, ULONG_PTR code, ULONG_PTR codeEnd,
                          ULONG_PTR* address) {
    ThreadBasics basics = {};
    NT_TIB tib = {};
    if (query(thread, 0, &basics, sizeof(basics), nullptr) != 0 || !Read(process, basics.teb, &tib) ||
        SuspendThread(thread) == static_cast<DWORD>(-1)) {
        return -1;
    }
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_CONTROL;
    std::vector<ULONG_PTR> stack;
    SIZE_T read = 0;
    const ULONG_PTR base = reinterpret_cast<ULONG_PTR>(tib.StackBase);
    if (GetThreadContext(thread, &context) && context.Rsp < base && base - context.Rsp <= (ULONG_PTR{64} << 20)) {
        stack.resize((base - context.Rsp) / sizeof(ULONG_PTR));
        ReadProcessMemory(process, reinterpret_cast<const void*>(context.Rsp), stack.data(),
                          stack.size() * sizeof(ULONG_PTR), &read);
    }
    ResumeThread(thread);
    stack.resize(read / sizeof(ULONG_PTR));
    const auto found = std::find_if(stack.begin(), stack.end(), [&](ULONG_PTR v) { return v >= code && v < codeEnd; });
    if (found == stack.end()) {
        return -1;
    }
    *address = *found;
    return (found - stack.begin()) * static_cast<long long>(sizeof(ULONG_PTR));
}

// The name of a window station or desktop.
std::wstring ObjectName(HANDLE object) {
    wchar_t name[MAX_PATH] = L"";
    GetUserObjectInformationW(object, UOI_NAME, name, sizeof(name) - sizeof(wchar_t), nullptr);
    return name;
}

std::string Hex(ULONG_PTR value) {
    char text[32];
    (void)snprintf(text, sizeof(text), "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

// A format is kept as its memory's bytes, as an enhanced metafile's bits, or
// not at all where Windows makes it from another (a bitmap and a palette
// from the DIB, a metafile picture from the enhanced metafile). Display and
// private formats, drawn by their program or of any kind, cannot be kept.
enum class Keeping { Bytes, MetafileBits, MadeAgain, Impossible };

Keeping HowToKeep(UINT format) {
    switch (format) {
    case CF_BITMAP: case CF_PALETTE: case CF_METAFILEPICT: return Keeping::MadeAgain;
    case CF_ENHMETAFILE: return Keeping::MetafileBits;
    case CF_OWNERDISPLAY: case CF_DSPBITMAP: case CF_DSPMETAFILEPICT: case CF_DSPENHMETAFILE: return Keeping::Impossible;
    default: return format >= CF_PRIVATEFIRST && format <= CF_PRIVATELAST ? Keeping::Impossible : Keeping::Bytes;
    }
}

void PutOnClipboard(UINT format, const void* bytes, size_t size) {
    if (format == CF_ENHMETAFILE) {
        HENHMETAFILE metafile = SetEnhMetaFileBits(static_cast<UINT>(size), static_cast<const BYTE*>(bytes));
        if (metafile && !SetClipboardData(format, metafile)) {
            DeleteEnhMetaFile(metafile);
        }
    } else if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size ? size : 1)) {
        if (size) {
            memcpy(GlobalLock(memory), bytes, size);
            GlobalUnlock(memory);
        }
        if (!SetClipboardData(format, memory)) {
            GlobalFree(memory);
        }
    }
}

// Keeps the clipboard's data out of its history and the cloud clipboard.
UINT NotForHistoryFormat() { return RegisterClipboardFormatW(L"ExcludeClipboardContentFromMonitorProcessing"); }

// Marks a test's text, another kit's too: never kept as the user's.
UINT LentFormat() { return RegisterClipboardFormatW(L"Dozemark test text"); }

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

// The pixels of a window's child as its process draws them (PrintWindow);
// under Wine, which draws nothing, as the desktop shows them. On Windows the
// screen shows only the input desktop. `*why` says what failed.
std::vector<COLORREF> ChildPixels(HWND window, HWND child, int* width, int* height, bool* printed, std::string* why) {
    RECT outer, inner;
    GetWindowRect(window, &outer);
    GetWindowRect(child, &inner);
    *width = inner.right - inner.left;
    *height = inner.bottom - inner.top;
    Canvas canvas(outer.right - outer.left, outer.bottom - outer.top);
    *printed = PrintWindow(window, canvas.memory, 0) != FALSE;
    *why = *printed ? "PrintWindow drew nothing" : "PrintWindow failed";
    std::vector<COLORREF> pixels = canvas.Pixels(inner.left - outer.left, inner.top - outer.top, *width, *height);
    if (IsBlank(pixels) && OptionalFunction<void (*)()>(L"ntdll.dll", "wine_get_version")) {
        BitBlt(canvas.memory, 0, 0, *width, *height, canvas.screen, inner.left, inner.top, SRCCOPY);
        pixels = canvas.Pixels(0, 0, *width, *height);
        *why = "nothing drawn on the desktop either";
    }
    return pixels;
}

} // namespace

// SMTO_NORMAL: meanwhile this thread answers what is sent to its windows.
LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kAnswerMs, &result)
               ? static_cast<LRESULT>(result)
               : 0;
}

DozemarkProcess::~DozemarkProcess() { StopDozemark(this); }

double NowMs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

HWND FindProcessWindow(DWORD processId, const std::wstring& caption, const std::vector<HWND>& except) {
    // FindWindowExW sends no message: a busy window cannot hold it up.
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
    std::wstring desktop = ObjectName(GetProcessWindowStation()) + L"\\" +
                           ObjectName(GetThreadDesktop(GetCurrentThreadId()));
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.lpDesktop = &desktop[0];
    std::wstring commandLine = L"\"" + path + L"\"";
    // Tried again a second later (a scanner may hold the new file); held
    // until it is in the job, so that nothing of it escapes.
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
        BOOL inJob = FALSE;
        if (IsProcessInJob(GetCurrentProcess(), nullptr, &inJob) && inJob) {
            why += ": this test program runs in a job that refuses one nested in it (one with UI limits, say, from a "
                   "sandbox or a management tool); start run-tests.cmd from Explorer or a plain command prompt";
        }
        StopDozemark(app);
        return why;
    }
    ResumeThread(app->info.hThread);
    return "";
}

std::string StartDozemark(DozemarkProcess* app, const std::wstring& path) {
    // Now and then, under Wine, a program ends at once: started once more.
    std::string why;
    for (int attempt = 1; attempt <= 2; ++attempt) {
        why = StartProgram(app, path.empty() ? ProgramPath() : path);
        if (!why.empty()) {
            return why;
        }
        // A program that has ended is not waited for.
        DWORD code = STILL_ACTIVE;
        PollUntil(kAnswerMs, [&] {
            app->dialog = FindProcessWindow(app->info.dwProcessId, kDialogCaption);
            return app->dialog || (code = WaitForExit(*app, 0)) != STILL_ACTIVE;
        });
        if (app->dialog || code == STILL_ACTIVE) {
            return app->dialog ? "" : "the dialog did not appear within " + std::to_string(kAnswerMs / 1000) + " s";
        }
        why = "the program ended with code " + Hex(code) + " before its dialog appeared";
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
    bool printed = true;
    std::string why;
    PollUntil(kAnswerMs, [&] { return !IsBlank(shown = ChildPixels(box, icon, &width, &height, &printed, &why)) || !printed; });
    if (IsBlank(shown)) {
        return "an icon with nothing drawn: " + why;
    }
    // Windows' own, each drawn the same size over the same background: the
    // closest is the one shown.
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

bool IsChecked(HWND dialog, int id) { return Send(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void SetChecked(HWND dialog, int id, bool checked) {
    Send(GetDlgItem(dialog, id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Press(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void PressOk(HWND box) { Press(box, IDOK); }

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

Workers FindWorkers(const DozemarkProcess& app) {
    Workers found;
    const auto query = OptionalFunction<QueryThreadFn>(L"ntdll.dll", "NtQueryInformationThread");
    ULONG_PTR code = 0, codeEnd = 0;
    const OwnedHandle snapshot(Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!query || !CodeSection(app.info.hProcess, &code, &codeEnd) || !snapshot) {
        return {-1, "cannot read the program's code or its threads (error " + std::to_string(GetLastError()) + ")"};
    }
    const DWORD dialogThread = GetWindowThreadProcessId(app.dialog, nullptr);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot.handle, &entry); more; more = Thread32Next(snapshot.handle, &entry)) {
        if (entry.th32OwnerProcessID != app.info.dwProcessId || entry.th32ThreadID == dialogThread) {
            continue;
        }
        // One that has ended since cannot be opened, or has an exit code.
        const OwnedHandle thread(OpenThread(THREAD_QUERY_INFORMATION | THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT,
                                            FALSE, entry.th32ThreadID));
        DWORD exitCode = 0;
        if (!thread || !GetExitCodeThread(thread.handle, &exitCode) || exitCode != STILL_ACTIVE) {
            continue;
        }
        ULONG_PTR address = 0, start = 0;
        const long long at = CodeOnLiveStack(app.info.hProcess, query, thread.handle, code, codeEnd, &address);
        if (at >= 0) {
            query(thread.handle, 9 /* ThreadQuerySetWin32StartAddress */, &start, sizeof(start), nullptr);
            ++found.count;
            found.threads += "\n  thread " + std::to_string(entry.th32ThreadID) + ", started at " + Hex(start) +
                             ": the program's code " + Hex(address) + " at " + std::to_string(at) +
                             " bytes above its stack pointer";
        }
    }
    return found;
}

std::wstring ModulePathIn(DWORD processId, const wchar_t* module) {
    const OwnedHandle snapshot(Snapshot(TH32CS_SNAPMODULE, processId));
    if (!snapshot) {
        return L"?";
    }
    std::wstring found;
    MODULEENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Module32FirstW(snapshot.handle, &entry); more; more = Module32NextW(snapshot.handle, &entry)) {
        if (_wcsicmp(entry.szModule, module) == 0) {
            found = entry.szExePath;
        }
    }
    return found;
}

namespace {

// Keeps what the clipboard holds in `formats`: "" or why it cannot. What asks
// to stay out of the clipboard history (a password, say) is not even read.
std::string KeepWhatIsThere(std::vector<BorrowedClipboard::Saved>* formats) {
    if (IsClipboardFormatAvailable(NotForHistoryFormat()) ||
        IsClipboardFormatAvailable(RegisterClipboardFormatW(L"CanIncludeInClipboardHistory"))) {
        return "cannot keep: it asks to be kept out of the clipboard history";
    }
    for (UINT format = EnumClipboardFormats(0); format; format = EnumClipboardFormats(format)) {
        const Keeping how = HowToKeep(format);
        HANDLE data = how == Keeping::MadeAgain || how == Keeping::Impossible ? nullptr : GetClipboardData(format);
        if (data && how == Keeping::MetafileBits) {
            auto* metafile = static_cast<HENHMETAFILE>(data);
            std::vector<char> bits(GetEnhMetaFileBits(metafile, 0, nullptr));
            GetEnhMetaFileBits(metafile, static_cast<UINT>(bits.size()), reinterpret_cast<BYTE*>(bits.data()));
            formats->push_back({format, std::move(bits)});
        } else if (const char* bytes = data ? static_cast<const char*>(GlobalLock(data)) : nullptr) {
            formats->push_back({format, std::vector<char>(bytes, bytes + GlobalSize(data))});
            GlobalUnlock(data);
        } else if (how != Keeping::MadeAgain) {
            return "cannot keep: its data of format " + std::to_string(format) + " is not copied or cannot be read";
        }
    }
    return GetLastError() == ERROR_SUCCESS ? "" : "cannot keep: its formats cannot be listed"; // ERROR_SUCCESS: its end
}

bool OpenWithin(HWND window, std::string* answer) {
    if (!PollUntil(kAnswerMs, [&] { return OpenClipboard(window) != FALSE; })) {
        *answer = "another program held the clipboard for " + std::to_string(kAnswerMs / 1000) + " s";
        return false;
    }
    return true;
}

void LendFrom(BorrowedClipboard* clipboard, HWND window) {
    // A program that renders its data only when asked must answer at all.
    HWND owner = GetClipboardOwner();
    DWORD_PTR answer = 0;
    if (owner && !IsClipboardFormatAvailable(LentFormat()) &&
        !SendMessageTimeoutW(owner, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs, &answer)) {
        clipboard->answer = "cannot keep: its owner does not answer (error " + std::to_string(GetLastError()) + ")";
        return;
    }
    if (!OpenWithin(window, &clipboard->answer)) {
        return;
    }
    std::vector<BorrowedClipboard::Saved> formats;
    const bool keep = !IsClipboardFormatAvailable(LentFormat());
    clipboard->answer = keep ? KeepWhatIsThere(&formats) : "";
    if (keep && clipboard->answer.empty()) {
        printf("the clipboard: %zu format(s) read on the desktop \"%s\"\n", formats.size(),
               Narrow(clipboard->desktop).c_str());
        clipboard->formats = std::move(formats);
        clipboard->saved = true;
    }
    if (clipboard->answer.empty()) {
        EmptyClipboard();
        PutOnClipboard(CF_UNICODETEXT, clipboard->text.c_str(), (clipboard->text.size() + 1) * sizeof(wchar_t));
        PutOnClipboard(NotForHistoryFormat(), nullptr, 0);
        PutOnClipboard(LentFormat(), nullptr, 0);
        clipboard->answer = IsClipboardFormatAvailable(CF_UNICODETEXT) ? "" : "the text did not stay there";
    }
    CloseClipboard();
}

void GiveBackFrom(BorrowedClipboard* clipboard, HWND window) {
    if (!clipboard->saved || !OpenWithin(window, &clipboard->answer)) {
        return;
    }
    // Looked at with the clipboard open, so that nothing comes between: what a
    // program has put there since, but a test's text, is newer and stays.
    const bool lent = IsClipboardFormatAvailable(LentFormat()) != FALSE;
    if (lent) {
        EmptyClipboard();
        for (const BorrowedClipboard::Saved& format : clipboard->formats) {
            PutOnClipboard(format.format, format.bytes.data(), format.bytes.size());
        }
    }
    CloseClipboard();
    clipboard->answer = lent ? std::to_string(clipboard->formats.size()) + " format(s) put back on the desktop \"" +
                                   Narrow(clipboard->desktop) + "\""
                             : "another program has put something there since: it stays";
}

struct ClipboardJob {
    BorrowedClipboard* clipboard;
    void (*job)(BorrowedClipboard*, HWND);
};

// A fresh thread is on the desktop the process was started on: only a thread
// that moves leaves it. Data put on the clipboard stays when its window goes.
DWORD WINAPI RunClipboardJob(void* parameter) {
    const auto* call = static_cast<const ClipboardJob*>(parameter);
    HWND window = CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    call->clipboard->desktop = ObjectName(GetThreadDesktop(GetCurrentThreadId()));
    call->clipboard->answer = window ? "" : "no window for the clipboard";
    if (window) {
        call->job(call->clipboard, window);
        DestroyWindow(window);
    }
    return 0;
}

std::string OnTheUsersDesktop(BorrowedClipboard* clipboard, void (*job)(BorrowedClipboard*, HWND)) {
    ClipboardJob call = {clipboard, job};
    const OwnedHandle thread(CreateThread(nullptr, 0, RunClipboardJob, &call, 0, nullptr));
    if (!thread) {
        return "no thread for the clipboard";
    }
    WaitForSingleObject(thread.handle, INFINITE);
    return clipboard->answer;
}

} // namespace

std::string Lend(BorrowedClipboard* clipboard, const std::wstring& text) {
    clipboard->text = text;
    return OnTheUsersDesktop(clipboard, LendFrom);
}

BorrowedClipboard::~BorrowedClipboard() {
    const std::string said = OnTheUsersDesktop(this, GiveBackFrom);
    if (!said.empty()) {
        printf("the clipboard: %s\n", said.c_str());
    }
}

void PrepareRun(const DozemarkProcess& app, bool minimize, bool hide, bool thread, const wchar_t* seconds) {
    SetChecked(app.dialog, IDC_MINIMIZE, minimize);
    SetChecked(app.dialog, IDC_HIDE, hide);
    SetChecked(app.dialog, IDC_SEPARATE_THREAD, thread);
    ClearField(GetDlgItem(app.dialog, IDC_SECONDS));
    Type(GetDlgItem(app.dialog, IDC_SECONDS), seconds);
}

RunObservation PressRun(const DozemarkProcess& app, const std::vector<HWND>& except) {
    RunObservation seen;
    const bool onThread = IsChecked(app.dialog, IDC_SEPARATE_THREAD), minimize = IsChecked(app.dialog, IDC_MINIMIZE),
               hide = IsChecked(app.dialog, IDC_HIDE);
    const auto reported = [&] { return FindProcessWindow(app.info.dwProcessId, kReportCaption, except) != nullptr; };
    const double pressed = NowMs();
    Press(app.dialog, IDC_RUN);
    // Under way once the dialog leaves a message unanswered for half a second
    // (idle, it answers at once), the window is as the options ask and the
    // worker, if any, runs; a program that never gets there is looked at late.
    seen.respondedDuring = !PollUntil(kAnswerMs, [&] { return reported() || !IsResponsive(app.dialog, 500); });
    PollUntil(kAnswerMs, [&] {
        const bool asAsked = (IsIconic(app.dialog) != FALSE) == minimize && (IsWindowVisible(app.dialog) != FALSE) == !hide;
        return reported() || (asAsked && (!onThread || FindWorkers(app).count != 0));
    });
    seen.iconicDuring = IsIconic(app.dialog) != FALSE;
    seen.visibleDuring = IsWindowVisible(app.dialog) != FALSE;
    const Workers during = FindWorkers(app);
    seen.workersDuring = during.count;
    seen.workerThreads = during.threads;
    // Taken inside the run if the run had not ended when the look was over.
    seen.lookedInside = !reported() && !IsResponsive(app.dialog, 500) && (!onThread || during.count > 0);
    seen.report = WaitForProcessWindow(app.info.dwProcessId, kReportCaption, kReportMs, except);
    seen.msToReport = NowMs() - pressed;
    if (!seen.report) {
        return seen;
    }
    seen.iconicAtReport = IsIconic(app.dialog) != FALSE;
    seen.visibleAtReport = IsWindowVisible(app.dialog) != FALSE;
    seen.dialogEnabledAtReport = IsWindowEnabled(app.dialog) != FALSE;
    seen.workersAtReport = FindWorkers(app).count;
    seen.reportOwner = GetWindow(seen.report, GW_OWNER);
    seen.reportText = MessageBoxText(seen.report);
    return seen;
}

RunObservation PressRunLookingInside(const DozemarkProcess& app, const std::vector<HWND>& except) {
    for (int attempt = 1;; ++attempt) {
        RunObservation seen = PressRun(app, except);
        if (seen.lookedInside || !seen.report || attempt == 3) {
            return seen;
        }
        printf("run %d ended before the test had looked at it; it is made again\n", attempt);
        PressOk(seen.report);
        WaitForWindowGone(seen.report, kAnswerMs);
    }
}
