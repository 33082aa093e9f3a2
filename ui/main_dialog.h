// The procedure of the main dialog, IDD_MAIN.
#pragma once

#include <windows.h>

#include "measure/run_options.h"

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The options shown by the dialog's controls, with the seconds clamped and
// written back into their field.
RunOptions ReadRunOptions(HWND window);
