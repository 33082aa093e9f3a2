#include "ui/run_sequence.h"

namespace {

void HideWindow(void* window, const RunOptions& options, const RunSequenceCalls& calls) {
    if (options.minimizeWindow) {
        calls.showWindow(window, kShowMinimize);
    }
    if (options.hideWindow) {
        calls.showWindow(window, kShowHide);
    }
}

// The reverse of HideWindow.
void BringWindowBack(void* window, const RunOptions& options, const RunSequenceCalls& calls) {
    if (options.hideWindow) {
        calls.showWindow(window, kShowShow);
    }
    if (options.minimizeWindow) {
        calls.showWindow(window, kShowRestore);
    }
}

} // namespace

void RunMeasurementSequence(void* window, const RunOptions& options, const RunSequenceCalls& calls) {
    // Asked before anything is changed: without the timer functions the run
    // could only fail part-way, so it does not start.
    if (!calls.timerFunctionsAvailable()) {
        calls.showError(RunError::TimerFunctionsUnavailable);
        return;
    }
    HideWindow(window, options, calls);
    DelayHistogram histogram;
    WorkerParams params{histogram, options};
    if (options.useWorkerThread) {
        void* thread = calls.startWorker(&params);
        if (!thread) {
            // Nothing ran: say so rather than show an empty report.
            BringWindowBack(window, options, calls);
            DelayHistogram().swap(histogram);
            calls.showError(RunError::ThreadNotStarted);
            return;
        }
        // The worker owns params and the histogram until it has ended.
        calls.waitForWorker(thread);
        calls.closeWorker(thread);
    } else {
        calls.measureHere(&params);
    }
    BringWindowBack(window, options, calls);
    calls.showReport(histogram);
}
