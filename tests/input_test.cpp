// Orientation and key handling, driven by calling the handlers directly.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <set>

#include <cglm/cglm.h>
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include "input.h"
#include "load.h"
#include "main.h"
#include "mesh.h"

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
        glm_quat_identity(q);
        const vec3 initial[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
        memcpy(axis, initial, sizeof axis);
        held.clear();
        key_state_input = held_state;
        projection = {nullptr, 0, 0, 1, 2, 3};
        animate_index = 0;
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
        EXPECT_EQ(projection.x, x);
        EXPECT_EQ(projection.y, y);
        EXPECT_EQ(projection.z, z);
        EXPECT_EQ(projection.w, w);
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
    expect_near(q, {0.01231966f, 0, 0, 0.9999241f});
    expect_near(axis[0], {1, 0, 0});
    expect_near(axis[1], {0, 0.9996965f, 0.02463745f});
    expect_near(axis[2], {0, -0.02463745f, 0.9996965f});
}

TEST_F(Input, OneScrollUpTurnsAboutTheHorizontal)
{
    __scroll_callback_input(nullptr, 0.0, 1.0);
    expect_near(q, {-0.02463745f, 0, 0, 0.9996964f});
    expect_near(axis[0], {1, 0, 0});
    expect_near(axis[1], {0, 0.9987860f, -0.04925994f});
    expect_near(axis[2], {0, 0.04925994f, 0.9987860f});
}

TEST_F(Input, OneScrollSidewaysTurnsAboutTheVertical)
{
    __scroll_callback_input(nullptr, 1.0, 0.0);
    expect_near(q, {0, 0.02463745f, 0, 0.9996964f});
    expect_near(axis[0], {0.9987860f, 0, -0.04925994f});
    expect_near(axis[1], {0, 1, 0});
    expect_near(axis[2], {0.04925994f, 0, 0.9987860f});
}

TEST_F(Input, NoKeyHeldLeavesTheAxesExactlyAsTheyWere)
{
    frame({GLFW_KEY_A});
    __scroll_callback_input(nullptr, 2.0, -3.0);
    vec3 before[3];
    memcpy(before, axis, sizeof before);
    frame({});
    frame({GLFW_KEY_1, GLFW_KEY_I});
    EXPECT_EQ(memcmp(before, axis, sizeof before), 0);
    EXPECT_NEAR(glm_quat_norm(q), 1.0f, 1e-6f);
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
        glm_quat_copy(q, together);
        memcpy(together_axes, axis, sizeof axis);

        SetUp();
        frame({row.alone});
        EXPECT_EQ(memcmp(together, q, sizeof together), 0) << "key " << row.alone;
        EXPECT_EQ(memcmp(together_axes, axis, sizeof axis), 0) << "key " << row.alone;
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
    __rot_matrix_load(q, rot);
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE("axis " + std::to_string(i));
        expect_near(axis[i], {rot[4 * i], rot[4 * i + 1], rot[4 * i + 2]}, 1e-5f);
    }
    // The turns did happen: a sum of small turns that cancelled out would
    // pass the comparison above.
    EXPECT_LT(std::fabs(q[3]), 0.99f);
}

TEST_F(Input, AxisShorterThanFloatPrecisionTurnsNothing)
{
    // Just under 2^-23 turns nothing; just over it turns a full step.
    for (float length : {1e-8f, 1.1e-7f, 1.3e-7f}) {
        SetUp();
        frame({GLFW_KEY_A});
        versor before;
        glm_quat_copy(q, before);
        vec3 short_axis = {length, 0, 0};
        glm_vec3_copy(short_axis, axis[0]);
        vec3 axes[3];
        memcpy(axes, axis, sizeof axes);

        frame({GLFW_KEY_Q});
        float turned = std::fabs(glm_quat_dot(q, before));
        if (length < 1.1920929e-07f) {
            // Re-normalising may round the last bit either way; cglm's SSE
            // and its plain code (as in WebAssembly) round differently.
            EXPECT_NEAR(turned, 1.0f, 2 * FLT_EPSILON) << length;
            for (int i = 0; i < 3; i++)
                expect_near(axis[i], {axes[i][0], axes[i][1], axes[i][2]}, 1e-7f);
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
    expect_near(q,
        {static_cast<float>(-c * s), static_cast<float>(s * c), static_cast<float>(s * s),
            static_cast<float>(c * c)});
    EXPECT_GT(q[2], 5e-4f);
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
            ASSERT_TRUE(std::isfinite(q[k])) << row.x << ", " << row.y;
        EXPECT_NEAR(glm_quat_norm(q), 1.0f, 1e-6f) << row.x << ", " << row.y;
        if (!row.turns)
            expect_near(q, {0, 0, 0, 1}, 0);
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
    projection.dim = 4;
    for (int key = GLFW_KEY_0; key <= GLFW_KEY_9; key++) {
        press(key);
        expect_projection(0, 1, 2, 3, 0);
    }
    projection.dim = 6;
    press(GLFW_KEY_6);
    expect_projection(0, 1, 2, 5, 0);
    press(GLFW_KEY_O);
    expect_projection(0, 5, 2, 1, 2);
}

TEST_F(Input, OnlyNineCoordinatesCanBeHiddenByDigit)
{
    projection.dim = 12;
    for (int key = GLFW_KEY_4; key <= GLFW_KEY_9; key++) {
        press(key);
        EXPECT_EQ(projection.w, key - GLFW_KEY_1);
    }
    for (int key : {GLFW_KEY_0, GLFW_KEY_KP_0, GLFW_KEY_KP_4, GLFW_KEY_KP_9, GLFW_KEY_MINUS})
        press(key);
    EXPECT_EQ(projection.w, 8);
}

TEST_F(Input, SwapKeysExchangeOnceAPress)
{
    projection.dim = 4;
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
    projection.dim = 4;
    press(GLFW_KEY_I);
    press(GLFW_KEY_P);
    expect_projection(3, 1, 0, 2, 3);
}

} // namespace
