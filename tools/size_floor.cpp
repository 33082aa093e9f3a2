// The smallest program that needs what the report needs: a wide string
// stream in the classic locale, shown in a message box. Built with the same
// toolchain and flags as dozemark.exe, its size is the floor that the
// release check measures the program against.
#include <windows.h>

#include <locale>
#include <sstream>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::wostringstream text;
    text.imbue(std::locale::classic());
    text << 42u << L" ms" << std::endl;
    const std::wstring shown = text.str();
    MessageBoxW(nullptr, shown.c_str(), L"floor", MB_ICONINFORMATION);
    return 0;
}
