// Drives the real program from another process, as a user would: starts it,
// finds its windows, clicks, types, and reads state back through messages.
// Every wait has a bound, and no press needs the dialog to be active.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/harness/harness.h"

// How long the program may take to answer a message, to open or close a
// window, or to end: it will, unless something is wrong, so the bound is
// wide, for a busy PC; a passing test never waits it out.
constexpr DWORD kAnswerMs = 60000;
// How long a report may take to come: the longest run the dialog can make
// (60 s), and as much again.
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
// job, in `folder` if given: "" or why not, with Windows' error code and,
// where the test program's own job refuses a job inside it, what to do.
std::string StartProgram(DozemarkProcess* app, const std::wstring& path, const std::wstring& folder = std::wstring());
// Starts Dozemark (the built one unless a path is given) and waits for its
// dialog: "" or why not, with the exit code of a program that ended first
// (such as 0xC0000135, a DLL it needs is missing).
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

// The threads of the process, other than the dialog's, that are running the
// program's own code: an address in its code section on the live part of
// the stack, from the stack pointer (read with the thread suspended) to
// the base. A run's worker is one; a thread that Windows started in the
// process ran the program's code only for a moment (its TLS callbacks),
// and what that left below the stack pointer is not looked at. `error`
// says why the system could not tell; `threads` says, for each thread
// counted, its id, where it started and where the program's code lay.
struct Workers {
    int count = 0;
    std::string threads;
    std::string error;
};
Workers FindWorkers(const DozemarkProcess& app);

// Where the process loaded `module` from, "" if it has not, "?" if the
// system cannot say.
std::wstring ModulePathIn(DWORD processId, const wchar_t* module);

// The clipboard, lent to a test for text of its own (kept out of the
// clipboard history) and given back as the user had it when this goes out
// of scope. What the user had is read and put back by a thread that stays
// on the desktop the test program was started on, with a window of its
// own: the program that put it there may have to be asked for it (delayed
// rendering), and messages reach only windows of one desktop. The clipboard
// itself belongs to the window station, so the program under test pastes
// from it on the tests' desktop.
struct BorrowedClipboard {
    struct Saved {
        UINT format;
        std::vector<char> bytes;
    };
    OwnedHandle wake{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    OwnedHandle done{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    OwnedHandle thread;
    // What the clipboard thread is asked to do next, and what it says.
    void (*job)(BorrowedClipboard*) = nullptr;
    std::wstring text;
    std::string answer;
    HWND window = nullptr;
    std::wstring desktop;
    bool saved = false;
    std::vector<Saved> formats;

    BorrowedClipboard();
    BorrowedClipboard(const BorrowedClipboard&) = delete;
    BorrowedClipboard& operator=(const BorrowedClipboard&) = delete;
    ~BorrowedClipboard();
};
// Puts the text on the clipboard (again: another program may have changed
// it meanwhile); what was there before, unless it was the test's own, is
// kept first. "" when the text is there; "cannot keep: ..." when what the
// clipboard holds could not be kept (its program does not answer, or it is
// of a kind this cannot copy), and the clipboard is left as it was;
// otherwise why the clipboard could not be had within kAnswerMs.
std::string Lend(BorrowedClipboard* clipboard, const std::wstring& text);

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
    // Whether the look "during" the run was taken before the run ended: a
    // test program held up for longer than a run looks only afterwards.
    bool lookedInside = false;
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
// waits for a report (other than those in `except`) and looks again.
RunObservation PressRun(const DozemarkProcess& app, const std::vector<HWND>& except = {});
// PressRun until the look during the run was taken inside it, three times
// at most; each report but the last is closed.
RunObservation PressRunLookingInside(const DozemarkProcess& app, const std::vector<HWND>& except = {});
