// Drives the real program from another process, as a user would: starts it,
// finds its windows, clicks, types, and reads state back through messages.
// Every wait has a bound.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct DozemarkProcess {
    PROCESS_INFORMATION info = {};
    HWND dialog = nullptr;
};

// Starts the program (the built one unless a path is given) and waits, up
// to timeoutMs, for its dialog.
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
// A press of a button: BM_CLICK, posted so the caller is not held up by
// whatever the press starts.
void Click(HWND button);
void ClickItem(HWND dialog, int id);
// Typed characters, posted as WM_CHAR.
void Type(HWND control, const std::wstring& text);
// Selects the whole field and deletes it with Backspace.
void ClearField(HWND edit);
// A key press (down and up) sent to a window's queue.
void PressKey(HWND window, UINT virtualKey);

// Whether the window's thread answers a message within timeoutMs.
bool IsResponsive(HWND window, UINT timeoutMs = 250);
// Threads the process has right now, or -1.
int CountThreads(DWORD processId);

// Waits a little while the target process handles what was posted to it.
void Settle(DWORD ms = 150);

extern const wchar_t kDialogCaption[];
extern const wchar_t kReportCaption[];
