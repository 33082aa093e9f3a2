// The run's OS calls and clock, bound to the Windows API.
#pragma once

#include <cstdint>

#include "measure/timer_controls.h"

const OsCalls& Win32OsCalls();

// Whether winmm.dll loads from System32 and has the three timer functions.
// winmm is delay-loaded: the first timer call of a run loads it, and if that
// fails the call raises an exception that ends the program mid-run. A run
// asks here first and does not start when the answer is no. When it is yes,
// the delay-load finds the same file: by then the run has restricted the
// DLL search to System32.
bool TimerFunctionsAvailable();

// timeGetTime and Sleep(1).
struct Win32Clock {
    uint32_t Now();
    void Sleep1();
};
