// The user's choices for one measurement run.
#pragma once

#include <cstdint>

// A freshly made record describes the dialog as it opens.
struct RunOptions {
    bool callSetProcessInformation = false;
    bool callTimePeriod = true;
    bool minimizeWindow = true;
    bool hideWindow = false;
    bool useWorkerThread = true;
    int32_t seconds = 10;
};

constexpr int32_t kMinRunSeconds = 1;
constexpr int32_t kMaxRunSeconds = 60;

// fieldValue is what the seconds field reads as an unsigned number (0 when
// it holds none); its bits are taken as signed before clamping into 1..60.
int32_t ClampRunSeconds(uint32_t fieldValue);

// seconds * 1000 in 32-bit arithmetic, compared as unsigned by the loop.
uint32_t RunLengthMs(const RunOptions& options);
