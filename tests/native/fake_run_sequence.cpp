#include "tests/native/fake_run_sequence.h"

#include "tests/native/alloc_counter.h"

FakeUiState gFakeUi;

namespace {

int gWindowToken;

// ShowWindow's commands run from SW_HIDE (0) to SW_FORCEMINIMIZE (11).
constexpr int kLastShowCommand = 11;

FakeWorkerThread* OpenThread(void* handle, const char* call) {
    for (FakeWorkerThread& thread : gFakeUi.threads) {
        if (&thread == handle) {
            return thread.closed ? Refuse<FakeWorkerThread*>(std::string(call) + ": handle already closed") : &thread;
        }
    }
    return Refuse<FakeWorkerThread*>(std::string(call) + ": not a thread handle");
}

bool TimerFunctionsFake() {
    Record(gFakeUi.calls, "timers");
    return gFakeUi.fault != RunFault::TimerFunctionsUnavailable;
}

void ShowWindowFake(void* window, int command) {
    Record(gFakeUi.calls, "show(" + std::to_string(command) + ")");
    if (window != &gWindowToken) {
        return Refuse<void>("ShowWindow: not a window");
    }
    if (command < 0 || command > kLastShowCommand) {
        return Refuse<void>("ShowWindow: command " + std::to_string(command));
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
    Record(gFakeUi.calls, "start");
    if (!params) {
        return Refuse<void*>("_beginthreadex: no argument for the worker");
    }
    if (gFakeUi.fault == RunFault::ThreadStartFails) {
        return nullptr;
    }
    if (gFakeUi.threads.size() == gFakeUi.threads.capacity()) {
        return Refuse<void*>("_beginthreadex: more threads than this fake keeps");
    }
    gFakeUi.threads.push_back(FakeWorkerThread{params});
    return &gFakeUi.threads.back();
}

void WaitFake(void* handle) {
    Record(gFakeUi.calls, "wait");
    FakeWorkerThread* thread = OpenThread(handle, "WaitForSingleObject");
    if (thread && !thread->ended) {
        thread->exitCode = RunAsFakeThread(gFakeUi.worker, thread->params);
        thread->ended = true;
    }
}

void CloseFake(void* handle) {
    Record(gFakeUi.calls, "close");
    if (FakeWorkerThread* thread = OpenThread(handle, "CloseHandle")) {
        thread->closed = true;
    }
}

void MeasureHereFake(WorkerParams* params) {
    Record(gFakeUi.calls, "here");
    if (!params) {
        return Refuse<void>("MeasureSleep: no argument");
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
    const FakesOwnHeap own;
    Record(gFakeUi.calls, "report");
    gFakeUi.reported = histogram;
    NoteWindowAtMessage();
}

void ShowErrorFake(RunError error) {
    Record(gFakeUi.calls, error == RunError::TimerFunctionsUnavailable ? "error(timers)" : "error(thread)");
    NoteWindowAtMessage();
}

const RunSequenceCalls kFakeCalls = {
    TimerFunctionsFake, ShowWindowFake, StartWorkerFake, WaitFake,
    CloseFake,          MeasureHereFake, ShowReportFake,  ShowErrorFake,
};

} // namespace

void ResetFakes(OsFault fault, ThrottlingPolicy policy, RunFault runFault, ThreadProc worker) {
    const FakesOwnHeap own;
    gFakeOs = FakeOsState();
    gFakeOs.fault = fault;
    gFakeOs.policy = policy;
    gFakeUi = FakeUiState();
    gFakeUi.threads.reserve(4);
    gFakeUi.fault = runFault;
    gFakeUi.worker = worker;
}

void PressRun(const RunOptions& options) { RunMeasurementSequence(&gWindowToken, options, kFakeCalls); }

std::string FakeProblems() {
    std::string problems;
    for (const std::string& refusal : gFakeOs.refusals) {
        problems += "refused: " + refusal + "\n";
    }
    if (gFakeOs.kernelReferences != 0) {
        problems += "kernel32 references still held: " + std::to_string(gFakeOs.kernelReferences) + "\n";
    }
    for (const auto& [period, held] : gFakeOs.periodsHeld) {
        if (held != 0) {
            problems += "timer period " + std::to_string(period) + " still requested " + std::to_string(held) +
                        " time(s)\n";
        }
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
