// Frames of R^m and tours: the geodesic against principal angles worked out
// another way, turns in planes of coordinates, and the tours' targets.
#include <cmath>
#include <cstring>

#include <Eigen/Eigenvalues>
#include <gtest/gtest.h>

#include "core/frame.h"
#include "core/tour.h"

namespace {

// The principal angles between two planes from the eigenvalues of
// M M^T, M = A B^T, not from an SVD: their cosines squared. Largest first.
void angles_by_eigenvalues(const Frame& a, const Frame& b, double* angles)
{
    Eigen::Matrix4d m = Eigen::Matrix4d::Zero();
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            for (int k = 0; k < a.dim; k++)
                m(i, j) += static_cast<double>(a.rows[i][k]) * b.rows[j][k];
    Eigen::SelfAdjointEigenSolver<Eigen::Matrix4d> solver(m * m.transpose());
    // Eigenvalues come smallest first: the largest angle first.
    for (int i = 0; i < 4; i++)
        angles[i] = std::acos(std::sqrt(std::clamp(solver.eigenvalues()(i), 0.0, 1.0)));
}

Frame random_of(uint64_t seed, uint8_t dim)
{
    Frame f;
    random_frame(&seed, dim, &f);
    return f;
}

TEST(Frame, GeodesicsWalkEachPrincipalAngleAtAConstantPaceToTheTarget)
{
    for (uint8_t dim : {4, 6, 10, 255}) {
        SCOPED_TRACE("m = " + std::to_string(dim));
        Frame a = random_of(1, dim), b = random_of(2, dim), at;
        double total[4];
        angles_by_eigenvalues(a, b, total);
        Geodesic path;
        ASSERT_TRUE(start_geodesic_frame(&a, &b, &path));
        for (double t : {0.0, 0.25, 0.5, 0.9, 1.0}) {
            walk_geodesic_frame(&path, t, &at);
            EXPECT_LT(error_frame(&at), 1e-5f);
            double from_a[4], to_b[4];
            angles_by_eigenvalues(a, at, from_a);
            angles_by_eigenvalues(at, b, to_b);
            for (int i = 0; i < 4; i++) {
                EXPECT_NEAR(from_a[i], t * total[i], 2e-3) << "t " << t << ", angle " << i;
                EXPECT_NEAR(to_b[i], (1 - t) * total[i], 2e-3) << "t " << t << ", angle " << i;
            }
        }
        // The end is the target itself, not only its plane.
        walk_geodesic_frame(&path, 1.0, &at);
        for (int i = 0; i < 4; i++)
            for (int k = 0; k < dim; k++)
                ASSERT_NEAR(at.rows[i][k], path.to.rows[i][k], 1e-5f) << "row " << i << ", coordinate " << k;
    }
}

TEST(Frame, InOnePlaneTheGeodesicTurnsFromFrameToFrame)
{
    // Of R^4 every frame spans the same plane: the path is the turn between
    // them, by equal angles in equal times.
    uint8_t show[4] = {0, 1, 2, 3};
    Frame a, b, half, quarter;
    choice_frame(show, 4, &a);
    b = a;
    turn_frame(&b, 0, 3, 1.2f);
    Geodesic path;
    ASSERT_TRUE(start_geodesic_frame(&a, &b, &path));
    EXPECT_NEAR(path.angle, 1.2, 1e-6);
    walk_geodesic_frame(&path, 0.5, &half);
    quarter = a;
    turn_frame(&quarter, 0, 3, 0.6f);
    for (int i = 0; i < 4; i++)
        for (int k = 0; k < 4; k++)
            EXPECT_NEAR(half.rows[i][k], quarter.rows[i][k], 1e-6f);
}

TEST(Frame, TurnsInPlanesOfCoordinatesAndReducesToChoices)
{
    // 1:5 = 90 shows x5 where x1 was, reading +x5.
    uint8_t show[4] = {0, 1, 2, 3};
    Frame f;
    choice_frame(show, 6, &f);
    turn_frame(&f, 0, 4, static_cast<float>(M_PI / 2));
    EXPECT_NEAR(f.rows[0][4], 1.0f, 1e-7f);
    EXPECT_NEAR(f.rows[0][0], 0.0f, 1e-7f);
    uint8_t chosen[4] = {0, 1, 2, 3};
    float turn4[16];
    ASSERT_TRUE(reduce_frame(&f, chosen, turn4));
    EXPECT_EQ(chosen[0], 1);
    EXPECT_EQ(chosen[3], 4) << "a new choice, in the order of the coordinates";
    // Halfway, five coordinates are read: no longer a choice.
    turn_frame(&f, 4, 5, 0.3f);
    EXPECT_FALSE(reduce_frame(&f, chosen, turn4));
}

TEST(Frame, RandomFramesAreOrthonormalAndTheSeedsOwn)
{
    Frame a = random_of(42, 7), b = random_of(42, 7), c = random_of(43, 7);
    EXPECT_LT(error_frame(&a), 1e-6f);
    EXPECT_EQ(memcmp(a.rows, b.rows, sizeof a.rows), 0);
    EXPECT_NE(memcmp(a.rows, c.rows, sizeof a.rows), 0);
}

TEST(Frame, APulledAxisGoesWhereItIsPulled)
{
    // Coordinate 5, out of view, pulled halfway into x; x itself shortened
    // and tilted into w; in R^4, where every axis is a unit long, x turned.
    const struct {
        uint8_t dim;
        int k;
        float column[4];
        float expected[4];
    } rows[] = {
        {6, 4, {0.5f, 0.0f, 0.0f, 0.0f}, {0.5f, 0.0f, 0.0f, 0.0f}},
        {6, 0, {0.6f, 0.0f, 0.0f, 0.3f}, {0.6f, 0.0f, 0.0f, 0.3f}},
        {4, 0, {0.3f, 0.4f, 0.0f, 0.0f}, {0.6f, 0.8f, 0.0f, 0.0f}},
    };
    for (const auto& row : rows) {
        uint8_t show[4] = {0, 1, 2, 3};
        Frame f;
        choice_frame(show, row.dim, &f);
        pull_frame(&f, row.k, row.column);
        EXPECT_LT(error_frame(&f), 1e-6f);
        for (int i = 0; i < 4; i++)
            EXPECT_NEAR(f.rows[i][row.k], row.expected[i], 1e-6f) << "m " << int(row.dim) << ", row " << i;
        EXPECT_NEAR(f.rows[2][2], 1.0f, 1e-6f) << "z is left alone";
        Frame before = f;
        const float broken[4] = {NAN, 0.0f, 0.0f, 0.0f};
        pull_frame(&f, row.k, broken);
        EXPECT_EQ(memcmp(&f, &before, sizeof f), 0) << "a column not finite leaves the frame";
    }
}

TEST(Tour, TheLittleTourGoesRoundItsChoicesAndBack)
{
    const struct {
        uint8_t dim;
        uint32_t choices;
    } rows[] = {{4, 1}, {5, 5}, {8, 70}, {9, 9}, {255, 255}};
    for (const auto& row : rows)
        EXPECT_EQ(choices_tour(row.dim), row.choices) << "m = " << int(row.dim);

    uint8_t show[4] = {0, 1, 2, 3};
    Frame start, f;
    choice_frame(show, 6, &start);
    Tour tour = {TOUR_LITTLE, true, 0, 90.0f, first_target_tour(&start)};
    EXPECT_EQ(tour.target, 1u);
    long steps = round_tour(&tour, &start);
    f = start;
    for (long k = 0; k < steps; k++)
        step_tour(&tour, &f);
    for (int i = 0; i < 4; i++)
        for (int k = 0; k < 6; k++)
            EXPECT_NEAR(f.rows[i][k], start.rows[i][k], 1e-5f) << "a round ends where it began";
}

TEST(Tour, AGrandToursTargetsAreTheSeedsWhateverTheWay)
{
    Tour tour = {TOUR_GRAND, true, 7, 20.0f, 0};
    Frame a, b;
    target_tour(&tour, 10, 3, &a);
    tour.seed = 8;
    target_tour(&tour, 10, 3, &b);
    EXPECT_NE(memcmp(a.rows, b.rows, sizeof a.rows), 0);
    tour.seed = 7;
    target_tour(&tour, 10, 3, &b);
    EXPECT_EQ(memcmp(a.rows, b.rows, sizeof a.rows), 0);
}

TEST(Tour, ASeedGivesTheSameFramesInEveryBuild)
{
    // Worked out once on the desktop; the page's build must agree, so that
    // a seed is the same tour wherever it is shown.
    Tour tour = {TOUR_GRAND, true, 42, 20.0f, 0};
    Frame f;
    target_tour(&tour, 10, 3, &f);
    const float want[4][3] = {{0.266463846f, 0.434032232f, -0.329297513f},
        {0.438483089f, 0.116586991f, 0.239141092f}, {-0.231295213f, -0.0941450074f, -0.238204703f},
        {0.11953631f, -0.344220549f, 0.0663816184f}};
    const int columns[3] = {0, 5, 9};
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 3; j++)
            EXPECT_NEAR(f.rows[i][columns[j]], want[i][j], 1e-6f) << "row " << i << ", coordinate " << columns[j];
    for (int k = 0; k < 90; k++)
        step_tour(&tour, &f);
    EXPECT_NEAR(f.rows[0][0], 0.211002752f, 1e-5f);
    EXPECT_NEAR(f.rows[3][9], 0.164593324f, 1e-5f);
}

} // namespace
