// The run's report: one line per measured duration.
#pragma once

#include <string>

#include "measure/sleep_sampling.h"

// " 1 ms ×   950\t =   950 ms\n" per entry, in ascending order of duration.
std::wstring BuildReportText(const DelayHistogram& histogram);

#ifdef _WIN32
// Shows the report in a message box and returns once the user has closed it.
void ShowReport(const DelayHistogram& histogram);
#endif
