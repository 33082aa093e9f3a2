// The timed Sleep(1) loop and the histogram of its durations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

// One duration in milliseconds per loop pass, in the order taken.
using SampleBuffer = std::vector<uint32_t>;

// Duration in milliseconds -> how many sleeps took that long.
using DelayHistogram = std::map<uint32_t, int32_t>;

// Makes room for more samples when a run outlasts the reserved length
// (passes of 0 ms make that possible). Returns where the next sample goes.
uint32_t* GrowSampleBuffer(SampleBuffer& samples, const uint32_t* next);

// Clock is anything with `uint32_t Now()` (a millisecond clock that wraps
// at 2^32) and `void Sleep1()`. Production binds timeGetTime and Sleep(1);
// tests bind scripted clocks. All arithmetic is modulo 2^32.
//
// The loop body is kept to two clock readings, one sleep and one store.
// The buffer is sized for the whole run before the first reading, so its
// pages are touched here and not while timing. The loop stops on the first
// pass that ends more than limitMs after the start, or that ends before
// the start (the clock wrapped during the run).
template <typename Clock>
SampleBuffer SampleSleeps(uint32_t limitMs, Clock& clock) {
    SampleBuffer samples(limitMs);
    uint32_t* next = samples.data();
    uint32_t* end = next + samples.size();
    const uint32_t start = clock.Now();
    uint32_t after;
    do {
        const uint32_t before = clock.Now();
        clock.Sleep1();
        after = clock.Now();
        if (next == end) {
            next = GrowSampleBuffer(samples, next);
            end = samples.data() + samples.size();
        }
        *next++ = after - before;
        // "after - start <= limit and after >= start" in one comparison:
        // taken in 64 bits, an end reading below the start gives a
        // difference far above any limit.
    } while (static_cast<uint64_t>(after) - start <= limitMs);
    samples.resize(static_cast<size_t>(next - samples.data()));
    return samples;
}

// Empties the histogram, then counts every sample into it.
void BuildHistogram(const SampleBuffer& samples, DelayHistogram& histogram);
