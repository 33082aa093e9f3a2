// The running program with its dialog, for tests that work it from outside.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/dialog_driver.h"
#include "tests/harness/report_format.h"
#include "tests/narrow_text.h"

class DialogTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ("", StartDozemark(&app_)); }

    void TearDown() override { StopDozemark(&app_); }

    DWORD Pid() const { return app_.info.dwProcessId; }
    HWND Item(int id) const { return GetDlgItem(app_.dialog, id); }
    std::wstring Seconds() const { return WindowText(Item(IDC_SECONDS)); }

    void PrepareRun(bool minimize, bool hide, bool thread, const wchar_t* seconds) {
        ::PrepareRun(app_, minimize, hide, thread, seconds);
    }

    RunObservation PressRun() { return ::PressRun(app_, reports_); }

    // Presses Run and checks that the run lasted one second, left 1 in the
    // field and was reported; closes the report. *seen gets what it saw.
    void ExpectOneSecondRun(RunObservation* seen = nullptr) {
        RunObservation observed = PressRun();
        if (seen) {
            *seen = observed;
        }
        ASSERT_NE(nullptr, observed.report) << "no report within " << kReportMs / 1000 << " s";
        EXPECT_EQ("1", Narrow(Seconds()));
        // The run ends after 1,000 ms by its own clock, which may be a step
        // behind the counter the press was timed with. How long it slept, by
        // that clock, does not depend on how busy the test program was.
        EXPECT_GE(observed.msToReport + kClockStepMs, 1000.0);
        EXPECT_LT(SleptMs(observed.reportText), 30000u) << "longer than a one-second run";
        CloseReport(observed.report);
        EXPECT_TRUE(IsResponsive(app_.dialog));
    }

    void CloseReport(HWND report) {
        PressOk(report);
        EXPECT_TRUE(WaitForWindowGone(report, kAnswerMs)) << "the report did not close";
    }

    void CheckRun(bool minimize, bool hide, bool thread);

    // Sum of the report's third column: the time spent sleeping.
    static uint64_t SleptMs(const std::wstring& text) {
        std::vector<ReportLine> lines;
        std::string error;
        EXPECT_TRUE(ParseReport(text, &lines, &error)) << error << "\n" << Narrow(text);
        uint64_t total = 0;
        for (const ReportLine& line : lines) {
            total += line.totalMs;
        }
        return total;
    }

    DozemarkProcess app_;
    std::vector<HWND> reports_;
};
