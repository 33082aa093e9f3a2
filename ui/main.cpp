// Entry point: the modal dialog is the whole program.
#include <windows.h>

#include "resources/resource.h"
#include "ui/main_dialog.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc, 0);
    return 0;
}
