#include <gtest/gtest.h>

#include "measure/sleep_sampling.h"
#include "tests/test_runs.h"

TEST(SampleSleeps, OneMsPerSleepGivesOneThousandAndOneSamples) {
    SteppingClock clock{5000, 1};
    const SampleBuffer samples = SampleSleeps(1000, clock);
    ASSERT_EQ(1001u, samples.size());
    for (uint32_t s : samples) {
        ASSERT_EQ(1u, s);
    }
    DelayHistogram histogram;
    BuildHistogram(samples, histogram);
    EXPECT_EQ((DelayHistogram{{1, 1001}}), histogram);
}

TEST(SampleSleeps, SixteenMsPerSleepStopsAfterSixtyThreePasses) {
    SteppingClock clock{0, 16};
    const SampleBuffer samples = SampleSleeps(1000, clock);
    EXPECT_EQ(63u, clock.sleeps);
    DelayHistogram histogram;
    BuildHistogram(samples, histogram);
    EXPECT_EQ((DelayHistogram{{16, 63}}), histogram);
}

TEST(SampleSleeps, PassWithoutClockMovementIsZero) {
    SteppingClock clock{100, 1, {0, 0, 3}};
    const SampleBuffer samples = SampleSleeps(1000, clock);
    ASSERT_GE(samples.size(), 3u);
    EXPECT_EQ(0u, samples[0]);
    EXPECT_EQ(0u, samples[1]);
    EXPECT_EQ(3u, samples[2]);
    DelayHistogram histogram;
    BuildHistogram(samples, histogram);
    EXPECT_EQ(2, histogram[0]);
    EXPECT_EQ(1, histogram[3]);
    // 3 ms, then 1 ms per pass until the end is more than 1000 ms past the start.
    EXPECT_EQ(998, histogram[1]);
}

TEST(SampleSleeps, ClockWrapGivesSmallSampleAndStops) {
    // 2^32 - 20, then 7 ms per sleep: the third pass ends at 1 after the wrap.
    SteppingClock clock{0xFFFFFFECu, 7};
    const SampleBuffer samples = SampleSleeps(1000, clock);
    EXPECT_EQ((SampleBuffer{7, 7, 7}), samples);
    EXPECT_EQ(1u, clock.now);
}

TEST(SampleSleeps, GrowsPastTheReservedLengthWhenPassesTakeNoTime) {
    // 3,000 passes of 0 ms, then 1 ms a pass: four times the reserved 1,000.
    SteppingClock clock{7, 1, std::vector<uint32_t>(3000, 0)};
    const SampleBuffer samples = SampleSleeps(1000, clock);
    ASSERT_EQ(4001u, samples.size());
    EXPECT_EQ(0u, samples[0]);
    EXPECT_EQ(0u, samples[2999]);
    EXPECT_EQ(1u, samples[3000]);
    EXPECT_EQ(1u, samples[4000]);
}

TEST(SampleSleeps, ZeroLimitStillRunsOnePass) {
    SteppingClock clock{0, 2};
    EXPECT_EQ((SampleBuffer{2}), SampleSleeps(0, clock));
}

TEST(SampleSleeps, ReservesTheRunLengthUpFront) {
    SteppingClock clock{0, 16};
    const SampleBuffer samples = SampleSleeps(60000, clock);
    EXPECT_GE(samples.capacity(), 60000u);
}

TEST(BuildHistogram, KeysAscendAsUnsigned) {
    const SampleBuffer samples = {5, 0, 0xFFFFFFFFu, 2, 5, 16, 0x80000000u, 5};
    DelayHistogram histogram;
    BuildHistogram(samples, histogram);
    std::vector<uint32_t> keys;
    for (const auto& entry : histogram) {
        keys.push_back(entry.first);
    }
    EXPECT_EQ((std::vector<uint32_t>{0, 2, 5, 16, 0x80000000u, 0xFFFFFFFFu}), keys);
    EXPECT_EQ(3, histogram[5]);
    EXPECT_EQ(1, histogram[0xFFFFFFFFu]);
}

TEST(BuildHistogram, DiscardsStaleEntries) {
    DelayHistogram histogram = {{1, 40}, {2, 7}, {900, 1}};
    BuildHistogram(SampleBuffer{2, 2, 3}, histogram);
    EXPECT_EQ((DelayHistogram{{2, 2}, {3, 1}}), histogram);
    BuildHistogram(SampleBuffer{}, histogram);
    EXPECT_TRUE(histogram.empty());
}
