#include <windows.h>

#include "report/report_text.h"

void ShowReport(const DelayHistogram& histogram) {
    const std::wstring text = BuildReportText(histogram);
    // No owner: the dialog stays enabled while the report is up.
    MessageBoxW(nullptr, text.c_str(), L"Sleep(1) の経過時間", MB_ICONINFORMATION);
}
