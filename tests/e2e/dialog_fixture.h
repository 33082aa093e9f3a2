// The running program with its dialog, for tests that work it from outside.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/dialog_driver.h"
#include "tests/narrow_text.h"
#include "tests/wine/report_format.h"

// What a run looked like from outside.
struct RunObservation {
    // Worker threads (tests/e2e/dialog_driver.h) that were not there
    // before Run was pressed.
    int workersDuring = -1;
    bool iconicDuring = false;
    bool visibleDuring = false;
    bool respondedDuring = true;
    HWND report = nullptr;
    double msToReport = 0;
    bool iconicAtReport = true;
    bool visibleAtReport = false;
    bool dialogEnabledAtReport = false;
    int workersAtReport = -1;
    HWND reportOwner = nullptr;
    std::wstring reportText;
};

class DialogTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(StartDozemark(&app_)) << "the dialog did not appear within 20 s"; }

    void TearDown() override { StopDozemark(&app_); }

    DWORD Pid() const { return app_.info.dwProcessId; }
    HWND Item(int id) const { return GetDlgItem(app_.dialog, id); }
    std::wstring Seconds() const { return WindowText(Item(IDC_SECONDS)); }

    void SetWindowOptions(bool minimize, bool hide, bool thread) {
        SetChecked(app_.dialog, IDC_MINIMIZE, minimize);
        SetChecked(app_.dialog, IDC_HIDE, hide);
        SetChecked(app_.dialog, IDC_SEPARATE_THREAD, thread);
    }

    // Sets the window and thread options and types the run length into an
    // emptied seconds field.
    void PrepareRun(bool minimize, bool hide, bool thread, const wchar_t* seconds) {
        SetWindowOptions(minimize, hide, thread);
        ClearField(Item(IDC_SECONDS));
        Type(Item(IDC_SECONDS), seconds);
    }

    // Presses Run and looks at the process once the run has begun (the
    // dialog's thread then answers nothing: it is timing the sleeps, or
    // waiting for the thread that does; a run lasts at least a second),
    // then waits for the report and looks again.
    RunObservation PressRun(DWORD reportTimeoutMs = 15000) {
        RunObservation seen;
        const bool onThread = IsChecked(app_.dialog, IDC_SEPARATE_THREAD);
        const std::vector<DWORD> idle = ThreadIds(Pid());
        const double pressed = NowMs();
        Press(app_.dialog, IDC_RUN);
        seen.respondedDuring = !WaitUntilBusy(app_.dialog, 5000);
        seen.iconicDuring = IsIconic(app_.dialog) != FALSE;
        seen.visibleDuring = IsWindowVisible(app_.dialog) != FALSE;
        // The worker lives for the whole run, so it is waited for as long as
        // need be: on a busy PC it may start well after the dialog blocks.
        seen.workersDuring = onThread ? WaitForNewWorker(Pid(), idle, 5000) : NewWorkerThreads(Pid(), idle);
        seen.report = WaitForProcessWindow(Pid(), kReportCaption, reportTimeoutMs, reports_);
        seen.msToReport = NowMs() - pressed;
        if (!seen.report) {
            return seen;
        }
        seen.iconicAtReport = IsIconic(app_.dialog) != FALSE;
        seen.visibleAtReport = IsWindowVisible(app_.dialog) != FALSE;
        seen.dialogEnabledAtReport = IsWindowEnabled(app_.dialog) != FALSE;
        seen.workersAtReport = NewWorkerThreads(Pid(), idle);
        seen.reportOwner = GetWindow(seen.report, GW_OWNER);
        seen.reportText = MessageBoxText(seen.report);
        return seen;
    }

    // Presses Run and checks that the run lasted one second, left 1 in the
    // seconds field and was reported; closes the report. *seen, if given,
    // receives what the run looked like.
    void ExpectOneSecondRun(RunObservation* seen = nullptr) {
        RunObservation observed = PressRun();
        if (seen) {
            *seen = observed;
        }
        ASSERT_NE(nullptr, observed.report) << "no report within 15 s";
        EXPECT_EQ("1", Narrow(Seconds()));
        // The run ends after 1,000 ms by its own clock, which may be a step
        // behind the counter the press was timed with.
        EXPECT_GE(observed.msToReport + kClockStepMs, 1000.0);
        EXPECT_LT(observed.msToReport, 8000.0) << "longer than a one-second run";
        CloseReport(observed.report);
        EXPECT_TRUE(IsResponsive(app_.dialog));
    }

    void CloseReport(HWND report) {
        PressOk(report);
        EXPECT_TRUE(WaitForWindowGone(report, 5000)) << "the report did not close";
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

