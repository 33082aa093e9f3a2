// Opens the real dialog, presses Run with the default options, prints the
// report text and saves pictures of the dialog and of the report as BMP
// files. Used by the run command on machines without a display.
//
// usage: screenshot_tour OUTPUT_FOLDER
#include <windows.h>

#include <cstdio>
#include <string>

#include "resources/resource.h"
#include "tests/e2e/dialog_driver.h"

namespace {

// Copies the window's screen area into a 24-bit BMP file.
bool SaveWindowPicture(HWND window, const std::wstring& path) {
    RECT rect;
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    const DWORD stride = static_cast<DWORD>((width * 3 + 3) & ~3);
    const DWORD imageSize = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
    file.bfSize = file.bfOffBits + imageSize;
    bool saved = false;
    if (FILE* out = _wfopen(path.c_str(), L"wb")) {
        saved = fwrite(&file, sizeof(file), 1, out) == 1 &&
                fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, out) == 1 &&
                fwrite(bits, 1, imageSize, out) == imageSize;
        saved = fclose(out) == 0 && saved;
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

void PrintUtf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    // Best effort: the report goes to a terminal, nothing to do if it fails.
    (void)fwrite(bytes.data(), 1, bytes.size(), stdout);
    (void)fflush(stdout);
}

int Fail(const char* what) {
    (void)fprintf(stderr, "screenshot_tour: %s\n", what);
    return 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        (void)fputs("usage: screenshot_tour OUTPUT_FOLDER\n", stderr);
        return 2;
    }
    const std::wstring folder = std::wstring(argv[1]) + L"\\";
    DozemarkProcess app;
    const std::string why = StartDozemark(&app);
    if (!why.empty()) {
        return Fail(why.c_str());
    }
    Settle(500);
    if (!SaveWindowPicture(app.dialog, folder + L"dialog.bmp")) {
        return Fail("cannot save dialog.bmp");
    }
    Press(app.dialog, IDC_RUN);
    // The default run lasts ten seconds.
    HWND report = WaitForProcessWindow(app.info.dwProcessId, kReportCaption, kReportMs);
    if (!report) {
        return Fail("no report within 120 s");
    }
    Settle(500);
    PrintUtf8(MessageBoxText(report));
    if (!SaveWindowPicture(report, folder + L"report.bmp")) {
        return Fail("cannot save report.bmp");
    }
    PressOk(report);
    WaitForWindowGone(report, kAnswerMs);
    PressKey(GetDlgItem(app.dialog, IDC_SECONDS), VK_ESCAPE);
    return WaitForExit(app, kAnswerMs) == 0 ? 0 : 1;
}
