#include "tests/native/fake_os.h"

#include <cstring>
#include <cwctype>

#include "tests/narrow_text.h"
#include "tests/native/alloc_counter.h"

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

void Refuse(const std::string& why) {
    gFakeOs.refusals.push_back(why);
}

std::string Lower(const wchar_t* text) {
    std::wstring lower;
    for (; *text; ++text) {
        lower += static_cast<wchar_t>(std::towlower(static_cast<wint_t>(*text)));
    }
    return Narrow(lower);
}

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
        Refuse(call + "called after FreeLibrary let kernel32 go");
        return false;
    }
    if (process != &gProcessToken) {
        Refuse(call + "not the handle GetCurrentProcess gave");
        return false;
    }
    if (infoClass != kProcessPowerThrottling) {
        Refuse(call + "information class " + std::to_string(infoClass) + ", this fake knows only 4");
        return false;
    }
    if (size != sizeof(PowerThrottlingState) || !information) {
        Refuse(call + "size " + std::to_string(size) + ", must be 12");
        return false;
    }
    PowerThrottlingState state;
    std::memcpy(&state, information, sizeof(state));
    if (state.version != kPowerThrottlingCurrentVersion) {
        Refuse(call + "Version " + std::to_string(state.version) + ", must be 1");
        return false;
    }
    return true;
}

void* GetProcessFake() {
    const FakesOwnHeap own;
    gFakeOs.calls.push_back("GetCurrentProcess");
    return &gProcessToken;
}

void SetDllDirectoriesFake(uint32_t flags) {
    const FakesOwnHeap own;
    gFakeOs.calls.push_back("SetDefaultDllDirectories(" + std::to_string(flags) + ")");
    if (flags == 0 || (flags & ~kDllDirectoryFlags) != 0) {
        Refuse("SetDefaultDllDirectories: flags " + std::to_string(flags));
    }
}

void* LoadLibraryFake(const wchar_t* name) {
    const FakesOwnHeap own;
    if (!name) {
        gFakeOs.calls.push_back("LoadLibrary(null)");
        Refuse("LoadLibrary: no file name");
        return nullptr;
    }
    gFakeOs.calls.push_back("LoadLibrary(" + Narrow(name) + ")");
    // Module names are not case-sensitive; this system has only kernel32.
    const std::string lower = Lower(name);
    if (gFakeOs.fault == OsFault::KernelLoadFails || (lower != "kernel32.dll" && lower != "kernel32")) {
        return nullptr;
    }
    ++gFakeOs.loads;
    ++gFakeOs.kernelReferences;
    return &gKernelToken;
}

int QueryFake(void* process, int infoClass, void* information, uint32_t size) {
    const FakesOwnHeap own;
    gFakeOs.calls.push_back("Query(" + std::to_string(infoClass) + "," + std::to_string(size) + ")");
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
    const FakesOwnHeap own;
    PowerThrottlingState state = {};
    if (information && size == sizeof(state)) {
        std::memcpy(&state, information, sizeof(state));
    }
    gFakeOs.calls.push_back("Set(" + std::to_string(infoClass) + "," + std::to_string(size) + "," + Masks(state) +
                            ")");
    if (!ThrottlingCallIsValid("SetProcessInformation", process, infoClass, information, size)) {
        return 0;
    }
    // ControlMask names the mechanisms the caller takes charge of, StateMask
    // switches those on or off.
    if ((state.controlMask & ~kThrottlingMechanisms) != 0 || (state.stateMask & ~state.controlMask) != 0) {
        Refuse("SetProcessInformation: masks " + Masks(state));
        return 0;
    }
    // The record is the whole policy: it replaces the one the process held,
    // it is not merged into it. {0, 0} hands every mechanism back to the
    // system.
    gFakeOs.policy = ThrottlingPolicy{state.controlMask, state.stateMask};
    ++gFakeOs.throttlingSets;
    return 1;
}

ProcessInformationFn GetProcAddressFake(void* module, const char* name) {
    const FakesOwnHeap own;
    gFakeOs.calls.push_back(std::string("GetProcAddress(") + (name ? name : "null") + ")");
    if (module != &gKernelToken || gFakeOs.kernelReferences == 0) {
        Refuse("GetProcAddress: not a loaded module");
        return nullptr;
    }
    if (!name) {
        Refuse("GetProcAddress: no name");
        return nullptr;
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
    gFakeOs.calls.push_back("FreeLibrary");
    if (module != &gKernelToken || gFakeOs.kernelReferences == 0) {
        Refuse("FreeLibrary: not a loaded module");
        return;
    }
    --gFakeOs.kernelReferences;
    ++gFakeOs.frees;
    if (gFakeOs.watched) {
        gFakeOs.watchedSizeAtFree.push_back(gFakeOs.watched->size());
    }
}

bool PeriodInRange(const char* name, uint32_t period) {
    if (period < kPeriodMin || period > kPeriodMax) {
        Refuse(std::string(name) + ": period " + std::to_string(period) + " out of range");
        return false;
    }
    return true;
}

void BeginPeriodFake(uint32_t period) {
    const FakesOwnHeap own;
    gFakeOs.calls.push_back("timeBeginPeriod(" + std::to_string(period) + ")");
    if (PeriodInRange("timeBeginPeriod", period)) {
        ++gFakeOs.periodsHeld[period];
        ++gFakeOs.periodBegins;
    }
}

void EndPeriodFake(uint32_t period) {
    const FakesOwnHeap own;
    gFakeOs.calls.push_back("timeEndPeriod(" + std::to_string(period) + ")");
    if (!PeriodInRange("timeEndPeriod", period)) {
        return;
    }
    // Each end must match an earlier begin with the same period.
    int& held = gFakeOs.periodsHeld[period];
    if (held == 0) {
        Refuse("timeEndPeriod(" + std::to_string(period) + "): no matching timeBeginPeriod");
        return;
    }
    --held;
    ++gFakeOs.periodEnds;
    if (gFakeOs.watched) {
        gFakeOs.watchedSizeAtPeriodEnd.push_back(gFakeOs.watched->size());
    }
}

const OsCalls kFakeOsCalls = {
    GetProcessFake, SetDllDirectoriesFake, LoadLibraryFake, GetProcAddressFake,
    FreeLibraryFake, BeginPeriodFake,      EndPeriodFake,
};

} // namespace

const char* OsFaultName(OsFault fault) {
    switch (fault) {
    case OsFault::None: return "NoFault";
    case OsFault::KernelLoadFails: return "KernelLoadFails";
    case OsFault::QueryAbsent: return "QueryAbsent";
    case OsFault::SetAbsent: return "SetAbsent";
    case OsFault::QueryFails: return "QueryFails";
    }
    return "?";
}

bool operator==(const ThrottlingPolicy& a, const ThrottlingPolicy& b) {
    return a.controlMask == b.controlMask && a.stateMask == b.stateMask;
}

std::ostream& operator<<(std::ostream& out, const ThrottlingPolicy& policy) {
    return out << "{" << policy.controlMask << "," << policy.stateMask << "}";
}

void ResetFakeOs(OsFault fault, ThrottlingPolicy policyBefore) {
    gFakeOs = FakeOsState();
    gFakeOs.fault = fault;
    gFakeOs.policy = policyBefore;
}

const OsCalls& FakeOsCalls() {
    return kFakeOsCalls;
}

std::string FakeOsProblems() {
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
    return problems;
}

void FakeEndThread(uint32_t exitCode) {
    const FakesOwnHeap own;
    gFakeOs.calls.push_back("endThread(" + std::to_string(exitCode) + ")");
    if (!gFakeOs.onWorkerThread) {
        Refuse("_endthreadex on a thread that _beginthreadex did not start");
        return;
    }
    // The real call ends the thread there and then: the destructors still
    // pending on its stack never run, so whatever they would free is lost.
    // (This fake throws, which runs them; hence the count.)
    const int64_t held = LiveHeapBlocks() - gFakeOs.blocksAtThreadStart -
                         (static_cast<int64_t>(gFakeOs.threadParams->histogram.size()) -
                          static_cast<int64_t>(gFakeOs.histogramAtThreadStart));
    if (held != 0) {
        Refuse("_endthreadex: " + std::to_string(held) +
               " heap block(s) that the run took besides the histogram's entries are still held");
    }
    ++gFakeOs.endThreads;
    throw FakeThreadEnded{exitCode};
}

uint32_t RunAsFakeThread(ThreadProc proc, WorkerParams* params) {
    gFakeOs.onWorkerThread = true;
    gFakeOs.threadParams = params;
    gFakeOs.blocksAtThreadStart = LiveHeapBlocks();
    // A std::map holds each entry in a block of its own.
    gFakeOs.histogramAtThreadStart = params->histogram.size();
    uint32_t exitCode;
    try {
        // A thread procedure that returns ends its thread with what it returns.
        exitCode = proc(params);
    } catch (const FakeThreadEnded& ended) {
        exitCode = ended.exitCode;
    }
    gFakeOs.onWorkerThread = false;
    return exitCode;
}
