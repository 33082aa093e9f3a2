#include "tests/native/fake_os.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "tests/narrow_text.h"
#include "tests/native/alloc_counter.h"
#include "tests/test_runs.h"

FakeOsState gFakeOs;

namespace {

// What the fakes hand out: the pseudo-handle of the own process, and the
// kernel32 module.
int gProcessToken;
int gKernelToken;

// The flags SetDefaultDllDirectories takes, and the power-throttling
// mechanisms a ControlMask may name (execution speed, timer resolution).
constexpr uint32_t kDllDirectoryFlags = 0x200 | 0x400 | 0x800 | 0x1000;
constexpr uint32_t kThrottlingMechanisms = 0x1 | 0x4;
// timeGetDevCaps' range on Windows: 1 ms to 1,000,000 ms.
constexpr uint32_t kPeriodMin = 1;
constexpr uint32_t kPeriodMax = 1000000;

std::string Masks(const PowerThrottlingState& state) {
    return std::to_string(state.version) + "," + std::to_string(state.controlMask) + "," +
           std::to_string(state.stateMask);
}

// What GetProcessInformation and SetProcessInformation both demand for the
// power-throttling class: the own process, the class, the record's size
// and version, and kernel32 still loaded (the functions live in it).
// Returns false, having said why, if any is wrong.
bool ThrottlingCallIsValid(const char* name, void* process, int infoClass, const void* information,
                           uint32_t size) {
    const std::string call = std::string(name) + ": ";
    if (gFakeOs.kernelReferences == 0) {
        return Refuse(call + "called after FreeLibrary let kernel32 go");
    }
    if (process != &gProcessToken) {
        return Refuse(call + "not the handle GetCurrentProcess gave");
    }
    if (infoClass != kProcessPowerThrottling) {
        return Refuse(call + "information class " + std::to_string(infoClass) + ", this fake knows only 4");
    }
    if (size != sizeof(PowerThrottlingState) || !information) {
        return Refuse(call + "size " + std::to_string(size) + ", must be 12");
    }
    PowerThrottlingState state;
    std::memcpy(&state, information, sizeof(state));
    if (state.version != kPowerThrottlingCurrentVersion) {
        return Refuse(call + "Version " + std::to_string(state.version) + ", must be 1");
    }
    return true;
}

void* GetProcessFake() {
    Record(gFakeOs.calls, "GetCurrentProcess");
    return &gProcessToken;
}

void SetDllDirectoriesFake(uint32_t flags) {
    Record(gFakeOs.calls, "SetDefaultDllDirectories(" + std::to_string(flags) + ")");
    if (flags == 0 || (flags & ~kDllDirectoryFlags) != 0) {
        Refuse("SetDefaultDllDirectories: flags " + std::to_string(flags));
    }
}

void* LoadLibraryFake(const wchar_t* name) {
    Record(gFakeOs.calls, "LoadLibrary(" + (name ? Narrow(name) : "null") + ")");
    if (!name) {
        return Refuse<void*>("LoadLibrary: no file name");
    }
    // Module names are not case-sensitive; this system has only kernel32.
    if (gFakeOs.fault == OsFault::KernelLoadFails ||
        (wcscasecmp(name, L"kernel32.dll") != 0 && wcscasecmp(name, L"kernel32") != 0)) {
        return nullptr;
    }
    ++gFakeOs.loads;
    ++gFakeOs.kernelReferences;
    return &gKernelToken;
}

int QueryFake(void* process, int infoClass, void* information, uint32_t size) {
    Record(gFakeOs.calls, "Query(" + std::to_string(infoClass) + "," + std::to_string(size) + ")");
    if (!ThrottlingCallIsValid("GetProcessInformation", process, infoClass, information, size)) {
        return 0;
    }
    if (gFakeOs.fault == OsFault::QueryFails) {
        // What a failed call leaves in the record is not documented. This
        // one leaves {5, 5} there, so a caller that reads the record without
        // looking at the result restores that, not the system-managed policy.
        const PowerThrottlingState stale = {kPowerThrottlingCurrentVersion, 5, 5};
        std::memcpy(information, &stale, sizeof(stale));
        return 0;
    }
    const PowerThrottlingState state = {kPowerThrottlingCurrentVersion, gFakeOs.policy.controlMask,
                                        gFakeOs.policy.stateMask};
    std::memcpy(information, &state, sizeof(state));
    return 1;
}

int SetFake(void* process, int infoClass, void* information, uint32_t size) {
    PowerThrottlingState state = {};
    if (information && size == sizeof(state)) {
        std::memcpy(&state, information, sizeof(state));
    }
    Record(gFakeOs.calls, "Set(" + std::to_string(infoClass) + "," + std::to_string(size) + "," + Masks(state) + ")");
    if (!ThrottlingCallIsValid("SetProcessInformation", process, infoClass, information, size)) {
        return 0;
    }
    // ControlMask names the mechanisms the caller takes charge of, StateMask
    // switches those on or off.
    if ((state.controlMask & ~kThrottlingMechanisms) != 0 || (state.stateMask & ~state.controlMask) != 0) {
        return Refuse<int>("SetProcessInformation: masks " + Masks(state));
    }
    // The record is the whole policy: it replaces the one the process held,
    // it is not merged into it. {0, 0} hands every mechanism back to the
    // system.
    gFakeOs.policy = ThrottlingPolicy{state.controlMask, state.stateMask};
    return 1;
}

ProcessInformationFn GetProcAddressFake(void* module, const char* name) {
    Record(gFakeOs.calls, std::string("GetProcAddress(") + (name ? name : "null") + ")");
    if (module != &gKernelToken || gFakeOs.kernelReferences == 0) {
        return Refuse<ProcessInformationFn>("GetProcAddress: not a loaded module");
    }
    if (!name) {
        return Refuse<ProcessInformationFn>("GetProcAddress: no name");
    }
    // Names must match the export exactly, case included.
    if (std::strcmp(name, "GetProcessInformation") == 0) {
        return gFakeOs.fault == OsFault::QueryAbsent ? nullptr : QueryFake;
    }
    if (std::strcmp(name, "SetProcessInformation") == 0) {
        return gFakeOs.fault == OsFault::SetAbsent ? nullptr : SetFake;
    }
    return nullptr;
}

void FreeLibraryFake(void* module) {
    const FakesOwnHeap own;
    Record(gFakeOs.calls, "FreeLibrary");
    if (module != &gKernelToken || gFakeOs.kernelReferences == 0) {
        return Refuse<void>("FreeLibrary: not a loaded module");
    }
    --gFakeOs.kernelReferences;
    if (gFakeOs.watched) {
        gFakeOs.watchedSizeAtFree.push_back(gFakeOs.watched->size());
    }
}

bool PeriodInRange(const char* name, uint32_t period) {
    if (period < kPeriodMin || period > kPeriodMax) {
        return Refuse(std::string(name) + ": period " + std::to_string(period) + " out of range");
    }
    return true;
}

void BeginPeriodFake(uint32_t period) {
    const FakesOwnHeap own;
    Record(gFakeOs.calls, "timeBeginPeriod(" + std::to_string(period) + ")");
    if (PeriodInRange("timeBeginPeriod", period)) {
        ++gFakeOs.periodsHeld[period];
    }
}

void EndPeriodFake(uint32_t period) {
    const FakesOwnHeap own;
    Record(gFakeOs.calls, "timeEndPeriod(" + std::to_string(period) + ")");
    if (!PeriodInRange("timeEndPeriod", period)) {
        return;
    }
    // Each end must match an earlier begin with the same period.
    int& held = gFakeOs.periodsHeld[period];
    if (held == 0) {
        return Refuse<void>("timeEndPeriod(" + std::to_string(period) + "): no matching timeBeginPeriod");
    }
    --held;
    if (gFakeOs.watched) {
        gFakeOs.watchedSizeAtPeriodEnd.push_back(gFakeOs.watched->size());
    }
}

int64_t BlocksBesideHistogram(const WorkerParams& params) {
    return LiveHeapBlocks() - static_cast<int64_t>(params.histogram.size());
}

const OsCalls kFakeOsCalls = {
    GetProcessFake, SetDllDirectoriesFake, LoadLibraryFake, GetProcAddressFake,
    FreeLibraryFake, BeginPeriodFake,      EndPeriodFake,
};

} // namespace

const OsCalls& FakeOsCalls() { return kFakeOsCalls; }

void Record(std::vector<std::string>& calls, const std::string& call) {
    const FakesOwnHeap own;
    calls.push_back(call);
}

void NoteRefusal(const std::string& why) {
    const FakesOwnHeap own;
    gFakeOs.refusals.push_back(why);
}

int CallCount(const std::vector<std::string>& calls, const std::string& name) {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                          [&name](const std::string& call) { return call.rfind(name, 0) == 0; }));
}

std::string Joined(const std::vector<std::string>& calls, const char* after) {
    std::string text;
    for (const std::string& call : calls) {
        text += call + after;
    }
    return text;
}

void FakeEndThread(uint32_t exitCode) {
    Record(gFakeOs.calls, "endThread(" + std::to_string(exitCode) + ")");
    if (!gFakeOs.threadParams) {
        return Refuse<void>("_endthreadex on a thread that _beginthreadex did not start");
    }
    gFakeOs.bigBlocksAtEndThread = LiveBigBlocks();
    // The real call ends the thread there and then: the destructors still
    // pending on its stack never run, so whatever they would free is lost.
    // (This fake throws, which runs them; hence the count.)
    const int64_t held = BlocksBesideHistogram(*gFakeOs.threadParams) - gFakeOs.blocksBesideHistogramAtStart;
    if (held != 0) {
        Refuse("_endthreadex: " + std::to_string(held) +
               " heap block(s) that the run took besides the histogram's entries are still held");
    }
    throw FakeThreadEnded{exitCode};
}

uint32_t RunAsFakeThread(ThreadProc proc, WorkerParams* params) {
    gFakeOs.threadParams = params;
    gFakeOs.blocksBesideHistogramAtStart = BlocksBesideHistogram(*params);
    uint32_t exitCode;
    try {
        // A thread procedure that returns ends its thread with what it returns.
        exitCode = proc(params);
    } catch (const FakeThreadEnded& ended) {
        exitCode = ended.exitCode;
    }
    gFakeOs.threadParams = nullptr;
    return exitCode;
}

uint32_t MeasureOnFakes(WorkerParams* params) {
    SteppingClock clock{0xFFFF0000u, 16};
    return MeasureSleepWith(*params, FakeOsCalls(), clock, FakeEndThread);
}
