// Frame pacing arithmetic: the sleep requested for what is left of a frame.
#include <gtest/gtest.h>

#include "app/window.h"

namespace {

TEST(FramePacing, SleepRequestInMicroseconds)
{
    struct Row {
        double remaining;
        int microseconds;
    } rows[] = {
        {0.010, 10000},
        {0.0005, 500},
        {1.0 / 60.0, 16666},
        {0.0000009, 0}, // under a microsecond truncates to no sleep
        {0.0, 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(__sleep_request_window(row.remaining), row.microseconds) << row.remaining << " s";
}

} // namespace
