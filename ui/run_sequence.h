// One press of Run, from the options read off the dialog to the report:
// get the window out of the way, measure, bring it back, report.
#pragma once

#include <cstdint>

#include "measure/measure_worker.h"

// ShowWindow commands the sequence uses.
constexpr int kShowHide = 0;
constexpr int kShowShow = 5;
constexpr int kShowMinimize = 6;
constexpr int kShowRestore = 9;

// Why a run could not be made; the user is told in a message box.
enum class RunError {
    TimerFunctionsUnavailable, // winmm.dll cannot be loaded
    ThreadNotStarted,
};

// The window and thread calls of a run. Production binds them to the
// Windows API, tests to recording fakes.
struct RunSequenceCalls {
    // Whether the timer functions the run calls can be had at all.
    bool (*timerFunctionsAvailable)();
    void (*showWindow)(void* window, int command);
    // Starts MeasureSleep(params) on a new thread; null when it cannot.
    void* (*startWorker)(WorkerParams* params);
    // Waits without a time-out for the thread to end.
    void (*waitForWorker)(void* thread);
    void (*closeWorker)(void* thread);
    // Calls MeasureSleep(params) on this thread.
    void (*measureHere)(WorkerParams* params);
    // Both return once the user has closed the message box.
    void (*showReport)(const DelayHistogram& histogram);
    void (*showError)(RunError error);
};

void RunMeasurementSequence(void* window, const RunOptions& options, const RunSequenceCalls& calls);
