// Counts the live heap blocks of the test process (global new/delete).
#pragma once

#include <cstddef>
#include <cstdint>

int64_t LiveHeapBytes();
int64_t LiveHeapBlocks();
// Live blocks of at least kBigBlockBytes, such as a run's sample buffer.
int64_t LiveBigBlocks();
constexpr size_t kBigBlockBytes = size_t{32} * 1024;

// While one of these lives on a thread, what that thread allocates is the
// fakes' own bookkeeping, not the code's under test: it is not counted.
struct FakesOwnHeap {
    FakesOwnHeap();
    ~FakesOwnHeap();
    FakesOwnHeap(const FakesOwnHeap&) = delete;
    FakesOwnHeap& operator=(const FakesOwnHeap&) = delete;
};
