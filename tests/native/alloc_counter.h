// Counts the live heap blocks of the test process (global new/delete).
#pragma once

#include <cstddef>
#include <cstdint>

int64_t LiveHeapBytes();
// Live blocks of at least kBigBlockBytes, such as a run's sample buffer.
int64_t LiveBigBlocks();
constexpr size_t kBigBlockBytes = size_t{32} * 1024;
