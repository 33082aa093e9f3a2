#include "tests/native/fake_os.h"

#include <cstring>

FakeOsState gFakeOs;

namespace {

int gProcessToken;
int gKernelToken;

std::string Masks(const void* information) {
    PowerThrottlingState state;
    std::memcpy(&state, information, sizeof(state));
    return std::to_string(state.version) + "," + std::to_string(state.controlMask) + "," +
           std::to_string(state.stateMask);
}

std::string Narrow(const wchar_t* text) {
    std::string out;
    for (; *text; ++text) {
        out += static_cast<char>(*text);
    }
    return out;
}

void* GetProcessFake() {
    gFakeOs.calls.push_back("GetCurrentProcess");
    return &gProcessToken;
}

void SetDllDirectoriesFake(uint32_t flags) {
    gFakeOs.calls.push_back("SetDefaultDllDirectories(" + std::to_string(flags) + ")");
}

void* LoadLibraryFake(const wchar_t* name) {
    gFakeOs.calls.push_back("LoadLibrary(" + Narrow(name) + ")");
    if (gFakeOs.fault == OsFault::KernelLoadFails) {
        return nullptr;
    }
    ++gFakeOs.loads;
    return &gKernelToken;
}

int QueryFake(void* process, int infoClass, void* information, uint32_t size) {
    gFakeOs.calls.push_back("Query(" + std::to_string(infoClass) + "," + std::to_string(size) + ")");
    if (process != &gProcessToken || size != sizeof(PowerThrottlingState)) {
        gFakeOs.calls.push_back("bad arguments");
        return 0;
    }
    if (gFakeOs.fault == OsFault::QueryFails) {
        // A failed call leaves the record as it found it.
        return 0;
    }
    PowerThrottlingState state = {1, 0, gFakeOs.stateMaskBefore};
    std::memcpy(information, &state, sizeof(state));
    return 1;
}

int SetFake(void* process, int infoClass, void* information, uint32_t size) {
    gFakeOs.calls.push_back("Set(" + std::to_string(infoClass) + "," + std::to_string(size) + "," +
                            Masks(information) + ")");
    if (process != &gProcessToken) {
        gFakeOs.calls.push_back("bad process");
    }
    ++gFakeOs.throttlingSets;
    return 1;
}

ProcessInformationFn GetProcAddressFake(void* module, const char* name) {
    gFakeOs.calls.push_back(std::string("GetProcAddress(") + name + ")");
    if (module != &gKernelToken) {
        return nullptr;
    }
    const bool query = std::strcmp(name, "GetProcessInformation") == 0;
    if (query) {
        return gFakeOs.fault == OsFault::QueryAbsent ? nullptr : QueryFake;
    }
    if (std::strcmp(name, "SetProcessInformation") == 0) {
        return gFakeOs.fault == OsFault::SetAbsent ? nullptr : SetFake;
    }
    return nullptr;
}

void FreeLibraryFake(void* module) {
    gFakeOs.calls.push_back(module == &gKernelToken ? "FreeLibrary" : "FreeLibrary(bad module)");
    ++gFakeOs.frees;
    if (gFakeOs.watched) {
        gFakeOs.watchedSizeAtFree.push_back(gFakeOs.watched->size());
    }
}

void BeginPeriodFake(uint32_t period) {
    gFakeOs.calls.push_back("timeBeginPeriod(" + std::to_string(period) + ")");
    ++gFakeOs.periodBegins;
}

void EndPeriodFake(uint32_t period) {
    gFakeOs.calls.push_back("timeEndPeriod(" + std::to_string(period) + ")");
    ++gFakeOs.periodEnds;
    if (gFakeOs.watched) {
        gFakeOs.watchedSizeAtPeriodEnd.push_back(gFakeOs.watched->size());
    }
}

void EndThreadFake(uint32_t code) {
    gFakeOs.calls.push_back("endThread(" + std::to_string(code) + ")");
    ++gFakeOs.endThreads;
}

const OsCalls kFakeOsCalls = {
    GetProcessFake,  SetDllDirectoriesFake, LoadLibraryFake, GetProcAddressFake,
    FreeLibraryFake, BeginPeriodFake,       EndPeriodFake,   EndThreadFake,
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

void ResetFakeOs(OsFault fault, uint32_t stateMaskBefore) {
    gFakeOs = FakeOsState();
    gFakeOs.fault = fault;
    gFakeOs.stateMaskBefore = stateMaskBefore;
}

const OsCalls& FakeOsCalls() {
    return kFakeOsCalls;
}

void* FakeProcess() {
    return &gProcessToken;
}
