#include <gtest/gtest.h>

#include <string>

#include "ui/run_sequence.h"

namespace {

std::string gCalls;
DelayHistogram gReported;
bool gThreadStartFails = false;
int gWindowToken;
int gThreadToken;

void Record(const std::string& call) {
    gCalls += call + " ";
}

// Fills the histogram as a finished run would.
void FakeMeasure(WorkerParams* params) {
    params->histogram = {{1, 998}, {2, 1}};
}

void ShowWindowFake(void* window, int command) {
    Record(window == &gWindowToken ? "show(" + std::to_string(command) + ")" : "show(bad window)");
}

void* StartWorkerFake(WorkerParams* params) {
    Record("start");
    if (gThreadStartFails) {
        return nullptr;
    }
    FakeMeasure(params);
    return &gThreadToken;
}

void WaitFake(void* thread) {
    Record(thread == &gThreadToken ? "wait" : "wait(bad handle)");
}

void CloseFake(void* thread) {
    Record(thread == &gThreadToken ? "close" : "close(bad handle)");
}

void MeasureHereFake(WorkerParams* params) {
    Record("here");
    FakeMeasure(params);
}

void ShowReportFake(const DelayHistogram& histogram) {
    Record("report");
    gReported = histogram;
}

void ShowErrorFake() {
    Record("error");
}

const RunSequenceCalls kFakeCalls = {
    ShowWindowFake, StartWorkerFake, WaitFake, CloseFake, MeasureHereFake, ShowReportFake, ShowErrorFake,
};

std::string RunWith(bool minimize, bool hide, bool thread, bool threadFails = false) {
    gCalls.clear();
    gReported.clear();
    gThreadStartFails = threadFails;
    RunOptions options;
    options.minimizeWindow = minimize;
    options.hideWindow = hide;
    options.useWorkerThread = thread;
    RunMeasurementSequence(&gWindowToken, options, kFakeCalls);
    return gCalls;
}

} // namespace

TEST(RunSequence, WindowGoesAwayAndComesBackInReverseOrder) {
    EXPECT_EQ("start wait close report ", RunWith(false, false, true));
    EXPECT_EQ("show(6) start wait close show(9) report ", RunWith(true, false, true));
    EXPECT_EQ("show(0) start wait close show(5) report ", RunWith(false, true, true));
    EXPECT_EQ("show(6) show(0) start wait close show(5) show(9) report ", RunWith(true, true, true));
}

TEST(RunSequence, InlineRunMeasuresOnThisThread) {
    EXPECT_EQ("here report ", RunWith(false, false, false));
    EXPECT_EQ("show(6) show(0) here show(5) show(9) report ", RunWith(true, true, false));
    EXPECT_EQ((DelayHistogram{{1, 998}, {2, 1}}), gReported);
}

TEST(RunSequence, ReportShowsWhatTheWorkerMeasured) {
    RunWith(true, false, true);
    EXPECT_EQ((DelayHistogram{{1, 998}, {2, 1}}), gReported);
}

TEST(RunSequence, FailedThreadStartIsReportedNotWaitedOn) {
    EXPECT_EQ("show(6) show(0) start show(5) show(9) error ", RunWith(true, true, true, true));
    EXPECT_EQ("start error ", RunWith(false, false, true, true));
    EXPECT_TRUE(gReported.empty());
}
