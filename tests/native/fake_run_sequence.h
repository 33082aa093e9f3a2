// A recording stand-in for the window, thread and message-box calls of a
// run. The window keeps its shown/minimized state as ShowWindow leaves it;
// a started worker runs only when it is waited for, as a real one has only
// then surely finished; handles refuse what Windows would refuse (unknown,
// closed, closed twice).
#pragma once

#include <string>
#include <vector>

#include "tests/native/fake_os.h"
#include "ui/run_sequence.h"

// Faults of the run itself, as opposed to those of its OS calls.
enum class RunFault {
    None,
    TimerFunctionsUnavailable,
    ThreadStartFails,
};

const char* RunFaultName(RunFault fault);

struct FakeWorkerThread {
    WorkerParams* params;
    bool ended = false;
    bool closed = false;
    uint32_t exitCode = 0;
};

struct FakeUiState {
    RunFault fault = RunFault::None;
    // What a worker does, started or called here.
    ThreadProc worker = nullptr;
    // The dialog window, as the system holds it.
    bool visible = true;
    bool minimized = false;
    // Every call, e.g. "timers show(6) start wait close show(9) report ".
    std::string calls;
    // Calls that Windows would refuse, or that would go wrong there, and why.
    std::vector<std::string> refusals;
    // Started threads; a handle is the address of its entry, so the vector
    // never grows past what ResetFakeUi reserves.
    std::vector<FakeWorkerThread> threads;
    int reports = 0;
    int errors = 0;
    DelayHistogram reported;
    // The window's state when the last report or error was shown.
    bool visibleAtReport = false;
    bool minimizedAtReport = true;
};

extern FakeUiState gFakeUi;
// Starts a new record: a visible, restored window, and the given worker.
void ResetFakeUi(RunFault fault, ThreadProc worker);
const RunSequenceCalls& FakeRunSequenceCalls();
int* FakeDialogWindow();

// "" when nothing was refused, every thread started was waited for and
// closed, and the window is shown and restored; otherwise what is wrong.
std::string FakeUiProblems();
