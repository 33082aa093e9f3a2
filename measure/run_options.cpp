#include "measure/run_options.h"

int32_t ClampRunSeconds(uint32_t fieldValue) {
    // Values of 2^31 and above turn negative here and so clamp to 1.
    const int32_t seconds = static_cast<int32_t>(fieldValue);
    if (seconds < kMinRunSeconds) {
        return kMinRunSeconds;
    }
    if (seconds > kMaxRunSeconds) {
        return kMaxRunSeconds;
    }
    return seconds;
}

uint32_t RunLengthMs(const RunOptions& options) {
    return static_cast<uint32_t>(options.seconds) * 1000u;
}
