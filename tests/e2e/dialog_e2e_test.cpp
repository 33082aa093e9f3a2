// The real program, worked from outside as a user would.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/dialog_fixture.h"

TEST_F(DialogTest, OpensWithTheDefaults) {
    EXPECT_FALSE(IsChecked(app_.dialog, IDC_CALL_SETPROCESSINFORMATION));
    EXPECT_TRUE(IsChecked(app_.dialog, IDC_CALL_TIMEBEGINPERIOD));
    EXPECT_TRUE(IsChecked(app_.dialog, IDC_MINIMIZE));
    EXPECT_FALSE(IsChecked(app_.dialog, IDC_HIDE));
    EXPECT_TRUE(IsChecked(app_.dialog, IDC_SEPARATE_THREAD));
    EXPECT_EQ("10", Narrow(Seconds()));
    EXPECT_EQ(2, Send(Item(IDC_SECONDS), EM_GETLIMITTEXT));
}

TEST_F(DialogTest, SecondsFieldTakesTwoDigitsOnly) {
    HWND field = Item(IDC_SECONDS);
    Send(field, EM_SETSEL, 2, 2);
    Type(field, L"5");
    EXPECT_EQ("10", Narrow(Seconds())) << "a third character was accepted";
    ClearField(field);
    EXPECT_EQ("", Narrow(Seconds()));
    Type(field, L"a-4x");
    EXPECT_EQ("4", Narrow(Seconds())) << "only the digit should have been taken";
    Type(field, L"27");
    EXPECT_EQ("42", Narrow(Seconds()));
}

TEST_F(DialogTest, TabVisitsTheControlsInTemplateOrder) {
    const int expected[] = {IDC_RUN,      IDC_CALL_SETPROCESSINFORMATION, IDC_CALL_TIMEBEGINPERIOD, IDC_SECONDS,
                            IDC_MINIMIZE, IDC_HIDE,                       IDC_SEPARATE_THREAD,      IDC_RUN};
    HWND control = Item(IDC_RUN);
    for (size_t i = 1; i < sizeof(expected) / sizeof(expected[0]); ++i) {
        control = GetNextDlgTabItem(app_.dialog, control, FALSE);
        ASSERT_NE(nullptr, control) << "no tab stop after step " << i;
        EXPECT_EQ(expected[i], GetDlgCtrlID(control)) << "tab step " << i;
    }
}

TEST_F(DialogTest, ZeroSecondsRunsForOneAndShowsOne) {
    PrepareRun(false, false, true, L"0");
    RunObservation seen;
    ExpectOneSecondRun(&seen);
    const uint64_t slept = SleptMs(seen.reportText);
    EXPECT_GE(slept, 900u) << "a one-second run slept " << slept << " ms";
    // The sleeps, by the run's own clock, fit in the time the run took.
    EXPECT_LE(static_cast<double>(slept), seen.msToReport + kClockStepMs);
}

TEST_F(DialogTest, EmptySecondsRunsForOneAndShowsOne) {
    PrepareRun(false, false, false, L"");
    ExpectOneSecondRun();
}

// One three-second run with the given window and thread options, watched
// from outside.
void DialogTest::CheckRun(bool minimize, bool hide, bool thread) {
    PrepareRun(minimize, hide, thread, L"3");
    const RunObservation seen = PressRunLookingInside(app_, reports_);
    ASSERT_NE(nullptr, seen.report) << "no report within " << kReportMs / 1000 << " s";

    EXPECT_TRUE(seen.lookedInside) << "three runs ended before the test saw them under way as the options ask";
    EXPECT_EQ(minimize, seen.iconicDuring) << "minimized during the run";
    EXPECT_EQ(!hide, seen.visibleDuring) << "visible during the run";
    EXPECT_FALSE(seen.respondedDuring) << "the dialog's thread answered during the run";
    EXPECT_EQ(thread ? 1 : 0, seen.workersDuring) << "worker threads during the run:" << seen.workerThreads;

    EXPECT_FALSE(seen.iconicAtReport) << "still minimized when the report appeared";
    EXPECT_TRUE(seen.visibleAtReport) << "still hidden when the report appeared";
    EXPECT_EQ(0, seen.workersAtReport) << "worker threads when the report appeared";

    EXPECT_EQ("information", ShownIcon(seen.report)) << "the report's icon";
    EXPECT_EQ(nullptr, seen.reportOwner) << "the report has an owner";
    EXPECT_TRUE(seen.dialogEnabledAtReport) << "the dialog is disabled under the report";
    EXPECT_GT(SleptMs(seen.reportText), 0u);
    CloseReport(seen.report);
    EXPECT_TRUE(IsResponsive(app_.dialog)) << "the dialog does not answer after the report";
}

TEST_F(DialogTest, RunInlineWindowLeftAlone) { CheckRun(false, false, false); }
TEST_F(DialogTest, RunInlineMinimized) { CheckRun(true, false, false); }
TEST_F(DialogTest, RunInlineHidden) { CheckRun(false, true, false); }
TEST_F(DialogTest, RunInlineMinimizedAndHidden) { CheckRun(true, true, false); }
TEST_F(DialogTest, RunOnThreadWindowLeftAlone) { CheckRun(false, false, true); }
TEST_F(DialogTest, RunOnThreadMinimized) { CheckRun(true, false, true); }
TEST_F(DialogTest, RunOnThreadHidden) { CheckRun(false, true, true); }
TEST_F(DialogTest, RunOnThreadMinimizedAndHidden) { CheckRun(true, true, true); }

TEST_F(DialogTest, RunDuringAnOpenReportNestsAFullRun) {
    PrepareRun(false, false, true, L"3");
    const RunObservation first = PressRun();
    ASSERT_NE(nullptr, first.report) << "no first report";
    reports_.push_back(first.report);

    const RunObservation second = PressRunLookingInside(app_, reports_);
    ASSERT_NE(nullptr, second.report) << "Run under an open report did not lead to a second report";
    EXPECT_NE(first.report, second.report);
    EXPECT_TRUE(IsWindow(first.report)) << "the first report went away";
    EXPECT_FALSE(second.respondedDuring) << "the nested run did not block the dialog's thread";
    EXPECT_GT(SleptMs(second.reportText), 0u);

    CloseReport(second.report);
    EXPECT_TRUE(IsWindowVisible(first.report)) << "the first report should still be up";
    CloseReport(first.report);
    EXPECT_TRUE(IsResponsive(app_.dialog));
}

namespace {

// Posts a digit to the seconds field and waits until the field shows it: by
// then the dialog has taken what was posted before (in order), a run it
// started and its report included.
bool AfterWhatIsPosted(HWND field, wchar_t digit) {
    PostMessageW(field, WM_CHAR, digit, 1);
    return PollUntil(kReportMs, [&] { return WindowText(field).find(digit) != std::wstring::npos; });
}

} // namespace

// Enter sends the command of the default push button (the focused one if it
// says so, else DM_GETDEFID's), or IDOK. Which holds depends on whether the
// dialog was activated, so the test reads the state and checks what the
// dialog does in it. A posted IDOK is always ignored.
TEST_F(DialogTest, OkCommandIsIgnoredAndEnterFollowsTheFocus) {
    HWND field = Item(IDC_SECONDS);
    ClearField(field);
    Type(field, L"1");
    PostMessageW(app_.dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(AfterWhatIsPosted(field, L'2')) << "the dialog does not take what is posted to it";
    EXPECT_EQ(nullptr, FindProcessWindow(Pid(), kReportCaption)) << "IDOK started a run";
    EXPECT_TRUE(IsWindowVisible(app_.dialog)) << "IDOK closed the dialog";

    GUITHREADINFO thread = {};
    thread.cbSize = sizeof(thread);
    ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(app_.dialog, nullptr), &thread)) << GetLastError();
    HWND focus = thread.hwndFocus;
    const bool focusIsDefault = focus && (Send(focus, WM_GETDLGCODE) & DLGC_DEFPUSHBUTTON);
    const LRESULT defaultId = Send(app_.dialog, DM_GETDEFID);
    const int command = focusIsDefault ? GetDlgCtrlID(focus) : HIWORD(defaultId) == DC_HASDEFID ? LOWORD(defaultId) : IDOK;
    const bool runs = command == IDC_RUN;
    printf("focus on control %d%s, DM_GETDEFID 0x%lX: Enter sends command %d\n", focus ? GetDlgCtrlID(focus) : 0,
           focusIsDefault ? ", the default push button" : "", static_cast<unsigned long>(defaultId), command);
    ClearField(field);
    Type(field, L"1");
    PressKey(focus ? focus : app_.dialog, VK_RETURN);
    ASSERT_TRUE(AfterWhatIsPosted(field, L'3')) << "the dialog did not take Enter";
    HWND report = FindProcessWindow(Pid(), kReportCaption);
    EXPECT_EQ(runs, report != nullptr) << (runs ? "Enter on Run made no run" : "Enter, not on Run, started a run");
    if (report) {
        CloseReport(report);
    }
    EXPECT_TRUE(IsWindowVisible(app_.dialog)) << "Enter closed the dialog";
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), WaitForExit(app_, 0));
    EXPECT_TRUE(IsResponsive(app_.dialog));
}

TEST_F(DialogTest, EscapeEndsTheProgramWithZero) {
    PressKey(Item(IDC_SECONDS), VK_ESCAPE);
    EXPECT_EQ(0u, WaitForExit(app_, kAnswerMs));
}

TEST_F(DialogTest, CloseBoxEndsTheProgramWithZero) {
    PostMessageW(app_.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(0u, WaitForExit(app_, kAnswerMs));
}

TEST_F(DialogTest, EscapeAfterARunStillEndsWithZero) {
    PrepareRun(false, false, false, L"1");
    const RunObservation seen = PressRun();
    ASSERT_NE(nullptr, seen.report);
    CloseReport(seen.report);
    PressKey(Item(IDC_SECONDS), VK_ESCAPE);
    EXPECT_EQ(0u, WaitForExit(app_, kAnswerMs));
}

// A full minute; labelled slow in CTest, and run by CI all the same.
TEST_F(DialogTest, SeventyFiveSecondsRunsForSixty) {
    ClearField(Item(IDC_SECONDS));
    Type(Item(IDC_SECONDS), L"75");
    const RunObservation seen = PressRun();
    ASSERT_NE(nullptr, seen.report) << "no report within " << kReportMs / 1000 << " s";
    EXPECT_EQ("60", Narrow(Seconds()));
    EXPECT_GE(seen.msToReport + kClockStepMs, 60000.0);
    const uint64_t slept = SleptMs(seen.reportText);
    EXPECT_GE(slept, 59000u);
    EXPECT_LT(slept, 75000u) << "a 75-second run";
    CloseReport(seen.report);
}
