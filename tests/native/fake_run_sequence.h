// A recording stand-in for the window, thread and message-box calls of a
// run. The window keeps its shown/minimized state as ShowWindow leaves it;
// a started worker runs only when it is waited for, as a real one has only
// then surely finished; handles refuse what Windows would refuse (unknown,
// closed, closed twice). With the OS fakes it has one reset and one list
// of problems.
#pragma once

#include <string>
#include <vector>

#include "tests/native/fake_os.h"
#include "ui/run_sequence.h"

// Faults of the run itself, as opposed to those of its OS calls.
enum class RunFault { None, TimerFunctionsUnavailable, ThreadStartFails };

constexpr RunFault kRunFaults[] = {RunFault::None, RunFault::TimerFunctionsUnavailable, RunFault::ThreadStartFails};
constexpr const char* kRunFaultNames[] = {"", ", timer functions unavailable", ", thread start fails"};

inline const char* RunFaultName(RunFault fault) {
    return kRunFaultNames[static_cast<int>(fault)];
}

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
    // Every call, e.g. "timers", "show(6)", "start", "wait", "report".
    std::vector<std::string> calls;
    // Started threads; a handle is the address of its entry, so the vector
    // never grows past what ResetFakes reserves.
    std::vector<FakeWorkerThread> threads;
    DelayHistogram reported;
    // The window's state when the last report or error was shown.
    bool visibleAtReport = false;
    bool minimizedAtReport = true;
};

extern FakeUiState gFakeUi;

// Starts a new record of every fake: a process that holds `policy` and
// meets `fault`; a visible, restored window; the run fault and the worker.
void ResetFakes(OsFault fault, ThrottlingPolicy policy, RunFault runFault = RunFault::None,
                ThreadProc worker = MeasureOnFakes);
// One press of Run on the fakes' window.
void PressRun(const RunOptions& options);

// "" when nothing was refused, nothing is left held (kernel32 references,
// timer periods), every thread started was waited for and closed, and the
// window is shown and restored; otherwise what is wrong.
std::string FakeProblems();
