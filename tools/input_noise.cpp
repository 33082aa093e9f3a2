// Presses Space, Enter and Esc in turn, one about every 300 ms, on the
// desktop it runs on, as a person at the keyboard would: each key goes to
// whatever window has the focus there. Like a person who copied something
// before, it first puts a text on the clipboard, rendered only when a
// program asks for it, and at the end says whether the clipboard holds
// that text again. The test kit's check runs the tests beside it; none of
// the programs they start may get a key, and the text must come back.
//
// usage: input_noise FILE
//   runs while FILE exists
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

const wchar_t kCopied[] = L"コピーしたテキスト (copied text) 1-2";

LRESULT CALLBACK RenderText(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_RENDERFORMAT && wParam == CF_UNICODETEXT) {
        if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof(kCopied))) {
            memcpy(GlobalLock(memory), kCopied, sizeof(kCopied));
            GlobalUnlock(memory);
            if (!SetClipboardData(CF_UNICODETEXT, memory)) {
                GlobalFree(memory);
            }
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool ClipboardHoldsTheText() {
    bool same = false;
    if (OpenClipboard(nullptr)) {
        HANDLE data = GetClipboardData(CF_UNICODETEXT);
        if (const auto* text = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr) {
            same = wcscmp(text, kCopied) == 0;
            GlobalUnlock(data);
        }
        CloseClipboard();
    }
    return same;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        (void)fputs("usage: input_noise FILE\n", stderr);
        return 2;
    }
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = RenderText;
    windowClass.lpszClassName = L"input_noise";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
    bool copied = window && OpenClipboard(window);
    if (copied) {
        // No data yet: the window renders it when asked.
        EmptyClipboard();
        SetClipboardData(CF_UNICODETEXT, nullptr);
        copied = IsClipboardFormatAvailable(CF_UNICODETEXT) != FALSE;
        CloseClipboard();
    }
    const WORD keys[] = {VK_SPACE, VK_RETURN, VK_ESCAPE};
    unsigned pressed = 0;
    while (GetFileAttributesW(argv[1]) != INVALID_FILE_ATTRIBUTES) {
        INPUT press[2] = {};
        press[0].type = press[1].type = INPUT_KEYBOARD;
        press[0].ki.wVk = press[1].ki.wVk = keys[pressed % 3];
        press[1].ki.dwFlags = KEYEVENTF_KEYUP;
        pressed += SendInput(2, press, sizeof(INPUT)) == 2;
        // Meanwhile it renders the text for whoever asks.
        for (const ULONGLONG until = GetTickCount64() + 300; GetTickCount64() < until;) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 300, QS_ALLINPUT);
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageW(&message);
            }
        }
    }
    printf("input_noise: pressed %u keys; the text it copied %s\n", pressed,
           !copied ? "could not be put on the clipboard" : ClipboardHoldsTheText() ? "is on the clipboard again"
                                                                                  : "is no longer on the clipboard");
    return 0;
}
