// A recording stand-in for the OS calls of a run. Each fake takes and
// refuses what the Windows call does, and keeps the state the call changes
// (module references, timer periods, the throttling state), so a wrong
// argument or an unbalanced run fails a test instead of passing.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "measure/measure_worker.h"
#include "measure/sleep_sampling.h"
#include "measure/timer_controls.h"

// Platform faults a run can meet around its timed loop. QueryFails: the
// query refuses whatever it is given, as on Windows before 11 22H2.
enum class OsFault { None, KernelLoadFails, QueryAbsent, SetAbsent, QueryFails };

constexpr OsFault kOsFaults[] = {OsFault::None, OsFault::KernelLoadFails, OsFault::QueryAbsent, OsFault::SetAbsent,
                                 OsFault::QueryFails};
constexpr const char* kOsFaultNames[] = {"NoFault", "KernelLoadFails", "QueryAbsent", "SetAbsent", "QueryFails"};

inline const char* OsFaultName(OsFault fault) {
    return kOsFaultNames[static_cast<int>(fault)];
}
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
inline bool operator==(const ThrottlingPolicy& a, const ThrottlingPolicy& b) {
    return a.controlMask == b.controlMask && a.stateMask == b.stateMask;
}
// "{4,0}"
inline std::ostream& operator<<(std::ostream& out, const ThrottlingPolicy& policy) {
    return out << "{" << policy.controlMask << "," << policy.stateMask << "}";
}

// The policies a process may hold when a run starts, as the tests walk
// them: system-managed; timer requests always honoured; always ignored;
// execution speed throttled (efficiency mode); both mechanisms in hand and on.
constexpr ThrottlingPolicy kThrottlingPolicies[] = {{0, 0}, {4, 0}, {4, 4}, {1, 1}, {5, 5}};

struct FakeOsState {
    OsFault fault = OsFault::None;
    // The fake process's power-throttling policy.
    ThrottlingPolicy policy;
    // kernel32 references taken and not yet freed, and LoadLibrary calls
    // that gave one (a load that fails is no refusal).
    int kernelReferences = 0;
    int loads = 0;
    // timeBeginPeriod requests not yet ended, by period.
    std::map<uint32_t, int> periodsHeld;
    // Inside RunAsFakeThread, a thread started by _beginthreadex: its
    // argument, and the heap blocks besides the histogram's entries when it
    // started (a std::map holds each entry in a block of its own). And the
    // big blocks still live when it ended.
    WorkerParams* threadParams = nullptr;
    int64_t blocksBesideHistogramAtStart = 0;
    int64_t bigBlocksAtEndThread = -1;
    // Every call, in order, e.g. "LoadLibrary(kernel32.dll)" or "Set(4,12,1,4,0)".
    std::vector<std::string> calls;
    // Calls of any fake, these or the run sequence's, that Windows would
    // refuse, or that would go wrong there, and why.
    std::vector<std::string> refusals;
    // Read when the tear-down and release calls are made, to show where the
    // histogram build falls between them.
    const DelayHistogram* watched = nullptr;
    std::vector<size_t> watchedSizeAtPeriodEnd;
    std::vector<size_t> watchedSizeAtFree;
};

// The fakes keep their record here (ResetFakes starts a new one).
extern FakeOsState gFakeOs;
const OsCalls& FakeOsCalls();

// Record and Refuse keep what they store off the heap count; a fake that
// stores anything else holds a FakesOwnHeap of its own.
void Record(std::vector<std::string>& calls, const std::string& call);
void NoteRefusal(const std::string& why);
// Notes why Windows would refuse the call, or why it would go wrong there,
// and gives what the refused call returns: false, 0 or null.
template <typename Result = bool>
Result Refuse(const std::string& why) {
    NoteRefusal(why);
    return Result();
}
// How many calls of a record begin with `name`.
int CallCount(const std::vector<std::string>& calls, const std::string& name);
// The calls, each followed by `after`.
std::string Joined(const std::vector<std::string>& calls, const char* after);

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

// MeasureSleep on the fake OS calls, in the shape of a thread procedure:
// 16 ms a sleep on a clock high in its range, and _endthreadex is
// FakeEndThread.
uint32_t MeasureOnFakes(WorkerParams* params);
