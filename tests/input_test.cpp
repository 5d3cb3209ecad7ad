// Orientation and key handling, driven by calling the handlers directly.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <set>
#include <utility>

#include <cglm/cglm.h>
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include "app/input.h"
#include "app/keys.h"
#include "draw/load.h"
#include "draw/mesh.h"
#include "core/motion.h"
#include "app/scene.h"
#include "scenes.h"
#include "core/view.h"

// The view on show, whose orientation and axes the tests read and set.
static View& shown = const_cast<View&>(view);

namespace {

std::set<int> held;

int held_state(GLFWwindow*, int key)
{
    return held.count(key) ? GLFW_PRESS : GLFW_RELEASE;
}

// Each test starts from the state of a fresh viewer: identity orientation,
// no key held, no surface, no turn running.
class Input : public testing::Test {
protected:
    void SetUp() override
    {
        glm_quat_identity(shown.q);
        const vec3 initial[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
        memcpy(shown.axis, initial, sizeof shown.axis);
        held.clear();
        key_state_input = held_state;
        choose({0, 0, 1, 2, 3});
        animate_index = 0;
        set_view(&initial_view);
    }
    void TearDown() override { key_state_input = glfwGetKey; }

    void frame(std::set<int> keys)
    {
        held = keys;
        poll_input(nullptr);
        held.clear();
    }

    void press(int key, int action = GLFW_PRESS, int mods = 0)
    {
        __key_callback_input(nullptr, key, 0, action, mods);
    }

    void expect_projection(uint8_t x, uint8_t y, uint8_t z, uint8_t w, uint8_t animated)
    {
        EXPECT_EQ(view.show[0], x);
        EXPECT_EQ(view.show[1], y);
        EXPECT_EQ(view.show[2], z);
        EXPECT_EQ(view.show[3], w);
        EXPECT_EQ(animate_index, animated);
    }
};

void expect_near(const float* actual, std::initializer_list<float> expected, float tolerance = 1e-6f)
{
    int k = 0;
    for (float value : expected) {
        EXPECT_NEAR(actual[k], value, tolerance) << "component " << k;
        k++;
    }
}

TEST_F(Input, OneFrameOfQ)
{
    frame({GLFW_KEY_Q});
    expect_near(shown.q, {0.01231966f, 0, 0, 0.9999241f});
    expect_near(shown.axis[0], {1, 0, 0});
    expect_near(shown.axis[1], {0, 0.9996965f, 0.02463745f});
    expect_near(shown.axis[2], {0, -0.02463745f, 0.9996965f});
}

TEST_F(Input, OneScrollUpTurnsAboutTheHorizontal)
{
    __scroll_callback_input(nullptr, 0.0, 1.0);
    expect_near(shown.q, {-0.02463745f, 0, 0, 0.9996964f});
    expect_near(shown.axis[0], {1, 0, 0});
    expect_near(shown.axis[1], {0, 0.9987860f, -0.04925994f});
    expect_near(shown.axis[2], {0, 0.04925994f, 0.9987860f});
}

TEST_F(Input, OneScrollSidewaysTurnsAboutTheVertical)
{
    __scroll_callback_input(nullptr, 1.0, 0.0);
    expect_near(shown.q, {0, 0.02463745f, 0, 0.9996964f});
    expect_near(shown.axis[0], {0.9987860f, 0, -0.04925994f});
    expect_near(shown.axis[1], {0, 1, 0});
    expect_near(shown.axis[2], {0.04925994f, 0, 0.9987860f});
}

TEST_F(Input, NoKeyHeldLeavesTheAxesExactlyAsTheyWere)
{
    frame({GLFW_KEY_A});
    __scroll_callback_input(nullptr, 2.0, -3.0);
    vec3 before[3];
    memcpy(before, shown.axis, sizeof before);
    frame({});
    frame({GLFW_KEY_1, GLFW_KEY_I});
    EXPECT_EQ(memcmp(before, shown.axis, sizeof before), 0);
    EXPECT_NEAR(glm_quat_norm(shown.q), 1.0f, 1e-6f);
}

TEST_F(Input, FirstHeldKeyInTableOrderDecides)
{
    struct Row {
        std::set<int> held;
        int alone;
    } rows[] = {
        {{GLFW_KEY_Q, GLFW_KEY_W}, GLFW_KEY_Q},
        {{GLFW_KEY_A, GLFW_KEY_Z}, GLFW_KEY_A},
        {{GLFW_KEY_X, GLFW_KEY_S}, GLFW_KEY_S},
        {{GLFW_KEY_W, GLFW_KEY_X, GLFW_KEY_Z}, GLFW_KEY_W},
    };
    for (const Row& row : rows) {
        SetUp();
        frame(row.held);
        versor together;
        vec3 together_axes[3];
        glm_quat_copy(shown.q, together);
        memcpy(together_axes, shown.axis, sizeof shown.axis);

        SetUp();
        frame({row.alone});
        EXPECT_EQ(memcmp(together, shown.q, sizeof together), 0) << "key " << row.alone;
        EXPECT_EQ(memcmp(together_axes, shown.axis, sizeof shown.axis), 0) << "key " << row.alone;
    }
}

TEST_F(Input, AxesFollowTheOrientationOverMixedTurns)
{
    const int keys[] = {GLFW_KEY_Q, GLFW_KEY_W, GLFW_KEY_A, GLFW_KEY_S, GLFW_KEY_Z, GLFW_KEY_X};
    for (int k = 0; k < 60; k++) {
        frame({keys[(k * 7) % 6]});
        if (k % 4 == 0)
            __scroll_callback_input(nullptr, (k % 3) - 1.0, k % 8 == 0 ? 2.0 : -1.0);
    }
    float rot[16];
    __rot_matrix_load(shown.q, rot);
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE("axis " + std::to_string(i));
        expect_near(shown.axis[i], {rot[4 * i], rot[4 * i + 1], rot[4 * i + 2]}, 1e-5f);
    }
    // The turns did happen: a sum of small turns that cancelled out would
    // pass the comparison above.
    EXPECT_LT(std::fabs(shown.q[3]), 0.99f);
}

TEST_F(Input, AxisShorterThanFloatPrecisionTurnsNothing)
{
    // Just under 2^-23 turns nothing; just over it turns a full step.
    for (float length : {1e-8f, 1.1e-7f, 1.3e-7f}) {
        SetUp();
        frame({GLFW_KEY_A});
        versor before;
        glm_quat_copy(shown.q, before);
        vec3 short_axis = {length, 0, 0};
        glm_vec3_copy(short_axis, shown.axis[0]);
        vec3 axes[3];
        memcpy(axes, shown.axis, sizeof axes);

        frame({GLFW_KEY_Q});
        float turned = std::fabs(glm_quat_dot(shown.q, before));
        if (length < 1.1920929e-07f) {
            // Re-normalising may round the last bit either way; cglm's SSE
            // and its plain code (as in WebAssembly) round differently.
            EXPECT_NEAR(turned, 1.0f, 2 * FLT_EPSILON) << length;
            for (int i = 0; i < 3; i++)
                expect_near(shown.axis[i], {axes[i][0], axes[i][1], axes[i][2]}, 1e-7f);
        } else {
            EXPECT_NEAR(turned, std::cos(0.0246399436f / 2), 1e-6f) << length;
        }
    }
}

TEST_F(Input, ScrollTurnsAboutTheHorizontalFirst)
{
    // q = sx sy with sy about (-1, 0, 0) and sx about (0, 1, 0), each by a:
    // (-cs, sc, s^2, c^2) for s = sin(a / 2), c = cos(a / 2). The other
    // order would give -s^2.
    __scroll_callback_input(nullptr, 1.0, 1.0);
    double half = 0.024639943838277563;
    double s = std::sin(half), c = std::cos(half);
    expect_near(shown.q,
        {static_cast<float>(-c * s), static_cast<float>(s * c), static_cast<float>(s * s),
            static_cast<float>(c * c)});
    EXPECT_GT(shown.q[2], 5e-4f);
}

TEST_F(Input, ScrollOffsetsBeyondReasonKeepTheOrientationAUnitQuaternion)
{
    const double inf = HUGE_VAL;
    struct Row {
        double x, y;
        bool turns;
    } rows[] = {
        {0, 1e300, true},
        {-1e40, 0, true},
        {1.7e308, -1.7e308, true},
        {inf, 0, false},
        {0, -inf, false},
        {NAN, NAN, false},
    };
    for (const Row& row : rows) {
        SetUp();
        __scroll_callback_input(nullptr, row.x, row.y);
        for (int k = 0; k < 4; k++)
            ASSERT_TRUE(std::isfinite(shown.q[k])) << row.x << ", " << row.y;
        EXPECT_NEAR(glm_quat_norm(shown.q), 1.0f, 1e-6f) << row.x << ", " << row.y;
        if (!row.turns)
            expect_near(shown.q, {0, 0, 0, 1}, 0);
    }
}

TEST_F(Input, NothingChangesBeforeASurfaceIsShown)
{
    for (int key : {GLFW_KEY_1, GLFW_KEY_4, GLFW_KEY_5, GLFW_KEY_9, GLFW_KEY_I, GLFW_KEY_O, GLFW_KEY_P})
        press(key);
    expect_projection(0, 1, 2, 3, 0);
}

TEST_F(Input, DigitsChooseOnlyCoordinatesTheSurfaceHasAndDoesNotShow)
{
    choose({4, view.show[0], view.show[1], view.show[2], view.show[3]});
    for (int key = GLFW_KEY_0; key <= GLFW_KEY_9; key++) {
        press(key);
        expect_projection(0, 1, 2, 3, 0);
    }
    choose({6, view.show[0], view.show[1], view.show[2], view.show[3]});
    press(GLFW_KEY_6);
    expect_projection(0, 1, 2, 5, 0);
    press(GLFW_KEY_O);
    expect_projection(0, 5, 2, 1, 2);
}

TEST_F(Input, OnlyNineCoordinatesCanBeHiddenByDigit)
{
    choose({12, view.show[0], view.show[1], view.show[2], view.show[3]});
    for (int key = GLFW_KEY_4; key <= GLFW_KEY_9; key++) {
        press(key);
        EXPECT_EQ(view.show[3], key - GLFW_KEY_1);
    }
    for (int key : {GLFW_KEY_0, GLFW_KEY_KP_0, GLFW_KEY_KP_4, GLFW_KEY_KP_9, GLFW_KEY_MINUS})
        press(key);
    EXPECT_EQ(view.show[3], 8);
}

TEST_F(Input, SwapKeysExchangeOnceAPress)
{
    choose({4, view.show[0], view.show[1], view.show[2], view.show[3]});
    press(GLFW_KEY_I);
    expect_projection(3, 1, 2, 0, 1);
    // Held: repeats and the release do nothing.
    press(GLFW_KEY_I, GLFW_REPEAT);
    press(GLFW_KEY_I, GLFW_REPEAT);
    press(GLFW_KEY_I, GLFW_RELEASE);
    expect_projection(3, 1, 2, 0, 1);

    animate_index = 0; // the turn has ended
    press(GLFW_KEY_I, GLFW_PRESS, GLFW_MOD_SHIFT | GLFW_MOD_CONTROL);
    expect_projection(0, 1, 2, 3, 1);
}

TEST_F(Input, SecondSwapDuringATurnAppliesBoth)
{
    choose({4, view.show[0], view.show[1], view.show[2], view.show[3]});
    press(GLFW_KEY_I);
    press(GLFW_KEY_P);
    expect_projection(3, 1, 0, 2, 3);
}

// A drag with one button from (256, 256) through the given points.
void drag(int button, int mods, std::initializer_list<std::pair<double, double>> points)
{
    __cursor_callback_input(nullptr, 256, 256);
    __button_callback_input(nullptr, button, GLFW_PRESS, mods);
    for (auto [x, y] : points)
        __cursor_callback_input(nullptr, x, y);
    __button_callback_input(nullptr, button, GLFW_RELEASE, mods);
}

TEST_F(Input, FourDimensionalInputsTurnAsTheSavedViewSays)
{
    const float k = 0.024639943838277563f, eighth = GLM_PIf / 4;
    const struct {
        const char* what;
        std::function<void()> input;
        int a, b; // the saved turn4 is a turn of a toward b
        float angle;
    } rows[] = {
        {"E", [&] { frame({GLFW_KEY_E}); }, 0, 3, k},
        {"R", [&] { frame({GLFW_KEY_R}); }, 0, 3, -k},
        {"D", [&] { frame({GLFW_KEY_D}); }, 1, 3, k},
        {"F", [&] { frame({GLFW_KEY_F}); }, 1, 3, -k},
        {"C", [&] { frame({GLFW_KEY_C}); }, 2, 3, k},
        {"V", [&] { frame({GLFW_KEY_V}); }, 2, 3, -k},
        {"E before D",
            [&] {
                frame({GLFW_KEY_D, GLFW_KEY_E});
            },
            0, 3, k},
        {"E beside Q",
            [&] {
                frame({GLFW_KEY_Q, GLFW_KEY_E});
            },
            0, 3, k},
        // The camera draws +x to the left: bringing +w to the right is
        // turning x away from w.
        {"right drag to the right",
            [] {
                drag(GLFW_MOUSE_BUTTON_RIGHT, 0, {{384, 256}});
            },
            0, 3, -eighth},
        {"right drag in steps",
            [] {
                drag(GLFW_MOUSE_BUTTON_RIGHT, 0, {{300, 256}, {384, 256}});
            },
            0, 3, -eighth},
        {"shift-left drag up",
            [] {
                drag(GLFW_MOUSE_BUTTON_LEFT, GLFW_MOD_SHIFT, {{256, 128}});
            },
            1, 3, eighth},
        {"right drag down",
            [] {
                drag(GLFW_MOUSE_BUTTON_RIGHT, 0, {{256, 384}});
            },
            1, 3, -eighth},
    };
    for (const auto& row : rows) {
        SetUp();
        row.input();
        View scene = view;
        float c = cosf(row.angle), s = sinf(row.angle);
        for (int r = 0; r < 4; r++)
            for (int col = 0; col < 4; col++) {
                float want = r == row.a ? (col == row.a ? c
                                     : col == row.b     ? s
                                                        : 0.0f)
                    : r == row.b        ? (col == row.a ? -s
                                     : col == row.b     ? c
                                                        : 0.0f)
                                        : static_cast<float>(r == col);
                EXPECT_NEAR(scene.turn4[col][r], want, 1e-6f)
                    << row.what << ": row " << r << ", column " << col;
            }
    }

    // Held for 64 frames, E shows about what I shows: x becomes w.
    SetUp();
    for (int f = 0; f < 64; f++)
        frame({GLFW_KEY_E});
    EXPECT_NEAR(view.turn4[3][0], 1.0f, 1e-4f);
}

TEST_F(Input, DragsZoomResetAndSpin)
{
    // Across the whole drawing area, a left drag is half a turn about the
    // screen's vertical, as the scroll wheel turns.
    drag(GLFW_MOUSE_BUTTON_LEFT, 0, {{768, 256}});
    expect_near(shown.q, {0, 1, 0, 0}, 1e-6f);
    expect_near(shown.axis[0], {-1, 0, 0}, 1e-6f);
    drag(GLFW_MOUSE_BUTTON_MIDDLE, 0, {{384, 320}});
    expect_near(view.pan, {0.5f, -0.25f});

    // Ctrl with the wheel zooms and turns nothing; = and - zoom, held too.
    versor before;
    glm_quat_copy(shown.q, before);
    held = {GLFW_KEY_LEFT_CONTROL};
    __scroll_callback_input(nullptr, 0.0, 2.0);
    held.clear();
    EXPECT_FLOAT_EQ(view.zoom, 1.21f);
    expect_near(shown.q, {before[0], before[1], before[2], before[3]}, 0.0f);
    press(GLFW_KEY_MINUS);
    press(GLFW_KEY_MINUS, GLFW_REPEAT);
    press(GLFW_KEY_EQUAL, GLFW_RELEASE);
    EXPECT_NEAR(view.zoom, 1.0f, 1e-6f);

    press(GLFW_KEY_L);
    EXPECT_EQ(view.light, LIGHT_SHAPE);

    // Backspace: the first view again, but the coordinates and lighting stay.
    choose({4, view.show[0], view.show[1], view.show[2], view.show[3]});
    press(GLFW_KEY_I);
    frame({GLFW_KEY_E});
    press(GLFW_KEY_BACKSPACE);
    expect_near(shown.q, {0, 0, 0, 1}, 0.0f);
    expect_near(shown.axis[0], {1, 0, 0}, 0.0f);
    const mat4 identity = GLM_MAT4_IDENTITY_INIT;
    EXPECT_EQ(memcmp(view.turn4, identity, sizeof view.turn4), 0);
    expect_near(view.pan, {0, 0}, 0.0f);
    EXPECT_EQ(view.zoom, 1.0f);
    EXPECT_EQ(view.light, LIGHT_SHAPE);
    expect_projection(3, 1, 2, 0, 1);
}

TEST_F(Input, ADragLetGoWhileMovingSpinsUntilStopped)
{
    // 10 pixels a frame to the right, let go in the frame it last moved.
    __cursor_callback_input(nullptr, 256, 256);
    __button_callback_input(nullptr, GLFW_MOUSE_BUTTON_RIGHT, GLFW_PRESS, 0);
    for (int f = 1; f <= 5; f++) {
        __cursor_callback_input(nullptr, 256 + 10 * f, 256);
        frame({});
    }
    __cursor_callback_input(nullptr, 316, 256);
    __button_callback_input(nullptr, GLFW_MOUSE_BUTTON_RIGHT, GLFW_RELEASE, 0);
    ASSERT_EQ(view.spin.kind, SPIN_TURN4);
    EXPECT_NEAR(view.spin.dx, 10.0f, 1e-6f);
    EXPECT_EQ(view.spin.dy, 0.0f);
    mat4 spun;
    memcpy(spun, view.turn4, sizeof spun);
    advance_spin_input();
    EXPECT_NE(memcmp(view.turn4, spun, sizeof view.turn4), 0) << "the spin turns on between frames";

    // A click stops it; so does Space.
    __button_callback_input(nullptr, GLFW_MOUSE_BUTTON_LEFT, GLFW_PRESS, 0);
    __button_callback_input(nullptr, GLFW_MOUSE_BUTTON_LEFT, GLFW_RELEASE, 0);
    EXPECT_EQ(view.spin.kind, SPIN_NONE);
    drag(GLFW_MOUSE_BUTTON_LEFT, 0, {{300, 256}});
    EXPECT_EQ(view.spin.kind, SPIN_TURN3);
    press(GLFW_KEY_SPACE);
    EXPECT_EQ(view.spin.kind, SPIN_NONE);

    // Held still for two frames before letting go: no spin.
    __button_callback_input(nullptr, GLFW_MOUSE_BUTTON_RIGHT, GLFW_PRESS, 0);
    __cursor_callback_input(nullptr, 400, 256);
    frame({});
    frame({});
    frame({});
    __button_callback_input(nullptr, GLFW_MOUSE_BUTTON_RIGHT, GLFW_RELEASE, 0);
    EXPECT_EQ(view.spin.kind, SPIN_NONE);
}

TEST_F(Input, EveryKeyOfTheTableActs)
{
    // From a view in which every key has something to change: a spin, a
    // turn, a slice with room to move, coordinates outside the digits' reach
    // and a surface wide enough to choose any of them.
    auto busy = [] {
        set_view(&initial_view);
        turn_plane_motion(0, 3, 0.5f);
        View next = view;
        next.spin = {SPIN_PLANE, 0, 0, 0, 3, 0.01f};
        next.cues.slice = true;
        next.reach = 1.0f;
        set_view(&next);
        choose({13, 9, 10, 11, 12});
        animate_index = 0;
    };
    for (int r = 0; r < key_row_count; r++) {
        const KeyRow& row = key_rows[r];
        for (int k = 0; k < 9 && row.codes[k]; k++) {
            if (row.action == KEY_PANEL || row.control || row.action == KEY_FULL_SCREEN)
                continue; // the panel's and the window's, before the view sees them
            SCOPED_TRACE(testing::Message() << "row " << (row.keys ? row.keys : "[ ]") << ", key " << k);
            busy();
            View before, after;
            before = view;
            bool held_key
                = row.action == KEY_TURN3 || row.action == KEY_TURN4 || row.action == KEY_MOVE_SLICE;
            if (held_key)
                frame({row.codes[k]});
            else
                press(row.codes[k]);
            after = view;
            EXPECT_TRUE(!same_scene(before, after) || view.spin.kind != SPIN_PLANE || animate_index != 0)
                << "the key changed nothing";
        }
    }
    set_view(&initial_view);
}

} // namespace
