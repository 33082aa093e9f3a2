// Drives the real program from another process, as a user would: starts it,
// finds its windows, clicks, types, and reads state back through messages.
// Every wait has a bound, and no press needs the dialog to be active.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/harness/harness.h"

// Bounds on what will come unless something is wrong, wide for a busy PC (a
// passing test never waits them out): an answer, a window, a program's end;
// a report, the longest run (60 s) and as much again.
constexpr DWORD kAnswerMs = 60000;
constexpr DWORD kReportMs = 120000;

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
// job, in `folder` if given: "" or why not.
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
// A button's BN_CLICKED, posted: BM_CLICK "might fail" on an inactive dialog.
void Press(HWND dialog, int id);
void PressOk(HWND box);
// A message sent to another process's window; 0 if unanswered in kAnswerMs.
LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// Characters sent as WM_CHAR: each taken (or refused) when this returns.
void Type(HWND control, const std::wstring& text);
// Selects the whole field and deletes it with Backspace.
void ClearField(HWND edit);
// A key press (down and up) posted to a window's queue.
void PressKey(HWND window, UINT virtualKey);
bool IsResponsive(HWND window, DWORD timeoutMs = kAnswerMs);

// The threads of the process, other than the dialog's, running the
// program's own code: an address in its code section on the live stack,
// from the stack pointer (the thread held meanwhile) to the base. A thread
// that ran the program's code once (a TLS callback) keeps it only below.
// `threads` names each one counted, or why none could be (count -1).
struct Workers {
    int count = 0;
    std::string threads;
};
Workers FindWorkers(const DozemarkProcess& app);

// Where the process loaded `module` from, "" if it has not, "?" if the
// system cannot say.
std::wstring ModulePathIn(DWORD processId, const wchar_t* module);

// The clipboard, lent to a test for text of its own and given back as the
// user had it when this goes out of scope. A thread that stays on the desktop
// the test program started on reads and puts back what is there: its owner,
// on that desktop, may render it only when asked. The clipboard belongs to
// the window station: the program pastes from it on the tests' desktop.
struct BorrowedClipboard {
    struct Saved {
        UINT format;
        std::vector<char> bytes;
    };
    std::wstring text;
    std::string answer;
    std::wstring desktop;
    bool saved = false;
    std::vector<Saved> formats;

    BorrowedClipboard() = default;
    BorrowedClipboard(const BorrowedClipboard&) = delete;
    BorrowedClipboard& operator=(const BorrowedClipboard&) = delete;
    ~BorrowedClipboard();
};
// Puts the text on the clipboard, keeping first whatever is there but a
// test's text: "", or "cannot keep: ..." (the clipboard is left as it was),
// or why the clipboard could not be had.
std::string Lend(BorrowedClipboard* clipboard, const std::wstring& text);

// Milliseconds from the high-resolution counter (GetTickCount64 moves in
// steps of 10 to 16 ms), and the coarsest such step, allowed for where a
// run's own timeGetTime readings are set against NowMs.
double NowMs();
constexpr double kClockStepMs = 16;

extern const wchar_t kDialogCaption[];
extern const wchar_t kReportCaption[];

// What a run looked like from outside.
struct RunObservation {
    bool lookedInside = false; // the look "during" came before the run ended
    int workersDuring = -1;
    std::string workerThreads;
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
// waits for a report (other than those in `except`) and looks again; the
// second, until the look was inside the run, three times at most.
RunObservation PressRun(const DozemarkProcess& app, const std::vector<HWND>& except = {});
RunObservation PressRunLookingInside(const DozemarkProcess& app, const std::vector<HWND>& except = {});
