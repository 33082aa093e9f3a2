#include "report/report_text.h"

#include <iomanip>
#include <locale>
#include <ostream>
#include <sstream>

std::wstring BuildReportText(const DelayHistogram& histogram) {
    std::wostringstream text;
    // Plain digits whatever the user's locale: no grouping separators.
    text.imbue(std::locale::classic());
    text << std::right << std::setfill(L' ');
    for (const auto& [ms, count] : histogram) {
        // The total wraps modulo 2^32 like every other millisecond count here.
        const uint32_t totalMs = ms * static_cast<uint32_t>(count);
        text << std::setw(2) << ms << L" ms \u00D7 " << std::setw(5) << count << L"\t = "
             << std::setw(5) << totalMs << L" ms" << std::endl;
    }
    return text.str();
}
