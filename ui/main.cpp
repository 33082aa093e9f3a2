// Entry point: the modal dialog is the whole program.
#include <windows.h>

#include "resources/resource.h"
#include "ui/main_dialog.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // First of all, before any window exists: from here on, a DLL that
    // anything in the process loads by name comes from System32, never
    // from the folder the exe was started from (often Downloads, beside
    // whatever else was downloaded). The dialog's input, theming and
    // accessibility components load DLLs of their own.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc, 0);
    return 0;
}
