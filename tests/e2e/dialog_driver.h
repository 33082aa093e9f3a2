// Drives the real program from another process, as a user would: starts it,
// finds its windows, clicks, types, and reads state back through messages.
// Every wait has a bound, and nothing depends on which window Windows lets
// be active: buttons are pressed with the command their click would send.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A program a test started. It is ended when this goes out of scope, so
// that no way out of a test (a failed ASSERT included) leaves it running.
struct DozemarkProcess {
    PROCESS_INFORMATION info = {};
    HWND dialog = nullptr;

    DozemarkProcess() = default;
    DozemarkProcess(const DozemarkProcess&) = delete;
    DozemarkProcess& operator=(const DozemarkProcess&) = delete;
    ~DozemarkProcess();
};

// Starts a program, in `folder` if one is given, and tracks it.
bool StartProgram(DozemarkProcess* app, const std::wstring& path, const std::wstring& folder = std::wstring());
// Starts Dozemark (the built one unless a path is given) and waits, up to
// timeoutMs, for its dialog.
bool StartDozemark(DozemarkProcess* app, DWORD timeoutMs = 20000, const std::wstring& path = std::wstring());
// Ends it the hard way if it is still running; closes the handles.
void StopDozemark(DozemarkProcess* app);
// Waits for the process to end; returns its exit code, or STILL_ACTIVE.
DWORD WaitForExit(const DozemarkProcess& app, DWORD timeoutMs);

// A visible top-level window of the process with this caption, other than
// those listed in `except`; null if there is none.
HWND FindProcessWindow(DWORD processId, const std::wstring& caption, const std::vector<HWND>& except = {});
// Polls until a window as above appears, up to timeoutMs.
HWND WaitForProcessWindow(DWORD processId, const std::wstring& caption, DWORD timeoutMs,
                          const std::vector<HWND>& except = {});
bool WaitForWindowGone(HWND window, DWORD timeoutMs);

std::wstring WindowText(HWND window);
// The text of a message box (its static control).
std::wstring MessageBoxText(HWND box);

bool IsChecked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool checked);
// A press of a dialog's button: the BN_CLICKED command posted to the
// dialog, which needs no activation (BM_CLICK "might fail" when the dialog
// is not active), and does not hold the caller up.
void Press(HWND dialog, int id);
// Presses a message box's OK button.
void PressOk(HWND box);
// A message sent to a window of another process, with a bound: a program
// that has stopped answering gives 0 after 5 s, and cannot hold the test up.
LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// Typed characters, sent as WM_CHAR: each has been taken (or refused) when
// this returns. (Posted, they would still be queued when a message sent
// next, such as WM_GETTEXT, is answered.)
void Type(HWND control, const std::wstring& text);
// Selects the whole field and deletes it with Backspace.
void ClearField(HWND edit);
// A key press (down and up) sent to a window's queue.
void PressKey(HWND window, UINT virtualKey);

// Whether the window's thread answers a message within timeoutMs.
bool IsResponsive(HWND window, UINT timeoutMs = 250);
// Waits, up to timeoutMs, until the window's thread stops answering; false
// if it never did.
bool WaitUntilBusy(HWND window, DWORD timeoutMs);

// Windows starts and ends threads of its own in every GUI process (the
// loader's workers, thread pools, input methods), so the process's thread
// count says little. A run's worker is told apart by where it starts: the
// C runtime's entry for threads made by _beginthreadex.
std::vector<DWORD> ThreadIds(DWORD processId);
// Threads of the process started by _beginthreadex that are not in
// `before`; -1 if the system cannot say.
int NewWorkerThreads(DWORD processId, const std::vector<DWORD>& before);
// The same, waited for up to timeoutMs until there is one.
int WaitForNewWorker(DWORD processId, const std::vector<DWORD>& before, DWORD timeoutMs);

// Where the process loaded `module` from, "" if it has not, "?" if the
// system cannot say.
std::wstring ModulePathIn(DWORD processId, const wchar_t* module);

// The clipboard, lent to a test for text of its own and given back as the
// user had it when this goes out of scope. It is opened with a window of
// the test's own (opened without one, it cannot be written) and waited for
// while another program holds it. The test's text is marked to stay out of
// the clipboard history and the cloud clipboard.
struct BorrowedClipboard {
    struct Saved {
        UINT format;
        std::vector<char> bytes;
    };
    HWND window;
    bool saved = false;
    std::vector<Saved> formats;

    BorrowedClipboard();
    BorrowedClipboard(const BorrowedClipboard&) = delete;
    BorrowedClipboard& operator=(const BorrowedClipboard&) = delete;
    ~BorrowedClipboard();
};
// Puts the text on the clipboard (again: another program may have changed
// it meanwhile); what the user had is kept the first time. False if the
// clipboard could not be had within 5 s.
bool Lend(BorrowedClipboard* clipboard, const std::wstring& text);

// Milliseconds from the high-resolution counter: GetTickCount64 moves in
// steps of 10 to 16 ms on Windows.
double NowMs();
// The coarsest step of Windows' millisecond clocks at their default
// resolution (15.625 ms), allowed for where a run's own timeGetTime
// readings are set against a time measured from outside.
constexpr double kClockStepMs = 16;

// Waits a little while the target process handles what was posted to it.
void Settle(DWORD ms = 150);

extern const wchar_t kDialogCaption[];
extern const wchar_t kReportCaption[];
