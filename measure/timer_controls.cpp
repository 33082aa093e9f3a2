#include "measure/timer_controls.h"

namespace {

bool ChangesThrottling(const TimerControls& controls, const RunOptions& options) {
    // Same test for set and restore, so a changed state is always put back
    // and an untouched one is never written.
    return options.callSetProcessInformation && controls.queryFn && controls.setFn;
}

void WriteThrottling(const TimerControls& controls, const PowerThrottlingState& policy) {
    PowerThrottlingState state = policy;
    controls.setFn(controls.process, kProcessPowerThrottling, &state, sizeof(state));
}

} // namespace

void SetUpTimerControls(TimerControls& controls, const RunOptions& options, const OsCalls& os) {
    controls.process = os.getCurrentProcess();
    os.setDefaultDllDirectories(kLoadLibrarySearchSystem32);
    controls.kernelModule = os.loadLibrary(L"kernel32.dll");
    controls.queryFn = nullptr;
    controls.setFn = nullptr;
    if (controls.kernelModule) {
        controls.queryFn = os.getProcAddress(controls.kernelModule, "GetProcessInformation");
        controls.setFn = os.getProcAddress(controls.kernelModule, "SetProcessInformation");
    }
    // Both masks are kept, so the restore puts back exactly the policy the
    // process had. A process whose policy cannot be read (Windows 11
    // before 22H2 refuses the query but takes the set) is taken to have
    // set nothing; what a failed query leaves in the record is not used.
    controls.savedPolicy = kSystemManagedThrottling;
    if (controls.queryFn) {
        // The query, like the set, takes only a record of the current version.
        PowerThrottlingState state = kSystemManagedThrottling;
        if (controls.queryFn(controls.process, kProcessPowerThrottling, &state, sizeof(state))) {
            controls.savedPolicy = {kPowerThrottlingCurrentVersion, state.controlMask, state.stateMask};
        }
    }
    if (ChangesThrottling(controls, options)) {
        WriteThrottling(controls, kHonourTimerResolution);
    }
    if (options.callTimePeriod) {
        os.timeBeginPeriod(kTimerPeriodMs);
    }
}

void TearDownTimerControls(const TimerControls& controls, const RunOptions& options,
                           const OsCalls& os) {
    if (options.callTimePeriod) {
        os.timeEndPeriod(kTimerPeriodMs);
    }
    if (ChangesThrottling(controls, options)) {
        WriteThrottling(controls, controls.savedPolicy);
    }
}

void ReleaseTimerControls(TimerControls& controls, const OsCalls& os) {
    if (controls.kernelModule) {
        os.freeLibrary(controls.kernelModule);
        controls.kernelModule = nullptr;
    }
    controls.queryFn = nullptr;
    controls.setFn = nullptr;
}
