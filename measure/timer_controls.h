// The two operating-system settings a run may change: the 1 ms timer
// period and the process's power-throttling state for timer resolution.
// Set up before the timed loop, torn down after it, released last.
#pragma once

#include <cstdint>

#include "measure/run_options.h"

// The calling shape of GetProcessInformation and SetProcessInformation.
// 64-bit Windows has a single calling convention; 32-bit needs stdcall.
#if defined(_WIN32) && !defined(_WIN64)
#define PROCESS_INFO_API __stdcall
#else
#define PROCESS_INFO_API
#endif
using ProcessInformationFn = int(PROCESS_INFO_API*)(void* process, int informationClass,
                                                    void* information, uint32_t informationSize);

// The handful of OS calls a run makes around its timed loop. Production binds
// it to the Windows API, tests to recording fakes.
struct OsCalls {
    void* (*getCurrentProcess)();
    void (*setDefaultDllDirectories)(uint32_t directoryFlags);
    void* (*loadLibrary)(const wchar_t* fileName);
    ProcessInformationFn (*getProcAddress)(void* module, const char* procName);
    void (*freeLibrary)(void* module);
    void (*timeBeginPeriod)(uint32_t periodMs);
    void (*timeEndPeriod)(uint32_t periodMs);
};

constexpr uint32_t kLoadLibrarySearchSystem32 = 0x800;
constexpr int kProcessPowerThrottling = 4;
constexpr uint32_t kPowerThrottlingCurrentVersion = 1;
constexpr uint32_t kPowerThrottlingIgnoreTimerResolution = 4;
constexpr uint32_t kTimerPeriodMs = 1;

// Same layout as PROCESS_POWER_THROTTLING_STATE. The record is a whole
// policy: ControlMask names the mechanisms the process takes in hand,
// StateMask switches each of those on or off, and a set replaces what the
// process held. {0, 0} leaves every mechanism to the system.
struct PowerThrottlingState {
    uint32_t version;
    uint32_t controlMask;
    uint32_t stateMask;
};
static_assert(sizeof(PowerThrottlingState) == 12, "must match PROCESS_POWER_THROTTLING_STATE");

// The policy of a process that has set nothing.
constexpr PowerThrottlingState kSystemManagedThrottling = {kPowerThrottlingCurrentVersion, 0, 0};
// What a run with the option sets: timer-resolution requests always honoured.
constexpr PowerThrottlingState kHonourTimerResolution = {kPowerThrottlingCurrentVersion,
                                                         kPowerThrottlingIgnoreTimerResolution, 0};

// What the set-up took, held until the release.
struct TimerControls {
    void* process = nullptr;
    void* kernelModule = nullptr;
    ProcessInformationFn queryFn = nullptr;
    ProcessInformationFn setFn = nullptr;
    // The process's throttling policy before the run, as the query reported
    // it; system-managed when the query is absent or fails.
    PowerThrottlingState savedPolicy = kSystemManagedThrottling;
};

// Restricts DLL loading to System32, resolves the process-information
// functions, saves the throttling policy, then applies what the options ask for.
void SetUpTimerControls(TimerControls& controls, const RunOptions& options, const OsCalls& os);

// Undoes the set-up's changes in reverse order.
void TearDownTimerControls(const TimerControls& controls, const RunOptions& options,
                           const OsCalls& os);

// Drops the kernel32 reference taken by the set-up.
void ReleaseTimerControls(TimerControls& controls, const OsCalls& os);
