// The 4-D turn against an independent formulation, by composition, and
// carried across the end of a swap; zoom and pan within their bounds.
#include <cmath>
#include <cstring>
#include <initializer_list>

#include <cglm/cglm.h>
#include <gtest/gtest.h>

#include "core/motion.h"
#include "core/view.h"

namespace {

const mat4 identity = GLM_MAT4_IDENTITY_INIT;

// How far the rows of turn4 are from orthonormal.
float orthonormal_error()
{
    mat4 turn4;
    memcpy(turn4, view.turn4, sizeof turn4);
    float error = 0.0f;
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            error = fmaxf(error, fabsf(glm_vec4_dot(turn4[i], turn4[j]) - (i == j)));
    return error;
}

class Motion : public testing::Test {
protected:
    void SetUp() override
    {
        reset_motion();
        carry_motion();
        take_changes_view();
    }
};

// turn4 times v, v given as (x, y, z, w).
void shown(const float* v, float* out)
{
    const auto& turn4 = view.turn4;
    for (int i = 0; i < 4; i++)
        out[i] = turn4[0][i] * v[0] + turn4[1][i] * v[1] + turn4[2][i] * v[2] + turn4[3][i] * v[3];
}

void expect_turn4(const mat4 expected, float tolerance, const char* what)
{
    const auto& turn4 = view.turn4;
    for (int c = 0; c < 4; c++)
        for (int r = 0; r < 4; r++)
            EXPECT_NEAR(turn4[c][r], expected[c][r], tolerance) << what << ": row " << r << ", column " << c;
}

TEST_F(Motion, APlaneTurnMovesContentAsTheSwapDoes)
{
    // E turns x toward w as I does: x' = x cos + w sin, w' = w cos - x sin,
    // the other two untouched. Every plane, both ways.
    const float v[4] = {0.3f, -0.7f, 1.1f, 0.5f};
    for (int a = 0; a < 4; a++)
        for (int b = 0; b < 4; b++) {
            if (a == b)
                continue;
            for (float angle : {0.4f, -1.3f}) {
                reset_motion();
                turn_plane_motion(a, b, angle);
                float out[4];
                shown(v, out);
                for (int k = 0; k < 4; k++) {
                    float want = k == a ? v[a] * cosf(angle) + v[b] * sinf(angle)
                        : k == b        ? v[b] * cosf(angle) - v[a] * sinf(angle)
                                        : v[k];
                    EXPECT_NEAR(out[k], want, 1e-6f)
                        << "plane " << a << b << ", angle " << angle << ", k " << k;
                }
            }
        }
}

TEST_F(Motion, TurnsComposeAndAFullTurnIsTheIdentity)
{
    turn_plane_motion(1, 3, 0.25f);
    turn_plane_motion(1, 3, 0.5f);
    mat4 twice;
    memcpy(twice, view.turn4, sizeof twice);
    reset_motion();
    turn_plane_motion(1, 3, 0.75f);
    expect_turn4(twice, 1e-6f, "0.25 then 0.5 is 0.75");

    // 255 steps of a held key make a full turn; kept orthonormal as a
    // frame would, the turn ends where it began.
    reset_motion();
    const float step = 0.024639943838277563f;
    for (int frame = 0; frame < 255; frame++) {
        turn_plane_motion(0, 3, step);
        turn_plane_motion(2, 1, -step);
        take_changes_view();
    }
    expect_turn4(identity, 2e-5f, "a full turn in two planes");
}

TEST_F(Motion, StaysOrthonormalOverManyTurns)
{
    for (int frame = 0; frame < 20000; frame++) {
        turn_plane_motion(frame % 3, 3, 0.0123f);
        turn_plane_motion(0, 1 + frame % 2, 0.031f);
        take_changes_view();
    }
    EXPECT_LT(orthonormal_error(), 1e-6f);
}

TEST_F(Motion, ACarriedTurnShowsTheSameAfterTheSwapBinds)
{
    // At the end of a swap of slot k with w the vertex stage shows
    // S turn4 v, S the quarter turn of k toward w; once bound, the new
    // coordinates are v with k and w exchanged, seen through the carried
    // turn4. x, y and z must agree.
    for (int k = 0; k < 3; k++) {
        reset_motion();
        turn_plane_motion(0, 3, 0.6f);
        turn_plane_motion(1, 2, -0.4f);
        turn_plane_motion(2, 3, 1.2f);
        const float v[4] = {0.3f, -0.7f, 1.1f, 0.5f};
        float before[4];
        shown(v, before);
        float quarter = before[k];
        before[k] = before[3];
        before[3] = -quarter;

        exchange_motion(k);
        carry_motion();
        float exchanged[4] = {v[0], v[1], v[2], v[3]};
        exchanged[k] = v[3];
        exchanged[3] = v[k];
        float after[4];
        shown(exchanged, after);
        for (int c = 0; c < 3; c++)
            EXPECT_NEAR(after[c], before[c], 1e-6f) << "slot " << k << ", shown " << c;
        EXPECT_LT(orthonormal_error(), 1e-6f);
    }

    // Two exchanges before a binding carry as one; the identity stays the
    // identity and asks for no upload.
    reset_motion();
    take_changes_view();
    exchange_motion(0);
    exchange_motion(2);
    carry_motion();
    expect_turn4(identity, 0.0f, "the identity carried");
    EXPECT_FALSE(take_changes_view() & CHANGE_MOTION);
}

TEST_F(Motion, ZoomStaysWithinBounds)
{
    zoom_motion(100.0f);
    EXPECT_EQ(view.zoom, 8.0f);
    zoom_motion(-1000.0f);
    EXPECT_EQ(view.zoom, 0.125f);
    zoom_motion(NAN);
    EXPECT_EQ(view.zoom, 0.125f);
}

} // namespace
