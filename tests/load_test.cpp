// The view uniforms' values, checked against matrices worked out by hand.
#include <cmath>

#include <gtest/gtest.h>

#include "draw/load.h"

namespace {

// Column-major, M[column][row] at index 4 * column + row.
void expect_matrix_near(const float* expected, const float* actual, float tolerance)
{
    for (int k = 0; k < 16; k++)
        EXPECT_NEAR(expected[k], actual[k], tolerance) << "column " << k / 4 << ", row " << k % 4;
}

// 1 / tan(15 degrees) = 2 + sqrt(3).
const float c = static_cast<float>(2.0 + std::sqrt(3.0));

TEST(FixMatrix, SquareViewLooksAtOriginFromNegativeZ)
{
    // Eye at (0, 0, -7): x is mirrored, depth 4..10 maps to -1..1.
    const float expected[16] = {-c, 0, 0, 0, 0, c, 0, 0, 0, 0, 7.0f / 3.0f, 1, 0, 0, 3, 7};
    float fix[16];
    __fix_matrix_load(1.0f, fix);
    expect_matrix_near(expected, fix, 2e-6f);

    // The origin lands at depth 3/7, z = -3 on the near plane, z = 3 on the far one.
    auto ndc_depth = [&](float z) { return (fix[10] * z + fix[14]) / (fix[11] * z + fix[15]); };
    EXPECT_NEAR(ndc_depth(0.0f), 3.0f / 7.0f, 1e-6f);
    EXPECT_NEAR(ndc_depth(-3.0f), -1.0f, 1e-6f);
    EXPECT_NEAR(ndc_depth(3.0f), 1.0f, 1e-6f);
}

TEST(FixMatrix, WideViewSqueezesOnlyHorizontally)
{
    const float expected[16] = {-c / 2, 0, 0, 0, 0, c, 0, 0, 0, 0, 7.0f / 3.0f, 1, 0, 0, 3, 7};
    float fix[16];
    __fix_matrix_load(2.0f, fix);
    expect_matrix_near(expected, fix, 2e-6f);
}

TEST(RotMatrix, Quaternions)
{
    const float s45 = std::sin(static_cast<float>(M_PI) / 4);
    const float c45 = std::cos(static_cast<float>(M_PI) / 4);
    struct Row {
        const char* what;
        float q[4];
        float expected[16];
    } rows[] = {
        {"identity", {0, 0, 0, 1}, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
        {"zero quaternion", {0, 0, 0, 0}, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
        // x turns into y, y into -x.
        {"quarter turn about z", {0, 0, s45, c45}, {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
        // The norm, not its square, divides: k = 2 / 2 = 1.
        {"(0, 0, 2, 0)", {0, 0, 2, 0}, {-3, 0, 0, 0, 0, -3, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        float rot[16];
        __rot_matrix_load(row.q, rot);
        expect_matrix_near(row.expected, rot, 1e-6f);
    }
}

TEST(RotMatrix, UnitQuaternionGivesRotation)
{
    // Two turns about one axis compose into one turn by the sum of the angles.
    const float axis[3] = {0.48f, -0.6f, 0.64f};
    auto quaternion = [&](float angle, float* q) {
        for (int k = 0; k < 3; k++)
            q[k] = axis[k] * std::sin(angle / 2);
        q[3] = std::cos(angle / 2);
    };
    float qa[4], qb[4], qab[4], a[16], b[16], ab[16];
    quaternion(0.3f, qa);
    quaternion(1.1f, qb);
    quaternion(1.4f, qab);
    __rot_matrix_load(qa, a);
    __rot_matrix_load(qb, b);
    __rot_matrix_load(qab, ab);

    float product[16] = {};
    for (int column = 0; column < 4; column++)
        for (int row = 0; row < 4; row++)
            for (int k = 0; k < 4; k++)
                product[4 * column + row] += b[4 * k + row] * a[4 * column + k];
    expect_matrix_near(ab, product, 2e-6f);
}

TEST(ColorVector, BytesBecomeUnitRange)
{
    EXPECT_EQ(color[0], 47);
    EXPECT_EQ(color[1], 60);
    EXPECT_EQ(color[2], 126);
    EXPECT_EQ(color[3], 255);

    float vector[4];
    __color_vector_load(color, vector);
    EXPECT_FLOAT_EQ(vector[0], 0.18431373f);
    EXPECT_FLOAT_EQ(vector[1], 0.23529412f);
    EXPECT_FLOAT_EQ(vector[2], 0.49411765f);
    EXPECT_FLOAT_EQ(vector[3], 1.0f);

    const uint8_t extremes[4] = {0, 255, 1, 0};
    __color_vector_load(extremes, vector);
    EXPECT_EQ(vector[0], 0.0f);
    EXPECT_EQ(vector[1], 1.0f);
    EXPECT_FLOAT_EQ(vector[2], 1.0f / 255.0f);
}

} // namespace
