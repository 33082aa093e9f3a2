#include "ui/main_dialog.h"

#include <process.h>

#include "measure/measure_worker.h"
#include "measure/os_calls_win32.h"
#include "report/report_text.h"
#include "resources/resource.h"
#include "ui/run_sequence.h"

namespace {

void SetCheck(HWND window, int id, WPARAM state) {
    if (HWND control = GetDlgItem(window, id)) {
        SendMessageW(control, BM_SETCHECK, state, 0);
    }
}

// A control that cannot be found reads as unchecked.
bool IsChecked(HWND window, int id) {
    HWND control = GetDlgItem(window, id);
    return control && SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void InitMainDialog(HWND window) {
    SetCheck(window, IDC_CALL_SETPROCESSINFORMATION, BST_UNCHECKED);
    SetCheck(window, IDC_CALL_TIMEBEGINPERIOD, BST_CHECKED);
    SetCheck(window, IDC_MINIMIZE, BST_CHECKED);
    SetCheck(window, IDC_HIDE, BST_UNCHECKED);
    SetCheck(window, IDC_SEPARATE_THREAD, BST_CHECKED);
    SetDlgItemInt(window, IDC_SECONDS, 10, FALSE);
    SendDlgItemMessageW(window, IDC_SECONDS, EM_LIMITTEXT, 2, 0);
}

void ShowWindowCall(void* window, int command) {
    ShowWindow(static_cast<HWND>(window), command);
}

void* StartWorker(WorkerParams* params) {
    unsigned threadId = 0;
    return reinterpret_cast<void*>(_beginthreadex(nullptr, 0, MeasureSleep, params, 0, &threadId));
}

void WaitForWorker(void* thread) {
    WaitForSingleObject(thread, INFINITE);
}

void CloseWorker(void* thread) {
    CloseHandle(thread);
}

void MeasureHere(WorkerParams* params) {
    MeasureSleep(params);
}

void ShowRunError(RunError error) {
    const wchar_t* text = error == RunError::TimerFunctionsUnavailable ? L"winmm.dll を読み込めませんでした。"
                                                                       : L"計測スレッドを開始できませんでした。";
    // No owner, as the report: the dialog stays usable under it.
    MessageBoxW(nullptr, text, L"Dozemark", MB_ICONERROR);
}

const RunSequenceCalls kRunSequenceCalls = {
    TimerFunctionsAvailable, ShowWindowCall, StartWorker, WaitForWorker, CloseWorker, MeasureHere, ShowReport,
    ShowRunError,
};

} // namespace

RunOptions ReadRunOptions(HWND window) {
    RunOptions options;
    options.callSetProcessInformation = IsChecked(window, IDC_CALL_SETPROCESSINFORMATION);
    options.callTimePeriod = IsChecked(window, IDC_CALL_TIMEBEGINPERIOD);
    options.minimizeWindow = IsChecked(window, IDC_MINIMIZE);
    options.hideWindow = IsChecked(window, IDC_HIDE);
    options.useWorkerThread = IsChecked(window, IDC_SEPARATE_THREAD);
    options.seconds = ClampRunSeconds(GetDlgItemInt(window, IDC_SECONDS, nullptr, FALSE));
    // The field always shows the length the run uses.
    SetDlgItemInt(window, IDC_SECONDS, static_cast<UINT>(options.seconds), FALSE);
    return options;
}

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        InitMainDialog(window);
        // FALSE: leave the keyboard focus where the system put it.
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDCANCEL:
            EndDialog(window, static_cast<INT_PTR>(wParam));
            return TRUE;
        case IDC_RUN:
            RunMeasurementSequence(window, ReadRunOptions(window), kRunSequenceCalls);
            return FALSE;
        }
        return FALSE;
    }
    return FALSE;
}
