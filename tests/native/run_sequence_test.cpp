#include <gtest/gtest.h>

#include <string>

#include "tests/native/fake_run_sequence.h"
#include "tests/test_runs.h"

namespace {

// Fills the histogram as a finished run would, and ends as MeasureSleep does.
uint32_t FakeMeasure(WorkerParams* params) {
    params->histogram = {{1, 998}, {2, 1}};
    if (params->options.useWorkerThread) {
        FakeEndThread(0);
    }
    return 0;
}

std::string RunWith(int optionBits, RunFault fault = RunFault::None) {
    ResetFakes(OsFault::None, ThrottlingPolicy{}, fault, FakeMeasure);
    PressRun(OptionsFromBits(optionBits));
    std::string calls = Joined(gFakeUi.calls, " ");
    EXPECT_EQ("", FakeProblems()) << calls;
    return calls;
}

} // namespace

TEST(RunSequence, WindowGoesAwayAndComesBackInReverseOrder) {
    EXPECT_EQ("timers start wait close report ", RunWith(kWorker));
    EXPECT_EQ("timers show(6) start wait close show(9) report ", RunWith(kMinimize | kWorker));
    EXPECT_EQ("timers show(0) start wait close show(5) report ", RunWith(kHide | kWorker));
    EXPECT_EQ("timers show(6) show(0) start wait close show(5) show(9) report ",
              RunWith(kMinimize | kHide | kWorker));
    EXPECT_TRUE(gFakeUi.visibleAtReport) << "the report came up over a hidden window";
    EXPECT_FALSE(gFakeUi.minimizedAtReport) << "the report came up over a minimized window";
}

TEST(RunSequence, InlineRunMeasuresOnThisThread) {
    EXPECT_EQ("timers here report ", RunWith(0));
    EXPECT_EQ("timers show(6) show(0) here show(5) show(9) report ", RunWith(kMinimize | kHide));
    EXPECT_EQ((DelayHistogram{{1, 998}, {2, 1}}), gFakeUi.reported);
    EXPECT_TRUE(gFakeUi.threads.empty());
}

TEST(RunSequence, ReportShowsWhatTheWorkerMeasured) {
    // The fake worker fills the histogram only when it is waited for.
    RunWith(kMinimize | kWorker);
    EXPECT_EQ((DelayHistogram{{1, 998}, {2, 1}}), gFakeUi.reported);
}

TEST(RunSequence, FailedThreadStartIsReportedNotWaitedOn) {
    EXPECT_EQ("timers show(6) show(0) start show(5) show(9) error(thread) ",
              RunWith(kMinimize | kHide | kWorker, RunFault::ThreadStartFails));
    EXPECT_FALSE(gFakeUi.minimizedAtReport) << "the error came up over a minimized window";
    EXPECT_EQ("timers start error(thread) ", RunWith(kWorker, RunFault::ThreadStartFails));
    EXPECT_EQ(0, CallCount(gFakeUi.calls, "report"));
}

TEST(RunSequence, WithoutTimerFunctionsNothingIsTouched) {
    EXPECT_EQ("timers error(timers) ", RunWith(kMinimize | kHide | kWorker, RunFault::TimerFunctionsUnavailable));
    EXPECT_EQ("timers error(timers) ", RunWith(0, RunFault::TimerFunctionsUnavailable));
    EXPECT_EQ(0, CallCount(gFakeUi.calls, "report"));
    EXPECT_TRUE(gFakeUi.threads.empty());
}
