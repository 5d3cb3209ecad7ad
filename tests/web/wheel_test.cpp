// The browser's wheel, through Emscripten's GLFW: its deltas turn the view as
// clicks of the wheel do on the desktop.
#include <cstring>

#include <cglm/cglm.h>
#include <gtest/gtest.h>

#include "app/input.h"
#include "app/window.h"
#include "core/view.h"

namespace {

void expect_near(const float* actual, std::initializer_list<float> expected)
{
    int k = 0;
    for (float value : expected) {
        EXPECT_NEAR(actual[k], value, 1e-6f) << "component " << k;
        k++;
    }
}

TEST(Wheel, BrowserDeltasTurnAsClicksOfTheWheel)
{
    // The browser's deltaX and deltaY in pixels, 100 to a click, positive
    // to the right and toward the user; the turn of one click as the
    // desktop's scroll wheel gives it.
    const struct {
        double x, y;
        std::initializer_list<float> q;
    } rows[] = {
        {0, -100, {-0.02463745f, 0, 0, 0.9996964f}},
        {0, 100, {0.02463745f, 0, 0, 0.9996964f}},
        {-100, 0, {0, 0.02463745f, 0, 0.9996964f}},
        {0, -50, {-0.01231966f, 0, 0, 0.9999241f}},
        {0, 0, {0, 0, 0, 1}},
    };
    for (const auto& row : rows) {
        set_view(&initial_view);
        __scroll_callback_window(nullptr, row.x, row.y);
        SCOPED_TRACE(testing::Message() << "delta " << row.x << ", " << row.y);
        expect_near(view.q, row.q);
    }
}

} // namespace
