// Options and a clock for test runs, on any platform.
#pragma once

#include <cstdint>
#include <vector>

#include "measure/run_options.h"

// One bit per option: 0 to 31 walks every combination.
enum OptionBit : int { kCallSet = 1, kCallPeriod = 2, kMinimize = 4, kHide = 8, kWorker = 16 };

// A one-second run with the options whose bits are set, the others off.
inline RunOptions OptionsFromBits(int bits) {
    RunOptions options;
    options.callSetProcessInformation = bits & kCallSet;
    options.callTimePeriod = bits & kCallPeriod;
    options.minimizeWindow = bits & kMinimize;
    options.hideWindow = bits & kHide;
    options.useWorkerThread = bits & kWorker;
    options.seconds = 1;
    return options;
}

// A clock that moves only when slept, and at once: by each step of the
// script in turn, then by stepPerSleep (16 ms unless said, about Windows'
// default tick).
struct SteppingClock {
    uint32_t now = 0;
    uint32_t stepPerSleep = 16;
    std::vector<uint32_t> script = {};
    uint32_t sleeps = 0;
    uint32_t Now() { return now; }
    void Sleep1() {
        now += sleeps < script.size() ? script[sleeps] : stepPerSleep;
        ++sleeps;
    }
};
