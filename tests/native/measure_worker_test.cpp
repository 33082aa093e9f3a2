#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "measure/measure_worker.h"
#include "tests/native/alloc_counter.h"
#include "tests/native/fake_os.h"

namespace {

using Calls = std::vector<std::string>;

// Whether a run with these options changes the throttling policy: the
// option is on and both process-information functions can be had.
bool ChangesThrottling(const RunOptions& options, OsFault fault) {
    return options.callSetProcessInformation && fault != OsFault::KernelLoadFails &&
           fault != OsFault::QueryAbsent && fault != OsFault::SetAbsent;
}

std::string SetCall(const ThrottlingPolicy& policy) {
    return "Set(4,12,1," + std::to_string(policy.controlMask) + "," + std::to_string(policy.stateMask) + ")";
}

// The calls a run must make, in order, derived from the options and the
// fault; `restored` is the policy the tear-down writes back.
Calls ExpectedCalls(const RunOptions& options, OsFault fault, const ThrottlingPolicy& restored) {
    Calls calls = {"GetCurrentProcess", "SetDefaultDllDirectories(2048)", "LoadLibrary(kernel32.dll)"};
    const bool loaded = fault != OsFault::KernelLoadFails;
    if (loaded) {
        calls.push_back("GetProcAddress(GetProcessInformation)");
        calls.push_back("GetProcAddress(SetProcessInformation)");
    }
    if (loaded && fault != OsFault::QueryAbsent) {
        calls.push_back("Query(4,12)");
    }
    const bool changes = ChangesThrottling(options, fault);
    if (changes) {
        calls.push_back(SetCall({4, 0}));
    }
    if (options.callTimePeriod) {
        calls.push_back("timeBeginPeriod(1)");
        calls.push_back("timeEndPeriod(1)");
    }
    if (changes) {
        calls.push_back(SetCall(restored));
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

// 16 ms per sleep, noting the fake process's throttling policy at each one:
// the policy the timed loop ran under.
struct PolicyWatchingClock {
    SteppingClock steps{0, 16};
    ThrottlingPolicy policySeen{0xFFFFFFFFu, 0xFFFFFFFFu};
    uint32_t Now() { return steps.Now(); }
    void Sleep1() {
        policySeen = gFakeOs.policy;
        steps.Sleep1();
    }
};

uint32_t RunWithFakes(const RunOptions& options, DelayHistogram& histogram) {
    WorkerParams params{histogram, options};
    SteppingClock clock{0, 16};
    return MeasureSleepWith(params, FakeOsCalls(), clock, FakeEndThread);
}

uint32_t RunWatchingPolicy(const RunOptions& options, DelayHistogram& histogram, PolicyWatchingClock& clock) {
    WorkerParams params{histogram, options};
    return MeasureSleepWith(params, FakeOsCalls(), clock, FakeEndThread);
}

// MeasureSleep as the procedure of a started thread.
uint32_t WorkerProc(WorkerParams* params) {
    SteppingClock clock{0, 16};
    return MeasureSleepWith(*params, FakeOsCalls(), clock, FakeEndThread);
}

// callSetProcessInformation, callTimePeriod, fault, the process's throttling
// policy before the run.
using Combination = std::tuple<bool, bool, OsFault, ThrottlingPolicy>;

class OsCallSequence : public testing::TestWithParam<Combination> {};

} // namespace

TEST_P(OsCallSequence, IsExactAndPutsThePolicyBack) {
    const auto [callSet, callPeriod, fault, before] = GetParam();
    const RunOptions options = Options(callSet, callPeriod);
    ResetFakeOs(fault, before);
    DelayHistogram histogram;
    PolicyWatchingClock clock;
    EXPECT_EQ(0u, RunWatchingPolicy(options, histogram, clock));

    // The policy the query reported goes back; when it could not be read,
    // the system-managed policy of a process that has set nothing.
    const ThrottlingPolicy restored = fault == OsFault::QueryFails ? ThrottlingPolicy{} : before;
    const bool changes = ChangesThrottling(options, fault);
    EXPECT_EQ(Join(ExpectedCalls(options, fault, restored)), Join(gFakeOs.calls));
    EXPECT_EQ("", FakeOsProblems());
    const ThrottlingPolicy during = changes ? ThrottlingPolicy{4, 0} : before;
    EXPECT_EQ(during, clock.policySeen) << "policy during the timed loop";
    const ThrottlingPolicy after = changes ? restored : before;
    EXPECT_EQ(after, gFakeOs.policy) << "policy after the run";
    EXPECT_EQ(0, gFakeOs.endThreads);
    EXPECT_EQ((DelayHistogram{{16, 63}}), histogram);

    // The next run, without the option, measures under that policy, not
    // under one the first run left behind.
    gFakeOs.calls.clear();
    PolicyWatchingClock next;
    EXPECT_EQ(0u, RunWatchingPolicy(Options(false, callPeriod), histogram, next));
    EXPECT_EQ(after, next.policySeen) << "policy during the next run, without the option";
    EXPECT_EQ(after, gFakeOs.policy) << "policy after the next run";
    EXPECT_EQ("", FakeOsProblems());
}

INSTANTIATE_TEST_SUITE_P(
    AllOptionsFaultsAndPolicies, OsCallSequence,
    testing::Combine(testing::Bool(), testing::Bool(), testing::ValuesIn(kOsFaults),
                     testing::ValuesIn(kThrottlingPolicies)),
    [](const testing::TestParamInfo<Combination>& param) {
        const ThrottlingPolicy& policy = std::get<3>(param.param);
        return std::string(std::get<0>(param.param) ? "Set" : "NoSet") +
               (std::get<1>(param.param) ? "Period" : "NoPeriod") + OsFaultName(std::get<2>(param.param)) +
               "Policy" + std::to_string(policy.controlMask) + "_" + std::to_string(policy.stateMask);
    });

TEST(MeasureSleep, RestoresSettingsBeforeBuildingAndReleasesAfter) {
    ResetFakeOs(OsFault::None, ThrottlingPolicy{4, 4});
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
    ResetFakeOs(OsFault::None, ThrottlingPolicy{});
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
    ResetFakeOs(OsFault::None, ThrottlingPolicy{});
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
    ResetFakeOs(OsFault::None, ThrottlingPolicy{});
    DelayHistogram histogram;
    WorkerParams params{histogram, Options(false, false, true)};
    EXPECT_EQ(0u, RunAsFakeThread(WorkerProc, &params));
    ASSERT_FALSE(gFakeOs.calls.empty());
    EXPECT_EQ("endThread(0)", gFakeOs.calls.back());
    EXPECT_EQ(1, gFakeOs.endThreads);
    EXPECT_EQ("", FakeOsProblems());
}
