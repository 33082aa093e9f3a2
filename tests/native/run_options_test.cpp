#include <gtest/gtest.h>

#include "measure/run_options.h"

TEST(RunOptions, DefaultsDescribeTheOpeningDialog) {
    const RunOptions options;
    EXPECT_FALSE(options.callSetProcessInformation);
    EXPECT_TRUE(options.callTimePeriod);
    EXPECT_TRUE(options.minimizeWindow);
    EXPECT_FALSE(options.hideWindow);
    EXPECT_TRUE(options.useWorkerThread);
    EXPECT_EQ(10, options.seconds);
}

TEST(RunOptions, ClampRunSecondsKeepsOneToSixty) {
    const struct {
        uint32_t field;
        int32_t expected;
    } cases[] = {
        {0, 1},       {1, 1},           {7, 7},           {60, 60},          {61, 60},
        {99, 60},     {0x7FFFFFFFu, 60}, {0x80000000u, 1}, {0xFFFFFFFFu, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, ClampRunSeconds(c.field)) << "field value " << c.field;
    }
}

TEST(RunOptions, RunLengthIsSecondsTimesAThousand) {
    RunOptions options;
    options.seconds = 1;
    EXPECT_EQ(1000u, RunLengthMs(options));
    options.seconds = 60;
    EXPECT_EQ(60000u, RunLengthMs(options));
}
