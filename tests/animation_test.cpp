// The animated swap: the angles a turn uploads, the binding when it ends,
// and what the vertex stage draws at a quarter turn.
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

#include <cglm/cglm.h>

#include <epoxy/gl.h>
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include "app/render.h"
#include "gl_test.h"
#include "app/input.h"
#include "draw/load.h"
#include "core/motion.h"
#include "draw/shader.h"
#include "core/view.h"
#include "app/window.h"

namespace {

float uniform(unsigned int program, const char* name)
{
    float value = 0.0f;
    glGetUniformfv(program, glGetUniformLocation(program, name), &value);
    return value;
}

void press(int key)
{
    __key_callback_input(window, key, 0, GLFW_PRESS, 0);
}

TEST(Swap, TurnRuns158FramesThenBindsTheExchange)
{
    drop_surface(4, filled(12, 0.1f), filled(12, 0.5f));
    choose_coordinates(0, 1, 2, 3);
    press(GLFW_KEY_O);
    ASSERT_EQ(animate_index, 2);

    for (int k = 1; k <= 158; k++) {
        main_loop();
        for (unsigned int program : {shader, shader_plain}) {
            ASSERT_NEAR(uniform(program, "angle"), 0.01f * k, 1e-5f) << "frame " << k;
            ASSERT_EQ(uniform(program, "i"), 1.0f) << "frame " << k;
        }
        // The old binding holds while the turn runs.
        ASSERT_EQ(attribute_offset(1), 4u) << "frame " << k;
        ASSERT_EQ(attribute_offset(3), 12u) << "frame " << k;
    }

    main_loop();
    EXPECT_EQ(animate_index, 0);
    for (unsigned int program : {shader, shader_plain}) {
        EXPECT_EQ(uniform(program, "angle"), 0.0f);
        EXPECT_EQ(uniform(program, "i"), 1.0f) << "i keeps its value; at angle 0 it has no effect";
    }
    EXPECT_EQ(attribute_offset(1), 12u);
    EXPECT_EQ(attribute_offset(3), 4u);
    EXPECT_EQ(attribute_offset(5), 12u);
    EXPECT_EQ(attribute_offset(7), 4u);

    main_loop();
    EXPECT_EQ(uniform(shader, "angle"), 0.0f) << "an idle frame leaves the angle alone";
}

TEST(Swap, DigitBindsByTheNextFrameUnlessATurnRuns)
{
    drop_surface(6, filled(18, 0.1f), filled(18, 0.5f));
    choose_coordinates(0, 1, 2, 3);
    press(GLFW_KEY_6);
    main_loop();
    EXPECT_EQ(attribute_offset(3), 20u);

    press(GLFW_KEY_I); // x = 5, w = 0
    main_loop();
    press(GLFW_KEY_5); // w = 4, bound when the turn ends
    main_loop();
    EXPECT_EQ(view.show[3], 4);
    EXPECT_EQ(attribute_offset(3), 20u);
    while (animate_index != 0)
        main_loop();
    EXPECT_EQ(attribute_offset(0), 20u);
    EXPECT_EQ(attribute_offset(3), 16u);
}

TEST(Swap, QuarterTurnShowsWAsY)
{
    // A triangle low in the view whose w places it high: at a quarter turn
    // of y toward w, it must be drawn where its w puts it.
    std::vector<float> coords = {-0.3f, -1.2f, 0, 0.8f, 0.3f, -1.2f, 0, 0.8f, 0, -0.8f, 0, 1.2f};
    std::vector<float> normals;
    for (int k = 0; k < 3; k++)
        normals.insert(normals.end(), {0, 0, 1, 0});
    drop_surface(4, coords, normals);
    choose_coordinates(0, 1, 2, 3);

    auto rows_drawn = [](int* lowest, int* highest) {
        std::vector<unsigned char> pixels(4 * 512 * 512);
        glReadPixels(0, 0, 512, 512, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        *lowest = 512;
        *highest = -1;
        for (int y = 0; y < 512; y++)
            for (int x = 0; x < 512; x++)
                if (pixels[4 * (y * 512 + x)] != 255) {
                    *lowest = std::min(*lowest, y);
                    *highest = std::max(*highest, y);
                }
    };
    // At depth 0 a height y is drawn at row 256 + 256 y c / 7.
    const double scale = 256.0 * (2.0 + std::sqrt(3.0)) / 7.0;
    int lowest, highest;

    main_loop();
    rows_drawn(&lowest, &highest);
    EXPECT_NEAR(lowest, 256 - 1.2 * scale, 2);
    EXPECT_NEAR(highest, 256 - 0.8 * scale, 2);

    for (unsigned int program : {shader, shader_plain}) {
        load_float_to_shader(program, "i", 1.0f);
        load_float_to_shader(program, "angle", static_cast<float>(M_PI / 2));
    }
    main_loop();
    rows_drawn(&lowest, &highest);
    EXPECT_NEAR(lowest, 256 + 0.8 * scale, 2);
    EXPECT_NEAR(highest, 256 + 1.2 * scale, 2);

    for (unsigned int program : {shader, shader_plain})
        load_float_to_shader(program, "angle", 0.0f);
}

// The pixels of the frame just drawn, RGB.
std::vector<unsigned char> frame_pixels()
{
    std::vector<unsigned char> pixels(3 * 512 * 512);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 512, 512, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// Blocks of 8 x 8 pixels whose mean colour differs by more than a few
// steps: a line moved by a pixel changes no block, a jump many.
int differing(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b)
{
    int count = 0;
    for (int by = 0; by < 512; by += 8)
        for (int bx = 0; bx < 512; bx += 8)
            for (int channel = 0; channel < 3; channel++) {
                int sum = 0;
                for (int y = by; y < by + 8; y++)
                    for (int x = bx; x < bx + 8; x++)
                        sum += a[3 * (y * 512 + x) + channel] - b[3 * (y * 512 + x) + channel];
                if (std::abs(sum) > 8 * 64) {
                    count++;
                    break;
                }
            }
    return count;
}

TEST(Swap, AFourDimensionalTurnCarriesOverTheEndOfATurn)
{
    // A torus in R^4 whose every coordinate differs, turned in three planes:
    // the last frame of the swap and the first after the new binding must
    // show the same picture, but for the turn's last 0.01 rad.
    const int n = 24;
    std::vector<float> coords, normals;
    for (int a = 0; a < n; a++)
        for (int b = 0; b < n; b++)
            for (auto [da, db] : {std::pair {0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}}) {
                float u = 2 * static_cast<float>(M_PI) * (a + da) / n,
                      v = 2 * static_cast<float>(M_PI) * (b + db) / n;
                coords.insert(
                    coords.end(), {0.9f * cosf(u), 0.6f * sinf(u) + 0.2f, 0.7f * cosf(v), 0.5f * sinf(v)});
                normals.insert(normals.end(), {0, 0, 1, 0});
            }
    drop_surface(4, coords, normals);
    choose_coordinates(0, 1, 2, 3);
    turn_plane_motion(0, 3, 0.5f);
    turn_plane_motion(1, 3, -0.9f);
    turn_plane_motion(0, 2, 0.3f);
    mat4 uncarried;
    memcpy(uncarried, view.turn4, sizeof uncarried);

    press(GLFW_KEY_O);
    for (int k = 0; k < 158; k++)
        main_loop();
    std::vector<unsigned char> last = frame_pixels();
    main_loop();
    ASSERT_EQ(animate_index, 0);
    std::vector<unsigned char> bound = frame_pixels();
    int changed = differing(last, bound);
    EXPECT_LT(changed, 100) << "of 4096 blocks";

    // Bound again with the turn as it was before the swap, the picture jumps.
    View jumped_view = view;
    glm_mat4_copy(uncarried, jumped_view.turn4);
    set_view(&jumped_view);
    main_loop();
    int jumped = differing(last, frame_pixels());
    EXPECT_GT(jumped, 5 * changed) << jumped;

    reset_motion();
    choose_coordinates(0, 1, 2, 3);
    main_loop();
}

} // namespace
