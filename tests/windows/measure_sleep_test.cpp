// One-second runs of the real measurement on the real Windows API.
#include <windows.h>
#include <mmsystem.h>
#include <process.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "measure/measure_worker.h"
#include "measure/os_calls_win32.h"
#include "report/report_text.h"
#include "tests/harness/harness.h"
#include "tests/harness/report_format.h"
#include "tests/test_runs.h"

namespace {

// The sleeps counted, or (byDuration) the milliseconds they took together.
uint64_t Sum(const DelayHistogram& histogram, bool byDuration) {
    uint64_t sum = 0;
    for (const auto& [ms, count] : histogram) {
        sum += (byDuration ? uint64_t{ms} : 1) * static_cast<uint64_t>(count);
    }
    return sum;
}

void ExpectReportMatches(const DelayHistogram& histogram, const std::wstring& text) {
    std::vector<ReportLine> lines;
    std::string error;
    ASSERT_TRUE(ParseReport(text, &lines, &error)) << error;
    ASSERT_EQ(histogram.size(), lines.size());
    auto entry = histogram.begin();
    for (const ReportLine& line : lines) {
        EXPECT_EQ(entry->first, line.ms);
        EXPECT_EQ(entry->second, line.count);
        ++entry;
    }
}

// The real clock, counting its sleeps.
struct CountingClock {
    Win32Clock real;
    uint64_t sleeps = 0;
    uint32_t Now() { return real.Now(); }
    void Sleep1() {
        ++sleeps;
        real.Sleep1();
    }
};

} // namespace

TEST(MeasureSleepWin32, InlineRunReturnsZeroWithAPlausibleHistogram) {
    DelayHistogram histogram = {{12345, 1}};
    WorkerParams params{histogram, OptionsFromBits(kCallPeriod)};
    const DWORD started = timeGetTime();
    const unsigned result = MeasureSleep(&params);
    const DWORD elapsed = timeGetTime() - started;
    EXPECT_EQ(0u, result);
    ASSERT_FALSE(histogram.empty());
    EXPECT_EQ(0u, histogram.count(12345)) << "stale entry kept";
    EXPECT_GE(elapsed, 1000u);
    // The sleeps cannot have lasted longer than the call itself.
    EXPECT_LE(Sum(histogram, true), elapsed);
    ExpectReportMatches(histogram, BuildReportText(histogram));
}

TEST(MeasureSleepWin32, ThreadRunEndsWithExitCodeZero) {
    DelayHistogram histogram;
    WorkerParams params{histogram, OptionsFromBits(kCallPeriod | kWorker)};
    unsigned threadId = 0;
    const uintptr_t thread = _beginthreadex(nullptr, 0, MeasureSleep, &params, 0, &threadId);
    ASSERT_NE(0u, thread);
    HANDLE handle = reinterpret_cast<HANDLE>(thread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(handle, 60000)) << "a one-second worker still running after 60 s";
    DWORD exitCode = 12345;
    ASSERT_TRUE(GetExitCodeThread(handle, &exitCode));
    EXPECT_EQ(0u, exitCode);
    CloseHandle(handle);
    ASSERT_FALSE(histogram.empty());
    ExpectReportMatches(histogram, BuildReportText(histogram));
}

TEST(MeasureSleepWin32, CountsAddUpToTheSamplesTaken) {
    DelayHistogram histogram;
    WorkerParams params{histogram, OptionsFromBits(kCallSet | kCallPeriod)};
    CountingClock clock;
    RunMeasurement(params, Win32OsCalls(), clock);
    EXPECT_GT(clock.sleeps, 0u);
    EXPECT_EQ(clock.sleeps, Sum(histogram, false));
}

TEST(MeasureSleepWin32, BindingResolvesProcessInformationWhereItExists) {
    EXPECT_TRUE(TimerFunctionsAvailable()) << "winmm.dll or its timer functions cannot be had from System32";
    const OsCalls& os = Win32OsCalls();
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    ASSERT_NE(nullptr, kernel);
    void* module = os.loadLibrary(L"kernel32.dll");
    ASSERT_EQ(static_cast<void*>(kernel), module);
    const bool exists = GetProcAddress(kernel, "GetProcessInformation") != nullptr;
    EXPECT_EQ(exists, os.getProcAddress(module, "GetProcessInformation") != nullptr);
    EXPECT_EQ(nullptr, os.getProcAddress(module, "NoSuchFunctionAnywhere"));
    os.freeLibrary(module);
    if (!exists) {
        printf("GetProcessInformation is absent here: only its absence could be checked\n");
    }
}

namespace {

// A run on the real OS calls, with a clock that does not wait: 16 ms a sleep.
DelayHistogram InstantRun(const RunOptions& options) {
    DelayHistogram histogram;
    WorkerParams params{histogram, options};
    SteppingClock clock{0, 16};
    RunMeasurement(params, Win32OsCalls(), clock);
    return histogram;
}

} // namespace

// Thirty runs on the real OS calls (with a clock that does not wait), the
// options changing every time, leave no timer period requested.
TEST(MeasureSleepWin32, RealCallsLeaveNoTimerPeriodBehind) {
    // timeEndPeriod without a matching timeBeginPeriod must fail, or this
    // system cannot show whether a period was left behind.
    ASSERT_EQ(static_cast<MMRESULT>(TIMERR_NOERROR), timeBeginPeriod(1));
    ASSERT_EQ(static_cast<MMRESULT>(TIMERR_NOERROR), timeEndPeriod(1));
    if (timeEndPeriod(1) != TIMERR_NOCANDO) {
        GTEST_SKIP() << "timeEndPeriod does not report an unmatched release here";
    }
    for (int run = 0; run < 30; ++run) {
        const RunOptions options = OptionsFromBits(run & (kCallSet | kCallPeriod));
        ASSERT_EQ((DelayHistogram{{16, 63}}), InstantRun(options)) << "run " << run;
    }
    EXPECT_EQ(static_cast<MMRESULT>(TIMERR_NOCANDO), timeEndPeriod(1)) << "a timer period is still requested";
}

// The throttling policy after runs that changed it is the policy before
// them, both masks: on Windows 11 22H2 and later, which report it.
TEST(MeasureSleepWin32, RealCallsPutTheThrottlingStateBack) {
    const auto query = OptionalFunction<ProcessInformationFn>(L"kernel32.dll", "GetProcessInformation");
    if (!query || !OptionalFunction<ProcessInformationFn>(L"kernel32.dll", "SetProcessInformation")) {
        GTEST_SKIP() << "the process-information functions are absent here";
    }
    PowerThrottlingState before = {1, 0, 0};
    if (!query(GetCurrentProcess(), kProcessPowerThrottling, &before, sizeof(before))) {
        GTEST_SKIP() << "this system does not report the power-throttling policy (error " << GetLastError()
                     << "; Windows 11 22H2 and later do)";
    }
    for (int run = 0; run < 4; ++run) {
        InstantRun(OptionsFromBits(kCallSet | kCallPeriod));
    }
    PowerThrottlingState after = {1, 0, 0};
    ASSERT_TRUE(query(GetCurrentProcess(), kProcessPowerThrottling, &after, sizeof(after)));
    EXPECT_EQ(before.controlMask, after.controlMask) << "ControlMask after four runs with the option";
    EXPECT_EQ(before.stateMask, after.stateMask) << "StateMask after four runs with the option";
}
