// A recording stand-in for the OS calls and clock of a run. Each fake takes
// and refuses what the Windows call does, and keeps the state the call
// changes (module references, timer periods, the throttling state), so a
// wrong argument or an unbalanced run fails a test instead of passing.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "measure/measure_worker.h"
#include "measure/sleep_sampling.h"
#include "measure/timer_controls.h"

// Platform faults a run can meet around its timed loop.
enum class OsFault {
    None,
    KernelLoadFails,
    QueryAbsent,
    SetAbsent,
    // The query refuses whatever it is given, as on Windows before 11 22H2.
    QueryFails,
};

const char* OsFaultName(OsFault fault);

struct FakeOsState {
    OsFault fault = OsFault::None;
    // The fake process's power-throttling setting, as the system keeps it.
    uint32_t throttlingControl = 0;
    uint32_t throttlingState = 0;
    // kernel32 references taken and not yet freed.
    int kernelReferences = 0;
    // timeBeginPeriod requests not yet ended, by period.
    std::map<uint32_t, int> periodsHeld;
    // Inside RunAsFakeThread: a thread started by _beginthreadex.
    bool onWorkerThread = false;
    // Every call, in order, e.g. "LoadLibrary(kernel32.dll)" or "Set(4,12,1,4,0)".
    std::vector<std::string> calls;
    // Calls that Windows would refuse, or that would go wrong there, and why.
    std::vector<std::string> refusals;
    // Calls that succeeded.
    int loads = 0;
    int frees = 0;
    int periodBegins = 0;
    int periodEnds = 0;
    int throttlingSets = 0;
    int endThreads = 0;
    // Read when the tear-down and release calls are made, to show where the
    // histogram build falls between them.
    const DelayHistogram* watched = nullptr;
    std::vector<size_t> watchedSizeAtPeriodEnd;
    std::vector<size_t> watchedSizeAtFree;
};

// The fakes keep their record here; ResetFakeOs starts a new one, for a
// process whose throttling state mask is stateMaskBefore (set explicitly).
extern FakeOsState gFakeOs;
void ResetFakeOs(OsFault fault, uint32_t stateMaskBefore);
const OsCalls& FakeOsCalls();

// "" when nothing was refused and nothing is left held (kernel32
// references, timer periods); otherwise what was.
std::string FakeOsProblems();

// _endthreadex: on a fake thread, ends it by throwing FakeThreadEnded, so
// that, as on Windows, nothing after the call runs. Anywhere else it would
// end a thread that _beginthreadex did not start, and is refused.
void FakeEndThread(uint32_t exitCode);
struct FakeThreadEnded {
    uint32_t exitCode;
};

// Runs a thread procedure as a thread started by _beginthreadex would, on
// this thread; returns the exit code it ends with.
using ThreadProc = uint32_t (*)(WorkerParams* params);
uint32_t RunAsFakeThread(ThreadProc proc, WorkerParams* params);

// A clock that moves only when slept, by a fixed step.
struct SteppingClock {
    uint32_t now;
    uint32_t stepPerSleep;
    uint32_t sleeps = 0;
    uint32_t Now() { return now; }
    void Sleep1() {
        now += stepPerSleep;
        ++sleeps;
    }
};
