// A recording stand-in for the OS calls and clock of a run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "measure/sleep_sampling.h"
#include "measure/timer_controls.h"

// Platform faults a run can meet around its timed loop.
enum class OsFault {
    None,
    KernelLoadFails,
    QueryAbsent,
    SetAbsent,
    QueryFails,
};

const char* OsFaultName(OsFault fault);

struct FakeOsState {
    OsFault fault = OsFault::None;
    uint32_t stateMaskBefore = 0; // what the query reports
    // Every call, in order, e.g. "LoadLibrary(kernel32.dll)" or "Set(1,4,0)".
    std::vector<std::string> calls;
    // Balance counters.
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

// The fakes keep their record here; ResetFakeOs starts a new one.
extern FakeOsState gFakeOs;
void ResetFakeOs(OsFault fault, uint32_t stateMaskBefore);
const OsCalls& FakeOsCalls();

// The process handle the fake hands out.
void* FakeProcess();

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
