// One complete measurement run, on the dialog's thread or a thread of its own.
#pragma once

#include <cstdint>

#include "measure/run_options.h"
#include "measure/sleep_sampling.h"
#include "measure/timer_controls.h"

// The worker's single argument. Lives in the caller's frame until the worker
// has returned or its thread has ended.
struct WorkerParams {
    DelayHistogram& histogram;
    RunOptions options;
};

// Set-up, timed loop, tear-down, histogram, release: in that order, so the
// settings are back before any work is done on the results.
template <typename Clock>
void RunMeasurement(const WorkerParams& params, const OsCalls& os, Clock& clock) {
    TimerControls controls;
    SetUpTimerControls(controls, params.options, os);
    SampleBuffer samples = SampleSleeps(RunLengthMs(params.options), clock);
    TearDownTimerControls(controls, params.options, os);
    BuildHistogram(samples, params.histogram);
    ReleaseTimerControls(controls, os);
    SampleBuffer().swap(samples);
}

// Ends the calling thread with the given exit code, without unwinding its
// stack, and does not return (_endthreadex).
using EndThreadFn = void (*)(uint32_t exitCode);

// The body of MeasureSleep. The run happens in a call of its own so that the
// sample buffer is freed before endThread.
template <typename Clock>
uint32_t MeasureSleepWith(const WorkerParams& params, const OsCalls& os, Clock& clock, EndThreadFn endThread) {
    RunMeasurement(params, os, clock);
    // Decided by the option, not by asking which thread this is: the caller
    // starts a thread exactly when the option says so.
    if (params.options.useWorkerThread) {
        endThread(0);
    }
    return 0;
}

#ifdef _WIN32
// Thread procedure shape for _beginthreadex; arg is a WorkerParams*.
unsigned __stdcall MeasureSleep(void* arg);
#endif
