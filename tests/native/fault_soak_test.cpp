// Whole runs, from the press of Run to the report, over every option and
// every platform fault, and ten thousand of them in a row.
#include <gtest/gtest.h>

#include <string>

#include "tests/native/alloc_counter.h"
#include "tests/native/fake_os.h"
#include "ui/run_sequence.h"

namespace {

struct Outcome {
    int reports = 0;
    int errors = 0;
    int minimizes = 0, restores = 0, hides = 0, shows = 0;
    int threadsStarted = 0, threadsWaited = 0, threadsClosed = 0;
    size_t reportedEntries = 0;
};

Outcome gOutcome;
bool gThreadStartFails = false;
int gThreadToken;

void ShowWindowFake(void*, int command) {
    switch (command) {
    case kShowMinimize: ++gOutcome.minimizes; break;
    case kShowRestore: ++gOutcome.restores; break;
    case kShowHide: ++gOutcome.hides; break;
    case kShowShow: ++gOutcome.shows; break;
    default: ADD_FAILURE() << "unexpected ShowWindow command " << command;
    }
}

void RunWorker(WorkerParams* params) {
    SteppingClock clock{0xFFFF0000u, 16};
    MeasureSleepWith(*params, FakeOsCalls(), clock);
}

// The "thread" runs to its end before start returns, as the real one has by
// the time the wait returns.
void* StartWorkerFake(WorkerParams* params) {
    if (gThreadStartFails) {
        return nullptr;
    }
    ++gOutcome.threadsStarted;
    RunWorker(params);
    return &gThreadToken;
}

void WaitFake(void* thread) {
    gOutcome.threadsWaited += thread == &gThreadToken ? 1 : 100;
}

void CloseFake(void* thread) {
    gOutcome.threadsClosed += thread == &gThreadToken ? 1 : 100;
}

void ShowReportFake(const DelayHistogram& histogram) {
    ++gOutcome.reports;
    gOutcome.reportedEntries = histogram.size();
}

void ShowErrorFake() {
    ++gOutcome.errors;
}

const RunSequenceCalls kCalls = {
    ShowWindowFake, StartWorkerFake, WaitFake, CloseFake, RunWorker, ShowReportFake, ShowErrorFake,
};

RunOptions OptionsFromBits(int bits) {
    RunOptions options;
    options.callSetProcessInformation = bits & 1;
    options.callTimePeriod = bits & 2;
    options.minimizeWindow = bits & 4;
    options.hideWindow = bits & 8;
    options.useWorkerThread = bits & 16;
    options.seconds = 1;
    return options;
}

const OsFault kFaults[] = {OsFault::None, OsFault::KernelLoadFails, OsFault::QueryAbsent, OsFault::SetAbsent,
                           OsFault::QueryFails};

// One run; checks that everything it changed is back and the user was told.
void RunAndCheck(int optionBits, OsFault fault, bool threadStartFails) {
    const RunOptions options = OptionsFromBits(optionBits);
    const std::string where = "options " + std::to_string(optionBits) + ", " + OsFaultName(fault) +
                              (threadStartFails ? ", thread start fails" : "");
    ResetFakeOs(fault, 4);
    gOutcome = Outcome();
    gThreadStartFails = threadStartFails;
    int window;
    RunMeasurementSequence(&window, options, kCalls);

    ASSERT_EQ(gFakeOs.loads, gFakeOs.frees) << where;
    ASSERT_EQ(gFakeOs.periodBegins, gFakeOs.periodEnds) << where;
    ASSERT_EQ(0, gFakeOs.throttlingSets % 2) << where;
    if (gFakeOs.throttlingSets) {
        // The last write puts back the bit the process had (set here; a
        // failed query counts as clear).
        std::string lastSet;
        for (const std::string& call : gFakeOs.calls) {
            if (call.rfind("Set(", 0) == 0) {
                lastSet = call;
            }
        }
        ASSERT_EQ(fault == OsFault::QueryFails ? "Set(4,12,1,4,0)" : "Set(4,12,1,4,4)", lastSet) << where;
    }
    ASSERT_EQ(gOutcome.minimizes, gOutcome.restores) << where;
    ASSERT_EQ(gOutcome.hides, gOutcome.shows) << where;
    ASSERT_EQ(gOutcome.threadsStarted, gOutcome.threadsWaited) << where;
    ASSERT_EQ(gOutcome.threadsStarted, gOutcome.threadsClosed) << where;
    const bool nothingRan = options.useWorkerThread && threadStartFails;
    ASSERT_EQ(nothingRan ? 1 : 0, gOutcome.errors) << where;
    ASSERT_EQ(nothingRan ? 0 : 1, gOutcome.reports) << where;
    if (nothingRan) {
        ASSERT_TRUE(gFakeOs.calls.empty()) << where;
    } else {
        ASSERT_EQ(1u, gOutcome.reportedEntries) << where;
        ASSERT_EQ(options.useWorkerThread ? 1 : 0, gFakeOs.endThreads) << where;
    }
}

} // namespace

TEST(FaultMatrix, EveryOptionWithEveryFaultLeavesNothingChanged) {
    for (int bits = 0; bits < 32; ++bits) {
        for (OsFault fault : kFaults) {
            for (bool threadStartFails : {false, true}) {
                RunAndCheck(bits, fault, threadStartFails);
                if (HasFatalFailure()) {
                    return;
                }
            }
        }
    }
}

TEST(Soak, TenThousandRunsStayBalancedAndGiveBackTheirMemory) {
    // One run first, so that lazily made state is not counted as growth.
    RunAndCheck(31, OsFault::None, false);
    gFakeOs = FakeOsState();
    const int64_t heapBefore = LiveHeapBytes();
    int loads = 0, frees = 0, begins = 0, ends = 0, sets = 0;
    for (int run = 0; run < 10000; ++run) {
        const OsFault fault = kFaults[(run / 32) % 5];
        RunAndCheck(run % 32, fault, run % 97 == 0);
        if (HasFatalFailure()) {
            return;
        }
        loads += gFakeOs.loads;
        frees += gFakeOs.frees;
        begins += gFakeOs.periodBegins;
        ends += gFakeOs.periodEnds;
        sets += gFakeOs.throttlingSets;
    }
    gFakeOs = FakeOsState();
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
