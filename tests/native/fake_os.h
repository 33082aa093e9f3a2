// A recording stand-in for the OS calls and clock of a run. Each fake takes
// and refuses what the Windows call does, and keeps the state the call
// changes (module references, timer periods, the throttling state), so a
// wrong argument or an unbalanced run fails a test instead of passing.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
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

constexpr OsFault kOsFaults[] = {OsFault::None, OsFault::KernelLoadFails, OsFault::QueryAbsent, OsFault::SetAbsent,
                                 OsFault::QueryFails};

const char* OsFaultName(OsFault fault);
inline void PrintTo(OsFault fault, std::ostream* out) {
    *out << OsFaultName(fault);
}

// A process's power-throttling policy as the system keeps it: the
// mechanisms the process has taken in hand (ControlMask) and which of
// those are on (StateMask). A process that has set nothing is
// system-managed, {0, 0}; a successful SetProcessInformation replaces
// both masks.
struct ThrottlingPolicy {
    uint32_t controlMask = 0;
    uint32_t stateMask = 0;
};
bool operator==(const ThrottlingPolicy& a, const ThrottlingPolicy& b);
// "{4,0}"
std::ostream& operator<<(std::ostream& out, const ThrottlingPolicy& policy);

// The policies a process may hold when a run starts, as the tests walk
// them: system-managed; timer requests always honoured; always ignored;
// execution speed throttled (efficiency mode); both mechanisms in hand and on.
constexpr ThrottlingPolicy kThrottlingPolicies[] = {{0, 0}, {4, 0}, {4, 4}, {1, 1}, {5, 5}};

struct FakeOsState {
    OsFault fault = OsFault::None;
    // The fake process's power-throttling policy.
    ThrottlingPolicy policy;
    // kernel32 references taken and not yet freed.
    int kernelReferences = 0;
    // timeBeginPeriod requests not yet ended, by period.
    std::map<uint32_t, int> periodsHeld;
    // Inside RunAsFakeThread: a thread started by _beginthreadex, its
    // argument, and the heap blocks and histogram entries there when it
    // started.
    bool onWorkerThread = false;
    WorkerParams* threadParams = nullptr;
    int64_t blocksAtThreadStart = 0;
    size_t histogramAtThreadStart = 0;
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
// process that holds the given throttling policy.
extern FakeOsState gFakeOs;
void ResetFakeOs(OsFault fault, ThrottlingPolicy policyBefore);
const OsCalls& FakeOsCalls();

// "" when nothing was refused and nothing is left held (kernel32
// references, timer periods); otherwise what was.
std::string FakeOsProblems();

// _endthreadex: on a fake thread, ends it by throwing FakeThreadEnded, so
// that, as on Windows, nothing after the call runs. Anywhere else it would
// end a thread that _beginthreadex did not start, and is refused. It is
// refused too while the run still holds any heap block but the histogram's
// entries: the real call runs none of the destructors that would free them.
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
