#include "measure/timer_controls.h"

namespace {

bool ChangesThrottling(const TimerControls& controls, const RunOptions& options) {
    // Same test for set and restore, so a changed state is always put back
    // and an untouched one is never written.
    return options.callSetProcessInformation && controls.queryFn && controls.setFn;
}

void WriteThrottling(const TimerControls& controls, uint32_t stateMask) {
    PowerThrottlingState state = {kPowerThrottlingCurrentVersion,
                                  kPowerThrottlingIgnoreTimerResolution, stateMask};
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
    controls.savedIgnoreBit = 0;
    if (controls.queryFn) {
        // The query, like the set, takes only a record of the current
        // version. A failed query leaves the record as it is, so the bit
        // saved then is the clear one written here, not stack garbage.
        PowerThrottlingState state = {kPowerThrottlingCurrentVersion, 0, 0};
        controls.queryFn(controls.process, kProcessPowerThrottling, &state, sizeof(state));
        controls.savedIgnoreBit = state.stateMask & kPowerThrottlingIgnoreTimerResolution;
    }
    if (ChangesThrottling(controls, options)) {
        WriteThrottling(controls, 0);
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
        WriteThrottling(controls, controls.savedIgnoreBit);
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
