// Drives the real program from another process, as a user would: starts it,
// finds its windows, clicks, types, and reads state back through messages.
// Every wait has a bound, and no press needs the dialog to be active.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/harness/harness.h"

// How long the program may take to answer wherever a test needs an answer:
// enough for a throttled laptop, and when Windows takes a program for hung.
constexpr DWORD kAnswerMs = 5000;

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

// Starts a program on this thread's desktop and in the started programs'
// job, in `folder` if given: "" or why not, with Windows' error code.
std::string StartProgram(DozemarkProcess* app, const std::wstring& path, const std::wstring& folder = std::wstring());
// Starts Dozemark (the built one unless a path is given) and waits for its
// dialog: "" or why not.
std::string StartDozemark(DozemarkProcess* app, const std::wstring& path = std::wstring());
// Ends it the hard way if it is still running; closes the handles.
void StopDozemark(DozemarkProcess* app);
// Waits for the process to end; returns its exit code, or STILL_ACTIVE.
DWORD WaitForExit(const DozemarkProcess& app, DWORD timeoutMs);

// A visible top-level window of the process with this caption, other than
// those in `except`; null if there is none.
HWND FindProcessWindow(DWORD processId, const std::wstring& caption, const std::vector<HWND>& except = {});
HWND WaitForProcessWindow(DWORD processId, const std::wstring& caption, DWORD timeoutMs,
                          const std::vector<HWND>& except = {});
bool WaitForWindowGone(HWND window, DWORD timeoutMs);

std::wstring WindowText(HWND window);
// The text of a message box (its static control).
std::wstring MessageBoxText(HWND box);
// Which of Windows' message-box icons a box shows, as the user sees it:
// "information", "warning", "error" or "question"; otherwise what is wrong.
std::string ShownIcon(HWND box);

bool IsChecked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool checked);
// A press of a button: its BN_CLICKED command, posted, which needs no
// activation (BM_CLICK "might fail" when the dialog is not active).
void Press(HWND dialog, int id);
void PressOk(HWND box);
// A message sent to a window of another process, given up after kAnswerMs
// (then 0): a program that has stopped answering cannot hold the test up.
LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// Typed characters, sent as WM_CHAR: each has been taken (or refused) when
// this returns, unlike posted ones.
void Type(HWND control, const std::wstring& text);
// Selects the whole field and deletes it with Backspace.
void ClearField(HWND edit);
// A key press (down and up) posted to a window's queue.
void PressKey(HWND window, UINT virtualKey);
bool IsResponsive(HWND window, DWORD timeoutMs = kAnswerMs);

// Threads of the process, other than the dialog's, with the program's own
// code on their stack: a run's worker, and none of the threads Windows
// starts in every GUI process. -1 if the system cannot say.
int WorkerThreads(const DozemarkProcess& app);

// Where the process loaded `module` from, "" if it has not, "?" if the
// system cannot say.
std::wstring ModulePathIn(DWORD processId, const wchar_t* module);

// The clipboard, lent to a test for text of its own (kept out of the
// clipboard history) and given back as the user had it when this goes out
// of scope. It is opened with a window of the test's own: opened without
// one, it cannot be written.
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
// clipboard could not be had within kAnswerMs.
bool Lend(BorrowedClipboard* clipboard, const std::wstring& text);

// Milliseconds from the high-resolution counter (GetTickCount64 moves in
// steps of 10 to 16 ms).
double NowMs();
// The coarsest step of Windows' millisecond clocks (15.625 ms), allowed for
// where a run's own timeGetTime readings are set against NowMs.
constexpr double kClockStepMs = 16;

extern const wchar_t kDialogCaption[];
extern const wchar_t kReportCaption[];

// What a run looked like from outside.
struct RunObservation {
    int workersDuring = -1;
    bool iconicDuring = false;
    bool visibleDuring = false;
    bool respondedDuring = true;
    HWND report = nullptr;
    double msToReport = 0;
    bool iconicAtReport = true;
    bool visibleAtReport = false;
    bool dialogEnabledAtReport = false;
    int workersAtReport = -1;
    HWND reportOwner = nullptr;
    std::wstring reportText;
};

// Sets the window and thread options and types the run length into the
// emptied seconds field.
void PrepareRun(const DozemarkProcess& app, bool minimize, bool hide, bool thread, const wchar_t* seconds);
// Presses Run and looks at the process once the run is under way, then
// waits for a report (other than those in `except`) and looks again. A test
// that must see inside a run makes it last long enough for a test program
// that is held up meanwhile.
RunObservation PressRun(const DozemarkProcess& app, DWORD reportTimeoutMs = 15000,
                        const std::vector<HWND>& except = {});
