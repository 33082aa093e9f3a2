#include <gtest/gtest.h>

#include <string>

#include "tests/native/fake_run_sequence.h"

namespace {

// Fills the histogram as a finished run would, and ends as MeasureSleep does.
uint32_t FakeMeasure(WorkerParams* params) {
    params->histogram = {{1, 998}, {2, 1}};
    if (params->options.useWorkerThread) {
        FakeEndThread(0);
    }
    return 0;
}

std::string RunWith(bool minimize, bool hide, bool thread, RunFault fault = RunFault::None) {
    ResetFakeOs(OsFault::None, ThrottlingPolicy{});
    ResetFakeUi(fault, FakeMeasure);
    RunOptions options;
    options.minimizeWindow = minimize;
    options.hideWindow = hide;
    options.useWorkerThread = thread;
    RunMeasurementSequence(FakeDialogWindow(), options, FakeRunSequenceCalls());
    EXPECT_EQ("", FakeUiProblems() + FakeOsProblems()) << gFakeUi.calls;
    return gFakeUi.calls;
}

} // namespace

TEST(RunSequence, WindowGoesAwayAndComesBackInReverseOrder) {
    EXPECT_EQ("timers start wait close report ", RunWith(false, false, true));
    EXPECT_EQ("timers show(6) start wait close show(9) report ", RunWith(true, false, true));
    EXPECT_EQ("timers show(0) start wait close show(5) report ", RunWith(false, true, true));
    EXPECT_EQ("timers show(6) show(0) start wait close show(5) show(9) report ", RunWith(true, true, true));
    EXPECT_TRUE(gFakeUi.visibleAtReport) << "the report came up over a hidden window";
    EXPECT_FALSE(gFakeUi.minimizedAtReport) << "the report came up over a minimized window";
}

TEST(RunSequence, InlineRunMeasuresOnThisThread) {
    EXPECT_EQ("timers here report ", RunWith(false, false, false));
    EXPECT_EQ("timers show(6) show(0) here show(5) show(9) report ", RunWith(true, true, false));
    EXPECT_EQ((DelayHistogram{{1, 998}, {2, 1}}), gFakeUi.reported);
    EXPECT_TRUE(gFakeUi.threads.empty());
}

TEST(RunSequence, ReportShowsWhatTheWorkerMeasured) {
    // The fake worker fills the histogram only when it is waited for.
    RunWith(true, false, true);
    EXPECT_EQ((DelayHistogram{{1, 998}, {2, 1}}), gFakeUi.reported);
}

TEST(RunSequence, FailedThreadStartIsReportedNotWaitedOn) {
    EXPECT_EQ("timers show(6) show(0) start show(5) show(9) error(thread) ",
              RunWith(true, true, true, RunFault::ThreadStartFails));
    EXPECT_FALSE(gFakeUi.minimizedAtReport) << "the error came up over a minimized window";
    EXPECT_EQ("timers start error(thread) ", RunWith(false, false, true, RunFault::ThreadStartFails));
    EXPECT_EQ(0, gFakeUi.reports);
}

TEST(RunSequence, WithoutTimerFunctionsNothingIsTouched) {
    EXPECT_EQ("timers error(timers) ", RunWith(true, true, true, RunFault::TimerFunctionsUnavailable));
    EXPECT_EQ("timers error(timers) ", RunWith(false, false, false, RunFault::TimerFunctionsUnavailable));
    EXPECT_EQ(0, gFakeUi.reports);
    EXPECT_TRUE(gFakeUi.threads.empty());
}
