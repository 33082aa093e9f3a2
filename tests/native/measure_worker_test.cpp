#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "measure/measure_worker.h"
#include "tests/native/alloc_counter.h"
#include "tests/native/fake_os.h"

namespace {

using Calls = std::vector<std::string>;

// The calls a run must make, in order, derived from the options and the fault.
Calls ExpectedCalls(const RunOptions& options, OsFault fault, uint32_t savedBit) {
    Calls calls = {"GetCurrentProcess", "SetDefaultDllDirectories(2048)", "LoadLibrary(kernel32.dll)"};
    const bool loaded = fault != OsFault::KernelLoadFails;
    if (loaded) {
        calls.push_back("GetProcAddress(GetProcessInformation)");
        calls.push_back("GetProcAddress(SetProcessInformation)");
    }
    const bool haveQuery = loaded && fault != OsFault::QueryAbsent;
    const bool haveSet = loaded && fault != OsFault::SetAbsent;
    const bool changes = options.callSetProcessInformation && haveQuery && haveSet;
    if (haveQuery) {
        calls.push_back("Query(4,12)");
    }
    if (changes) {
        calls.push_back("Set(4,12,1,4,0)");
    }
    if (options.callTimePeriod) {
        calls.push_back("timeBeginPeriod(1)");
        calls.push_back("timeEndPeriod(1)");
    }
    if (changes) {
        calls.push_back("Set(4,12,1,4," + std::to_string(savedBit) + ")");
    }
    if (loaded) {
        calls.push_back("FreeLibrary");
    }
    if (options.useWorkerThread) {
        calls.push_back("endThread(0)");
    }
    return calls;
}

std::string Join(const Calls& calls) {
    std::string text;
    for (const std::string& call : calls) {
        text += call + "\n";
    }
    return text;
}

RunOptions Options(bool callSet, bool callPeriod, bool worker = false) {
    RunOptions options;
    options.callSetProcessInformation = callSet;
    options.callTimePeriod = callPeriod;
    options.useWorkerThread = worker;
    options.seconds = 1;
    return options;
}

uint32_t RunWithFakes(const RunOptions& options, DelayHistogram& histogram) {
    WorkerParams params{histogram, options};
    SteppingClock clock{0, 16};
    return MeasureSleepWith(params, FakeOsCalls(), clock, FakeEndThread);
}

// MeasureSleep as the procedure of a started thread.
uint32_t WorkerProc(WorkerParams* params) {
    SteppingClock clock{0, 16};
    return MeasureSleepWith(*params, FakeOsCalls(), clock, FakeEndThread);
}

// callSetProcessInformation, callTimePeriod, fault, throttling state mask before the run.
using Combination = std::tuple<bool, bool, OsFault, uint32_t>;

class OsCallSequence : public testing::TestWithParam<Combination> {};

} // namespace

TEST_P(OsCallSequence, IsExactAndBalanced) {
    const auto [callSet, callPeriod, fault, maskBefore] = GetParam();
    const RunOptions options = Options(callSet, callPeriod);
    ResetFakeOs(fault, maskBefore);
    DelayHistogram histogram;
    EXPECT_EQ(0u, RunWithFakes(options, histogram));

    // The bit is put back as it was; a failed query counts as a clear bit.
    const uint32_t savedBit = fault == OsFault::QueryFails ? 0 : (maskBefore & 4);
    EXPECT_EQ(Join(ExpectedCalls(options, fault, savedBit)), Join(gFakeOs.calls));
    EXPECT_EQ("", FakeOsProblems());
    EXPECT_EQ(0, gFakeOs.throttlingSets % 2);
    // What the process holds afterwards: the bit it had, unless the run
    // changed the state after a failed query.
    const bool changed = gFakeOs.throttlingSets != 0;
    EXPECT_EQ(changed ? savedBit : (maskBefore & 4), gFakeOs.throttlingState & 4) << "ignore bit after the run";
    EXPECT_EQ(0, gFakeOs.endThreads);
    EXPECT_EQ((DelayHistogram{{16, 63}}), histogram);
}

INSTANTIATE_TEST_SUITE_P(
    AllOptionsAndFaults, OsCallSequence,
    testing::Combine(testing::Bool(), testing::Bool(),
                     testing::Values(OsFault::None, OsFault::KernelLoadFails, OsFault::QueryAbsent,
                                     OsFault::SetAbsent, OsFault::QueryFails),
                     // Ignore bit set before, and clear before (with every other bit set).
                     testing::Values(0xFFFFFFFFu, 0xFFFFFFFBu)),
    [](const testing::TestParamInfo<Combination>& param) {
        return std::string(std::get<0>(param.param) ? "Set" : "NoSet") +
               (std::get<1>(param.param) ? "Period" : "NoPeriod") + OsFaultName(std::get<2>(param.param)) +
               (std::get<3>(param.param) & 4 ? "BitSet" : "BitClear");
    });

TEST(MeasureSleep, RestoresSettingsBeforeBuildingAndReleasesAfter) {
    ResetFakeOs(OsFault::None, 4);
    DelayHistogram histogram = {{1, 1}, {2, 2}, {3, 3}, {4, 4}};
    gFakeOs.watched = &histogram;
    RunWithFakes(Options(true, true), histogram);
    // Still the stale four entries when the period is released ...
    EXPECT_EQ(std::vector<size_t>{4}, gFakeOs.watchedSizeAtPeriodEnd);
    // ... and the run's single entry by the time kernel32 is let go.
    EXPECT_EQ(std::vector<size_t>{1}, gFakeOs.watchedSizeAtFree);
    EXPECT_EQ((DelayHistogram{{16, 63}}), histogram);
}

namespace {

int64_t gBigBlocksAtEndThread = -1;

void RecordingEndThread(uint32_t code) {
    gBigBlocksAtEndThread = LiveBigBlocks();
    FakeEndThread(code);
}

// A ten-second run of 1 ms sleeps: a 40 KB buffer, well above the big-block mark.
uint32_t LongWorkerProc(WorkerParams* params) {
    SteppingClock clock{0, 1};
    return MeasureSleepWith(*params, FakeOsCalls(), clock, RecordingEndThread);
}

} // namespace

TEST(MeasureSleep, WorkerPathFreesTheBufferBeforeEndingTheThread) {
    ResetFakeOs(OsFault::None, 0);
    gBigBlocksAtEndThread = -1;
    RunOptions options = Options(true, true, true);
    options.seconds = 10;
    DelayHistogram histogram;
    WorkerParams params{histogram, options};
    const int64_t bigBefore = LiveBigBlocks();
    EXPECT_EQ(0u, RunAsFakeThread(LongWorkerProc, &params));
    EXPECT_EQ(1, gFakeOs.endThreads);
    EXPECT_EQ(bigBefore, gBigBlocksAtEndThread);
    EXPECT_EQ("", FakeOsProblems());
    EXPECT_EQ((DelayHistogram{{1, 10001}}), histogram);
}

TEST(MeasureSleep, InlinePathReturnsZeroWithoutEndingTheThread) {
    ResetFakeOs(OsFault::None, 0);
    DelayHistogram histogram;
    const int64_t bytesBefore = LiveHeapBytes();
    EXPECT_EQ(0u, RunWithFakes(Options(false, true, false), histogram));
    EXPECT_EQ(0, gFakeOs.endThreads);
    EXPECT_EQ("", FakeOsProblems());
    // Only the histogram's nodes and the fake's own record remain.
    histogram.clear();
    gFakeOs = FakeOsState();
    EXPECT_EQ(bytesBefore, LiveHeapBytes());
}

TEST(MeasureSleep, WorkerPathEndsTheThreadWithZero) {
    ResetFakeOs(OsFault::None, 0);
    DelayHistogram histogram;
    WorkerParams params{histogram, Options(false, false, true)};
    EXPECT_EQ(0u, RunAsFakeThread(WorkerProc, &params));
    ASSERT_FALSE(gFakeOs.calls.empty());
    EXPECT_EQ("endThread(0)", gFakeOs.calls.back());
    EXPECT_EQ(1, gFakeOs.endThreads);
    EXPECT_EQ("", FakeOsProblems());
}
