// Presses Space, Enter and Esc in turn, one about every 300 ms, on the
// desktop it runs on, as a person at the keyboard would: each key goes to
// whatever window has the focus there. The test kit's check runs the dialog
// tests beside it; none of the programs they start may get a key.
//
// usage: input_noise FILE
//   runs while FILE exists
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        (void)fputs("usage: input_noise FILE\n", stderr);
        return 2;
    }
    const WORD keys[] = {VK_SPACE, VK_RETURN, VK_ESCAPE};
    unsigned pressed = 0;
    while (GetFileAttributesW(argv[1]) != INVALID_FILE_ATTRIBUTES) {
        INPUT press[2] = {};
        press[0].type = press[1].type = INPUT_KEYBOARD;
        press[0].ki.wVk = press[1].ki.wVk = keys[pressed % 3];
        press[1].ki.dwFlags = KEYEVENTF_KEYUP;
        pressed += SendInput(2, press, sizeof(INPUT)) == 2;
        Sleep(300);
    }
    printf("input_noise: pressed %u keys\n", pressed);
    return 0;
}
