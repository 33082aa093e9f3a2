// Whole runs, from the press of Run to the report, over every option and
// every platform fault, and ten thousand of them in a row.
#include <gtest/gtest.h>

#include <string>

#include "tests/native/alloc_counter.h"
#include "tests/native/fake_run_sequence.h"
#include "tests/test_runs.h"

namespace {

// One run, for a process that holds `before`; checks that everything it
// changed is back and the user was told.
void RunAndCheck(int optionBits, OsFault fault, RunFault runFault, ThrottlingPolicy before = {5, 5}) {
    const RunOptions options = OptionsFromBits(optionBits);
    const std::string where = "options " + std::to_string(optionBits) + ", " + OsFaultName(fault) +
                              RunFaultName(runFault) + ", policy " + testing::PrintToString(before);
    ResetFakes(fault, before, runFault);
    PressRun(options);

    ASSERT_EQ("", FakeProblems()) << where;
    const int throttlingSets = CallCount(gFakeOs.calls, "Set(");
    ASSERT_EQ(0, throttlingSets % 2) << where;
    // The policy is as it was, unless the query failed: a run that changed
    // it then leaves it system-managed.
    const bool changed = throttlingSets != 0;
    const ThrottlingPolicy expected = changed && fault == OsFault::QueryFails ? ThrottlingPolicy{} : before;
    ASSERT_EQ(expected, gFakeOs.policy) << where;
    const bool nothingRan = runFault == RunFault::TimerFunctionsUnavailable ||
                            (options.useWorkerThread && runFault == RunFault::ThreadStartFails);
    ASSERT_EQ(nothingRan ? 1 : 0, CallCount(gFakeUi.calls, "error")) << where;
    ASSERT_EQ(nothingRan ? 0 : 1, CallCount(gFakeUi.calls, "report")) << where;
    if (nothingRan) {
        ASSERT_TRUE(gFakeOs.calls.empty()) << where;
    } else {
        ASSERT_EQ(1u, gFakeUi.reported.size()) << where;
        ASSERT_EQ(options.useWorkerThread ? 1 : 0, CallCount(gFakeOs.calls, "endThread")) << where;
    }
}

} // namespace

TEST(FaultMatrix, EveryOptionWithEveryFaultLeavesNothingChanged) {
    for (int bits = 0; bits < 32; ++bits) {
        for (OsFault fault : kOsFaults) {
            for (RunFault runFault : kRunFaults) {
                RunAndCheck(bits, fault, runFault);
                if (HasFatalFailure()) {
                    return;
                }
            }
        }
    }
}

TEST(Soak, TenThousandRunsStayBalancedAndGiveBackTheirMemory) {
    // One run first, so that lazily made state is not counted as growth.
    // The fakes' own record is never counted.
    RunAndCheck(31, OsFault::None, RunFault::None);
    const int64_t heapBefore = LiveHeapBytes();
    int loads = 0, frees = 0, begins = 0, ends = 0, sets = 0;
    for (int run = 0; run < 10000; ++run) {
        const OsFault fault = kOsFaults[(run / 32) % 5];
        const RunFault runFault = kRunFaults[run % 97 == 0 ? 2 : run % 89 == 0 ? 1 : 0];
        RunAndCheck(run % 32, fault, runFault, kThrottlingPolicies[run % 5]);
        if (HasFatalFailure()) {
            return;
        }
        loads += gFakeOs.loads;
        frees += CallCount(gFakeOs.calls, "FreeLibrary");
        begins += CallCount(gFakeOs.calls, "timeBeginPeriod");
        ends += CallCount(gFakeOs.calls, "timeEndPeriod");
        sets += CallCount(gFakeOs.calls, "Set(");
    }
    EXPECT_EQ(loads, frees);
    EXPECT_EQ(begins, ends);
    EXPECT_EQ(0, sets % 2);
    EXPECT_GT(loads, 0);
    EXPECT_GT(begins, 0);
    EXPECT_GT(sets, 0);
    EXPECT_EQ(heapBefore, LiveHeapBytes());
    printf("10,000 runs: %d loads / %d frees, %d timer begins / %d ends, %d throttling writes; "
           "heap %lld -> %lld bytes\n",
           loads, frees, begins, ends, sets, static_cast<long long>(heapBefore),
           static_cast<long long>(LiveHeapBytes()));
}
