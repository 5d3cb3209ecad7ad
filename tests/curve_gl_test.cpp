// The double curve drawn where the shadow crosses itself, the lower sheet
// broken along it, and sheets at one depth shown by the larger w.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "app/course.h"
#include "app/input.h"
#include "app/render.h"
#include "app/window.h"
#include "core/view.h"
#include "draw/shapes.h"
#include "gl_test.h"

namespace {

// 1 / tan(15 degrees): at depth 0 the camera shows x in [-7 / c, 7 / c],
// +x to the left.
const double c = 2.0 + std::sqrt(3.0);

int column(double x)
{
    return static_cast<int>(std::floor(256.0 * (1.0 - x * c / 7.0)));
}

int row(double y)
{
    return static_cast<int>(std::floor(256.0 * (1.0 + y * c / 7.0)));
}

// Two triangles of (x, y, z, w) corners a b c, a c d.
std::vector<float> quad(const std::vector<std::vector<float>>& corners)
{
    std::vector<float> out;
    for (int k : {0, 1, 2, 0, 2, 3})
        out.insert(out.end(), corners[k].begin(), corners[k].end());
    return out;
}

// Square a lies in z = 0 at w = 0.5; square b leans through it, z = y - 0.3,
// at w = -0.5, in front of it below y = 0.3: they cross on y = 0.3, z = 0,
// from x = -0.6 to 0.6.
const std::vector<float> upper = quad({{-1, -1, 0, 0.5f}, {1, -1, 0, 0.5f}, {1, 1, 0, 0.5f}, {-1, 1, 0, 0.5f}});
const std::vector<float> lower
    = quad({{-0.6f, -0.2f, -0.5f, -0.5f}, {0.6f, -0.2f, -0.5f, -0.5f}, {0.6f, 0.8f, 0.5f, -0.5f},
        {-0.6f, 0.8f, 0.5f, -0.5f}});

void show(const std::vector<std::vector<float>>& list, bool curve, bool broken)
{
    clear_shapes();
    for (const std::vector<float>& coords : list) {
        std::vector<float> copy = coords;
        ShapeData data = {SHAPE_TRIANGLES, 4, copy.size() / 4, copy.data(), nullptr, nullptr, nullptr};
        ASSERT_TRUE(add_shapes(&data, 0));
    }
    View next = initial_view;
    next.dim = 4;
    next.cues.tint = TINT_W;
    next.cues.wire = false;
    next.cues.curve = curve;
    next.cues.broken = broken;
    set_view(&next);
    choose_coordinates(0, 1, 2, 3);
    reset_input();
    __window_callback_input(nullptr, 512, 512);
    // Without a window to keep up with, a frame waits for its curve.
    bool hidden = hidden_window;
    hidden_window = true;
    main_loop();
    main_loop();
    hidden_window = hidden;
}

bool reddish(Rgb p)
{
    return p.r > p.b + 40;
}

bool bluish(Rgb p)
{
    return p.b > p.r + 40;
}

bool inked(Rgb p)
{
    return p.r < 60 && p.g < 60 && p.b < 60;
}

TEST(Curve, LandsOnThePixelsWhereTheSquaresCross)
{
    show({upper, lower}, true, false);
    int y = row(0.3);
    for (double x : {-0.5, 0.0, 0.5}) {
        SCOPED_TRACE("x " + std::to_string(x));
        bool ink = false, red = false, blue = false;
        for (int k = y - 4; k <= y + 4; k++) {
            Rgb p = read_pixel(column(x), k);
            ink = ink || inked(p);
            red = red || (reddish(p) && !inked(p) && std::abs(k - y) <= 3);
            blue = blue || bluish(p);
        }
        EXPECT_TRUE(ink) << "no ink about row " << y;
        EXPECT_TRUE(red && blue) << "no decker set beside the ink";
        EXPECT_FALSE(inked(read_pixel(column(x), y + 8)));
        EXPECT_FALSE(inked(read_pixel(column(x), y - 8)));
    }
    // Past the lower square's edge the sheets no longer cross.
    for (int k = y - 4; k <= y + 4; k++)
        EXPECT_FALSE(inked(read_pixel(column(0.75), k))) << "row " << k;
}

TEST(Curve, BrokenCutsTheLowerSheetAlongTheCurveAndNothingElse)
{
    int y = row(0.3);
    struct Probe {
        const char* where;
        int dy;
        bool red_whole, red_broken; // the upper square shows, whole and broken
    } probes[] = {
        {"just below, the lower sheet in front", -2, false, true},
        {"just above, the upper sheet in front", 2, true, true},
        {"far below, the lower sheet in front", -20, false, false},
        {"far above", 20, true, true},
    };
    for (bool broken : {false, true}) {
        show({upper, lower}, false, broken);
        for (const Probe& p : probes) {
            Rgb seen = read_pixel(column(0.0), y + p.dy);
            bool red = broken ? p.red_broken : p.red_whole;
            EXPECT_EQ(reddish(seen), red) << p.where << (broken ? ", broken: " : ", whole: ") << seen;
            EXPECT_EQ(bluish(seen), !red) << p.where << (broken ? ", broken: " : ", whole: ") << seen;
        }
    }
}

TEST(Curve, SheetsAtOneDepthShowTheLargerW)
{
    // Two squares in z = 0, cut along either diagonal, 0.5 and -0.5 in w,
    // drawn in both orders: the one larger in w shows everywhere.
    std::vector<float> high = upper;
    std::vector<float> low = quad({{1, -1, 0, -0.5f}, {1, 1, 0, -0.5f}, {-1, 1, 0, -0.5f}, {-1, -1, 0, -0.5f}});
    for (bool high_first : {true, false}) {
        SCOPED_TRACE(high_first ? "larger w drawn first" : "larger w drawn last");
        show(high_first ? std::vector {high, low} : std::vector {low, high}, false, false);
        int blue = 0;
        for (double x = -0.9; x < 0.9; x += 0.05)
            for (double y = -0.9; y < 0.9; y += 0.05)
                blue += !reddish(read_pixel(column(x), row(y)));
        EXPECT_EQ(blue, 0);
    }
}

} // namespace
