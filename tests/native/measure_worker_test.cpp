#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "measure/measure_worker.h"
#include "tests/native/alloc_counter.h"
#include "tests/native/fake_run_sequence.h"
#include "tests/test_runs.h"

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

// 16 ms per sleep, noting the fake process's throttling policy at each one:
// the policy the timed loop ran under.
struct PolicyWatchingClock : SteppingClock {
    ThrottlingPolicy policySeen{0xFFFFFFFFu, 0xFFFFFFFFu};
    void Sleep1() {
        policySeen = gFakeOs.policy;
        SteppingClock::Sleep1();
    }
};

// A run on this thread over the fake OS calls, on the clock given (16 ms a
// sleep unless said).
template <typename Clock = SteppingClock>
uint32_t RunOnFakes(const RunOptions& options, DelayHistogram& histogram, Clock&& clock = {}) {
    const WorkerParams params{histogram, options};
    return MeasureSleepWith(params, FakeOsCalls(), clock, FakeEndThread);
}

// A ten-second run of 1 ms sleeps: a 40 KB buffer, well above the big-block mark.
uint32_t LongWorkerProc(WorkerParams* params) {
    SteppingClock clock{0, 1};
    return MeasureSleepWith(*params, FakeOsCalls(), clock, FakeEndThread);
}

// callSetProcessInformation, callTimePeriod, fault, the process's throttling
// policy before the run.
using Combination = std::tuple<bool, bool, OsFault, ThrottlingPolicy>;

class OsCallSequence : public testing::TestWithParam<Combination> {};

std::string CombinationName(const testing::TestParamInfo<Combination>& param) {
    const auto [callSet, callPeriod, fault, policy] = param.param;
    return std::string(callSet ? "Set" : "NoSet") + (callPeriod ? "Period" : "NoPeriod") +
           OsFaultName(fault) + "Policy" + std::to_string(policy.controlMask) + "_" +
           std::to_string(policy.stateMask);
}

} // namespace

TEST_P(OsCallSequence, IsExactAndPutsThePolicyBack) {
    const auto [callSet, callPeriod, fault, before] = GetParam();
    const RunOptions options = OptionsFromBits((callSet ? kCallSet : 0) | (callPeriod ? kCallPeriod : 0));
    ResetFakes(fault, before);
    DelayHistogram histogram;
    PolicyWatchingClock clock;
    EXPECT_EQ(0u, RunOnFakes(options, histogram, clock));

    // The policy the query reported goes back; when it could not be read,
    // the system-managed policy of a process that has set nothing.
    const ThrottlingPolicy restored = fault == OsFault::QueryFails ? ThrottlingPolicy{} : before;
    const bool changes = ChangesThrottling(options, fault);
    EXPECT_EQ(Joined(ExpectedCalls(options, fault, restored), "\n"), Joined(gFakeOs.calls, "\n"));
    EXPECT_EQ("", FakeProblems());
    const ThrottlingPolicy during = changes ? ThrottlingPolicy{4, 0} : before;
    EXPECT_EQ(during, clock.policySeen) << "policy during the timed loop";
    const ThrottlingPolicy after = changes ? restored : before;
    EXPECT_EQ(after, gFakeOs.policy) << "policy after the run";
    EXPECT_EQ(0, CallCount(gFakeOs.calls, "endThread"));
    EXPECT_EQ((DelayHistogram{{16, 63}}), histogram);

    // The next run, without the option, measures under that policy, not
    // under one the first run left behind.
    gFakeOs.calls.clear();
    PolicyWatchingClock next;
    EXPECT_EQ(0u, RunOnFakes(OptionsFromBits(callPeriod ? kCallPeriod : 0), histogram, next));
    EXPECT_EQ(after, next.policySeen) << "policy during the next run, without the option";
    EXPECT_EQ(after, gFakeOs.policy) << "policy after the next run";
    EXPECT_EQ("", FakeProblems());
}

INSTANTIATE_TEST_SUITE_P(AllOptionsFaultsAndPolicies, OsCallSequence,
                         testing::Combine(testing::Bool(), testing::Bool(), testing::ValuesIn(kOsFaults),
                                          testing::ValuesIn(kThrottlingPolicies)),
                         CombinationName);

TEST(MeasureSleep, RestoresSettingsBeforeBuildingAndReleasesAfter) {
    ResetFakes(OsFault::None, ThrottlingPolicy{4, 4});
    DelayHistogram histogram = {{1, 1}, {2, 2}, {3, 3}, {4, 4}};
    gFakeOs.watched = &histogram;
    RunOnFakes(OptionsFromBits(kCallSet | kCallPeriod), histogram);
    // Still the stale four entries when the period is released ...
    EXPECT_EQ(std::vector<size_t>{4}, gFakeOs.watchedSizeAtPeriodEnd);
    // ... and the run's single entry by the time kernel32 is let go.
    EXPECT_EQ(std::vector<size_t>{1}, gFakeOs.watchedSizeAtFree);
    EXPECT_EQ((DelayHistogram{{16, 63}}), histogram);
}

TEST(MeasureSleep, WorkerPathFreesTheBufferBeforeEndingTheThread) {
    ResetFakes(OsFault::None, ThrottlingPolicy{});
    RunOptions options = OptionsFromBits(kCallSet | kCallPeriod | kWorker);
    options.seconds = 10;
    DelayHistogram histogram;
    WorkerParams params{histogram, options};
    const int64_t bigBefore = LiveBigBlocks();
    EXPECT_EQ(0u, RunAsFakeThread(LongWorkerProc, &params));
    EXPECT_EQ(1, CallCount(gFakeOs.calls, "endThread"));
    EXPECT_EQ(bigBefore, gFakeOs.bigBlocksAtEndThread);
    EXPECT_EQ("", FakeProblems());
    EXPECT_EQ((DelayHistogram{{1, 10001}}), histogram);
}

TEST(MeasureSleep, InlinePathReturnsZeroWithoutEndingTheThread) {
    ResetFakes(OsFault::None, ThrottlingPolicy{});
    DelayHistogram histogram;
    const int64_t bytesBefore = LiveHeapBytes();
    EXPECT_EQ(0u, RunOnFakes(OptionsFromBits(kCallPeriod), histogram));
    EXPECT_EQ(0, CallCount(gFakeOs.calls, "endThread"));
    EXPECT_EQ("", FakeProblems());
    // Only the histogram's nodes remain; the fakes' own record is not counted.
    histogram.clear();
    EXPECT_EQ(bytesBefore, LiveHeapBytes());
}

TEST(MeasureSleep, WorkerPathEndsTheThreadWithZero) {
    ResetFakes(OsFault::None, ThrottlingPolicy{});
    DelayHistogram histogram;
    WorkerParams params{histogram, OptionsFromBits(kWorker)};
    EXPECT_EQ(0u, RunAsFakeThread(MeasureOnFakes, &params));
    ASSERT_FALSE(gFakeOs.calls.empty());
    EXPECT_EQ("endThread(0)", gFakeOs.calls.back());
    EXPECT_EQ(1, CallCount(gFakeOs.calls, "endThread"));
    EXPECT_EQ("", FakeProblems());
}
