// The run's OS calls and clock, bound to the Windows API.
#pragma once

#include <cstdint>

#include "measure/timer_controls.h"

const OsCalls& Win32OsCalls();

// timeGetTime and Sleep(1).
struct Win32Clock {
    uint32_t Now();
    void Sleep1();
};
