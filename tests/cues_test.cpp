// The cool-warm map against the table its author published, and the slice
// held within the surface's reach.
#include <gtest/gtest.h>

#include "core/cues.h"
#include "core/view.h"

namespace {

TEST(Cues, TheMapIsMorelandsCoolWarm)
{
    // Samples of Moreland's table (2009), 8-bit RGB, at 0, 1/8, ... 1.
    const struct {
        double t;
        int rgb[3];
    } rows[] = {
        {0.0, {59, 76, 192}},
        {0.125, {98, 130, 234}},
        {0.25, {141, 176, 254}},
        {0.375, {184, 208, 249}},
        {0.5, {221, 221, 221}},
        {0.625, {245, 196, 173}},
        {0.75, {244, 154, 123}},
        {0.875, {222, 96, 77}},
        {1.0, {180, 4, 38}},
    };
    for (const auto& row : rows) {
        uint8_t rgb[3];
        tint_cues(row.t, rgb);
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(rgb[k], row.rgb[k], 2) << "t " << row.t << ", channel " << k;
    }
    float ramp[ramp_size_cues][3];
    ramp_cues(ramp);
    EXPECT_FLOAT_EQ(ramp[16][0], 221 / 255.0f);
    EXPECT_FLOAT_EQ(ramp[32][2], 38 / 255.0f);
}

TEST(Cues, HeldKeysMoveTheSliceAcrossTheReachInFourSeconds)
{
    View next = initial_view;
    next.reach = 2.0f;
    set_view(&next);
    for (int frame = 0; frame < 120; frame++)
        move_slice_cues(1.0f);
    EXPECT_NEAR(view.cues.slice_at, 2.0f, 1e-5f);
    move_slice_cues(1.0f);
    EXPECT_EQ(view.cues.slice_at, 2.0f) << "no further than +s";
    for (int frame = 0; frame < 240; frame++)
        move_slice_cues(-1.0f);
    EXPECT_NEAR(view.cues.slice_at, -2.0f, 1e-5f);
    EXPECT_EQ(slice_width_cues(), 0.125f) << "s / 16 unless given";
    EXPECT_EQ(eye4_at_cues(), 6.0f) << "3 s unless given";
    set_view(&initial_view);
}

} // namespace
