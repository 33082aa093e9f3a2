#include "tests/native/fake_run_sequence.h"

FakeUiState gFakeUi;

namespace {

int gWindowToken;

// ShowWindow's commands run from SW_HIDE (0) to SW_FORCEMINIMIZE (11).
constexpr int kLastShowCommand = 11;

void Record(const std::string& call) {
    gFakeUi.calls += call + " ";
}

void Refuse(const std::string& why) {
    gFakeUi.refusals.push_back(why);
}

FakeWorkerThread* OpenThread(void* handle, const char* call) {
    for (FakeWorkerThread& thread : gFakeUi.threads) {
        if (&thread == handle) {
            if (thread.closed) {
                Refuse(std::string(call) + ": handle already closed");
                return nullptr;
            }
            return &thread;
        }
    }
    Refuse(std::string(call) + ": not a thread handle");
    return nullptr;
}

bool TimerFunctionsFake() {
    Record("timers");
    return gFakeUi.fault != RunFault::TimerFunctionsUnavailable;
}

void ShowWindowFake(void* window, int command) {
    Record("show(" + std::to_string(command) + ")");
    if (window != &gWindowToken) {
        Refuse("ShowWindow: not a window");
        return;
    }
    if (command < 0 || command > kLastShowCommand) {
        Refuse("ShowWindow: command " + std::to_string(command));
        return;
    }
    // Every command but SW_HIDE shows the window. SW_SHOWMINIMIZED (2),
    // SW_MINIMIZE, SW_SHOWMINNOACTIVE (7) and SW_FORCEMINIMIZE minimize it;
    // SW_SHOWNORMAL (1), SW_MAXIMIZE (3) and SW_RESTORE take it out of the
    // minimized state; the rest keep its size.
    gFakeUi.visible = command != kShowHide;
    switch (command) {
    case 2: case kShowMinimize: case 7: case kLastShowCommand: gFakeUi.minimized = true; break;
    case 1: case 3: case kShowRestore: gFakeUi.minimized = false; break;
    default: break;
    }
}

void* StartWorkerFake(WorkerParams* params) {
    Record("start");
    if (!params) {
        Refuse("_beginthreadex: no argument for the worker");
        return nullptr;
    }
    if (gFakeUi.fault == RunFault::ThreadStartFails) {
        return nullptr;
    }
    if (gFakeUi.threads.size() == gFakeUi.threads.capacity()) {
        Refuse("_beginthreadex: more threads than this fake keeps");
        return nullptr;
    }
    gFakeUi.threads.push_back(FakeWorkerThread{params});
    return &gFakeUi.threads.back();
}

void WaitFake(void* handle) {
    Record("wait");
    FakeWorkerThread* thread = OpenThread(handle, "WaitForSingleObject");
    if (thread && !thread->ended) {
        thread->exitCode = RunAsFakeThread(gFakeUi.worker, thread->params);
        thread->ended = true;
    }
}

void CloseFake(void* handle) {
    Record("close");
    if (FakeWorkerThread* thread = OpenThread(handle, "CloseHandle")) {
        thread->closed = true;
    }
}

void MeasureHereFake(WorkerParams* params) {
    Record("here");
    if (!params) {
        Refuse("MeasureSleep: no argument");
        return;
    }
    const uint32_t result = gFakeUi.worker(params);
    if (result != 0) {
        Refuse("MeasureSleep returned " + std::to_string(result));
    }
}

void NoteWindowAtMessage() {
    gFakeUi.visibleAtReport = gFakeUi.visible;
    gFakeUi.minimizedAtReport = gFakeUi.minimized;
}

void ShowReportFake(const DelayHistogram& histogram) {
    Record("report");
    ++gFakeUi.reports;
    gFakeUi.reported = histogram;
    NoteWindowAtMessage();
}

void ShowErrorFake(RunError error) {
    Record(error == RunError::TimerFunctionsUnavailable ? "error(timers)" : "error(thread)");
    ++gFakeUi.errors;
    NoteWindowAtMessage();
}

const RunSequenceCalls kFakeCalls = {
    TimerFunctionsFake, ShowWindowFake, StartWorkerFake, WaitFake,
    CloseFake,          MeasureHereFake, ShowReportFake,  ShowErrorFake,
};

} // namespace

const char* RunFaultName(RunFault fault) {
    switch (fault) {
    case RunFault::None: return "";
    case RunFault::TimerFunctionsUnavailable: return ", timer functions unavailable";
    case RunFault::ThreadStartFails: return ", thread start fails";
    }
    return "?";
}

void ResetFakeUi(RunFault fault, ThreadProc worker) {
    gFakeUi = FakeUiState();
    gFakeUi.threads.reserve(4);
    gFakeUi.fault = fault;
    gFakeUi.worker = worker;
}

const RunSequenceCalls& FakeRunSequenceCalls() {
    return kFakeCalls;
}

int* FakeDialogWindow() {
    return &gWindowToken;
}

std::string FakeUiProblems() {
    std::string problems;
    for (const std::string& refusal : gFakeUi.refusals) {
        problems += "refused: " + refusal + "\n";
    }
    for (const FakeWorkerThread& thread : gFakeUi.threads) {
        if (!thread.ended) {
            problems += "a worker thread was never waited for\n";
        }
        if (!thread.closed) {
            problems += "a thread handle was left open\n";
        }
        if (thread.ended && thread.exitCode != 0) {
            problems += "a worker thread ended with " + std::to_string(thread.exitCode) + "\n";
        }
    }
    if (!gFakeUi.visible || gFakeUi.minimized) {
        problems += "the window was left hidden or minimized\n";
    }
    return problems;
}
