// The double curve against surfaces whose curve is known in closed form:
// two squares crossing in a line, a sphere through a plane in a circle,
// three planes in three lines through a triple point; none where sheets
// share vertices or edges, lie in one plane, or are embedded; the same
// whatever the order of the triangles; triangles that cannot be seen left
// out without harm.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "core/crossing.h"

namespace {

using Surface = std::vector<float>; // three vertices of 4 coordinates a triangle
using Place = std::function<void(int i, int j, float* p)>;

// A grid of cells i x j, two triangles a cell, its vertices placed by place;
// with wrap, the last column joins the first.
void add_grid(Surface* s, int ni, int nj, bool wrap, const Place& place)
{
    const int corners[6][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}};
    for (int i = 0; i < ni; i++)
        for (int j = 0; j < nj; j++)
            for (const auto& c : corners) {
                float p[4];
                place(i + c[0], wrap ? (j + c[1]) % nj : j + c[1], p);
                s->insert(s->end(), p, p + 4);
            }
}

// The square [-1, 1]^2 of n x n cells, its (a, b) placed at axes u and v,
// the third shown axis at c and w at w.
void add_square(Surface* s, int n, int u, int v, float c, float w)
{
    add_grid(s, n, n, false, [=](int i, int j, float* p) {
        p[0] = p[1] = p[2] = c;
        p[u] = -1.0f + 2.0f * i / n;
        p[v] = -1.0f + 2.0f * j / n;
        p[3] = w;
    });
}

CrossingView first_view(double eye = 0)
{
    CrossingView view = {};
    view.frame.dim = 4;
    for (int k = 0; k < 4; k++)
        view.frame.rows[k][k] = 1.0f;
    view.eye = eye;
    return view;
}

Crossing find(const Surface& s, double eye = 0)
{
    CrossingView view = first_view(eye);
    Crossing curve;
    EXPECT_EQ(find_crossing(s.data(), 4, s.size() / 4, &view, &curve), nullptr);
    return curve;
}

struct Known {
    const char* name;
    Surface surface;
    double eye;
    uint64_t components, triples, branches;
    double length, tolerance;
};

Surface two_squares()
{
    Surface s;
    add_square(&s, 3, 0, 1, 0.0f, 0.0f); // z = 0, w = 0
    add_square(&s, 3, 0, 2, 0.0f, 1.0f); // y = 0, w = 1
    return s;
}

// The unit sphere about (0, 0, 0.5), w = 1, through the plane z = 0, w = 0:
// they meet in the circle of radius sqrt(3) / 2 about the z axis.
Surface sphere_through_plane()
{
    Surface s;
    add_grid(&s, 32, 64, true, [](int i, int j, float* p) {
        double theta = M_PI * i / 32, phi = 2 * M_PI * j / 64;
        double r = i == 0 || i == 32 ? 0.0 : std::sin(theta);
        p[0] = static_cast<float>(r * std::cos(phi));
        p[1] = static_cast<float>(r * std::sin(phi));
        p[2] = static_cast<float>((i == 32 ? -1.0 : std::cos(theta)) + 0.5);
        p[3] = 1.0f;
    });
    Surface plane;
    add_square(&plane, 8, 0, 1, 0.0f, 0.0f);
    for (size_t k = 0; k < plane.size(); k++)
        plane[k] *= k % 4 < 2 ? 2.0f : 1.0f;
    s.insert(s.end(), plane.begin(), plane.end());
    return s;
}

Surface three_planes()
{
    Surface s;
    add_square(&s, 4, 1, 2, 0.0f, 0.0f); // x = 0
    add_square(&s, 4, 0, 2, 0.0f, 1.0f); // y = 0
    add_square(&s, 4, 0, 1, 0.0f, 2.0f); // z = 0
    return s;
}

// The Clifford torus, on the unit sphere of R^4: seen from the 4-D eye at
// distance 1, on that sphere, its shadow is a torus of revolution.
Surface clifford_torus()
{
    Surface s;
    add_grid(&s, 32, 32, true, [](int i, int j, float* p) {
        double u = 2 * M_PI * (i % 32) / 32, v = 2 * M_PI * j / 32;
        p[0] = static_cast<float>(std::cos(u) / M_SQRT2);
        p[1] = static_cast<float>(std::sin(u) / M_SQRT2);
        p[2] = static_cast<float>(std::cos(v) / M_SQRT2);
        p[3] = static_cast<float>(std::sin(v) / M_SQRT2);
    });
    return s;
}

// The Klein bottle of the samples: a tube about the unit circle whose
// section turns half a turn through z and w on the way round. Dropping w,
// the section at u = pi falls flat on the segment of the x axis from -1.5
// to -0.5, where the sheets at v and -v meet: a double segment, whose ends
// are branch points.
Surface klein_bottle()
{
    Surface s;
    const int n = 32;
    add_grid(&s, n, n, true, [](int i, int j, float* p) {
        if (i == n)
            j = (n - j) % n, i = 0;
        double u = 2 * M_PI * i / n, v = 2 * M_PI * j / n, a = 1 + 0.5 * std::cos(v);
        p[0] = static_cast<float>(a * std::cos(u));
        p[1] = static_cast<float>(a * std::sin(u));
        p[2] = static_cast<float>(0.5 * std::sin(v) * std::cos(u / 2));
        p[3] = static_cast<float>(0.5 * std::sin(v) * std::sin(u / 2));
    });
    return s;
}

// Three squares folded about the x axis, sharing its vertices.
Surface book()
{
    Surface s;
    for (int page = 0; page < 3; page++)
        add_grid(&s, 4, 4, false, [=](int i, int j, float* p) {
            double angle = 2 * M_PI * page / 3, r = j / 4.0;
            p[0] = -1.0f + i / 2.0f;
            p[1] = static_cast<float>(r * std::cos(angle));
            p[2] = static_cast<float>(r * std::sin(angle));
            p[3] = 0.0f;
        });
    return s;
}

// Two triangles through each other, sharing one corner.
Surface bow_tie()
{
    return {0, 0, 0, 0, 1, -1, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 1, 0, -1, 1, 1, 0, 1, 1};
}

// Two squares in the plane z = 0, one turned by 30 degrees, at w and w2.
Surface overlapping(float w2)
{
    Surface s;
    add_square(&s, 2, 0, 1, 0.0f, 0.0f);
    Surface turned;
    add_square(&turned, 3, 0, 1, 0.0f, w2);
    for (size_t k = 0; k < turned.size(); k += 4) {
        float x = turned[k], y = turned[k + 1];
        turned[k] = 0.8660254f * x - 0.5f * y;
        turned[k + 1] = 0.5f * x + 0.8660254f * y;
    }
    s.insert(s.end(), turned.begin(), turned.end());
    return s;
}

TEST(Crossing, CurvesKnownInClosedForm)
{
    const double circle = 2 * M_PI * std::sqrt(3.0) / 2;
    const Known rows[] = {
        {"two squares", two_squares(), 0, 1, 0, 0, 2.0, 1e-4},
        {"sphere through a plane", sphere_through_plane(), 0, 1, 0, 0, circle, 0.01 * circle},
        {"three planes", three_planes(), 0, 3, 1, 0, 6.0, 1e-4},
        {"Klein bottle", klein_bottle(), 0, 1, 0, 2, 1.0, 0.05},
        {"Clifford torus from the eye on its sphere", clifford_torus(), 1.0, 0, 0, 0, 0.0, 0.0},
        {"pages sharing an edge", book(), 0, 0, 0, 0, 0.0, 0.0},
        {"triangles sharing a corner", bow_tie(), 0, 0, 0, 0, 0.0, 0.0},
        {"one plane, one w", overlapping(0.0f), 0, 0, 0, 0, 0.0, 0.0},
        {"one plane, two w", overlapping(1.0f), 0, 0, 0, 0, 0.0, 0.0},
    };
    for (const Known& row : rows) {
        Crossing curve = find(row.surface, row.eye);
        EXPECT_EQ(curve.line_count, row.components) << row.name;
        EXPECT_EQ(curve.triple_count, row.triples) << row.name;
        EXPECT_EQ(curve.branch_count, row.branches) << row.name;
        EXPECT_NEAR(curve.length, row.length, row.tolerance) << row.name;
        free_crossing(&curve);
    }
}

TEST(Crossing, PointsLieWhereTheSheetsMeetAndLiftToEach)
{
    Surface s = sphere_through_plane();
    Crossing curve = find(s);
    ASSERT_EQ(curve.line_count, 1u);
    const CrossingPoint& first = curve.points[0];
    const CrossingPoint& last = curve.points[curve.point_count - 1];
    EXPECT_EQ(memcmp(first.at, last.at, sizeof first.at), 0) << "a closed curve ends where it starts";
    for (uint64_t k = 0; k < curve.point_count; k++) {
        const double* at = curve.points[k].at;
        // Inside the sphere's triangles, within their sag along and across
        // its rows, 1 - cos(pi / 64) each, of the circle.
        double r = std::hypot(at[0], at[1]);
        EXPECT_LT(r, std::sqrt(3.0) / 2 + 1e-4) << k;
        EXPECT_GT(r, std::sqrt(3.0) / 2 - 2 * (1 - std::cos(M_PI / 64))) << k;
        EXPECT_NEAR(at[2], 0.0, 1e-4) << k;
        double upper[4], lower[4];
        lift_crossing(&curve, s.data(), 4, k, 0, upper);
        lift_crossing(&curve, s.data(), 4, k, 1, lower);
        EXPECT_NEAR(upper[3], 1.0, 1e-6) << "the sphere lies above";
        EXPECT_NEAR(lower[3], 0.0, 1e-6) << "the plane lies below";
        for (int j = 0; j < 3; j++) {
            EXPECT_NEAR(upper[j], at[j], 1e-4) << k;
            EXPECT_NEAR(lower[j], at[j], 1e-4) << k;
        }
    }
    free_crossing(&curve);
}

TEST(Crossing, TrianglesThatCannotBeSeenAreLeftOut)
{
    const float nan = NAN, inf = INFINITY;
    const struct {
        const char* name;
        Surface extra;
        double eye;
    } rows[] = {
        {"a corner not a number", {nan, 0, -1, 0, 0.2f, 0, 1, 0, -0.2f, 0.1f, 1, 0}, 0},
        {"a corner infinite", {0, inf, -1, 0, 0.2f, 0, 1, 0, -0.2f, 0.1f, 1, 0}, 0},
        {"two corners one", {0.3f, 0.3f, -1, 2, 0.3f, 0.3f, 1, 0, 0.3f, 0.3f, -1, 2}, 0},
        {"corners on a line", {0.3f, 0.3f, -1, 0, 0.3f, 0.3f, 0, 0.5f, 0.3f, 0.3f, 1, 1}, 0},
        {"a corner past the eye", {0.5f, 0.5f, -1, 3, 0.5f, 0.6f, 1, 0.5f, 0.4f, 0.5f, 1, 0.5f}, 2.0},
        {"a corner on the eye", {0.5f, 0.5f, -1, 2, 0.5f, 0.6f, 1, 0.5f, 0.4f, 0.5f, 1, 0.5f}, 2.0},
        {"a vertex left over", {0.5f, 0.5f, -1, 0}, 0},
    };
    for (const auto& row : rows) {
        Surface s = two_squares();
        s.insert(s.end(), row.extra.begin(), row.extra.end());
        Crossing curve = find(s, row.eye);
        EXPECT_EQ(curve.line_count, 1u) << row.name;
        EXPECT_NEAR(curve.length, 2.0, 1e-3) << row.name;
        free_crossing(&curve);
    }
    Crossing none = find(Surface {});
    EXPECT_EQ(none.line_count, 0u);
    free_crossing(&none);
}

TEST(Crossing, TripleAndBranchPointsLieWhereTheyShould)
{
    Crossing planes = find(three_planes());
    ASSERT_EQ(planes.triple_count, 1u);
    for (double c : planes.triples[0])
        EXPECT_NEAR(c, 0.0, 1e-4) << "the planes meet at the origin";
    free_crossing(&planes);
    Crossing klein = find(klein_bottle());
    ASSERT_EQ(klein.branch_count, 2u);
    // In order along x; the last cell of the tube before each end holds none.
    EXPECT_NEAR(klein.branches[0][0], -1.5, 0.05);
    EXPECT_NEAR(klein.branches[1][0], -0.5, 0.05);
    for (const double* b : {klein.branches[0], klein.branches[1]}) {
        EXPECT_NEAR(b[1], 0.0, 0.01);
        EXPECT_NEAR(b[2], 0.0, 0.01);
    }
    free_crossing(&klein);
}

TEST(Crossing, LiftsUndoTheFourDimensionalEye)
{
    // Seen from the eye 3 away, the square at w = 1 grows by 3 / 2 about
    // the origin, the one at w = 0 not at all: the line's point x lies over
    // x on the one below and over 2 x / 3 on the one above.
    Surface s = two_squares();
    Crossing curve = find(s, 3.0);
    ASSERT_EQ(curve.line_count, 1u);
    EXPECT_NEAR(curve.length, 2.0, 1e-4) << "the line ends where the smaller square does";
    for (uint64_t k = 0; k < curve.point_count; k++) {
        double upper[4], lower[4], x = curve.points[k].at[0];
        lift_crossing(&curve, s.data(), 4, k, 0, upper);
        lift_crossing(&curve, s.data(), 4, k, 1, lower);
        const double expected[2][4] = {{2 * x / 3, 0, 0, 1}, {x, 0, 0, 0}};
        for (int j = 0; j < 4; j++) {
            EXPECT_NEAR(upper[j], expected[0][j], 1e-4) << k << " " << j;
            EXPECT_NEAR(lower[j], expected[1][j], 1e-4) << k << " " << j;
        }
    }
    free_crossing(&curve);
}

// A sheet of fine triangles crossed by a square of coarse ones: the coarse
// ones' boxes go into many columns, or are tried against every triangle.
TEST(Crossing, TrianglesOfEverySizeMeet)
{
    const struct {
        const char* name;
        int fine, coarse;
    } rows[] = {
        {"alike", 6, 6},
        {"a few times wider", 24, 4},
        {"in many columns", 40, 1},
        {"wider than most columns", 100, 1},
    };
    for (const auto& row : rows) {
        Surface s;
        add_square(&s, row.fine, 0, 1, 0.0f, 0.0f);
        add_square(&s, row.coarse, 0, 2, 0.0f, 1.0f);
        Crossing curve = find(s);
        EXPECT_EQ(curve.line_count, 1u) << row.name;
        EXPECT_NEAR(curve.length, 2.0, 1e-4) << row.name;
        free_crossing(&curve);
    }
}

TEST(Crossing, RefusesWhatWouldRunForLong)
{
    // Sheets stacked on one another in the shadow, each at its own w: every
    // pair's boxes meet.
    Surface stack;
    for (int k = 0; k < 20000; k++)
        stack.insert(stack.end(), {0, 0, 0, k / 2e4f, 1, 0, 0, k / 2e4f, 0, 1, 0, k / 2e4f});
    CrossingView view = first_view();
    Crossing curve;
    EXPECT_STREQ(find_crossing(stack.data(), 4, stack.size() / 4, &view, &curve),
        "the shadow piles too many triangles on one another");
    EXPECT_EQ(curve.points, nullptr);
    std::atomic<bool> stop(true);
    Surface s = two_squares();
    EXPECT_STREQ(find_crossing(s.data(), 4, s.size() / 4, &view, &curve, &stop), "stopped");
    view.frame.dim = 5;
    EXPECT_STREQ(find_crossing(s.data(), 4, s.size() / 4, &view, &curve),
        "the frame is not of the surface's dimension");
}

bool same(const Crossing& a, const Crossing& b)
{
    return a.line_count == b.line_count && a.point_count == b.point_count && a.triple_count == b.triple_count
        && a.branch_count == b.branch_count && a.length == b.length
        && std::equal(a.starts, a.starts + a.line_count + 1, b.starts)
        && std::equal(a.points, a.points + a.point_count, b.points,
            [](const CrossingPoint& p, const CrossingPoint& q) {
                return memcmp(p.at, q.at, sizeof p.at) == 0;
            })
        && std::equal(a.triples, a.triples + a.triple_count, b.triples,
            [](const double* p, const double* q) { return std::equal(p, p + 3, q); })
        && std::equal(a.branches, a.branches + a.branch_count, b.branches,
            [](const double* p, const double* q) { return std::equal(p, p + 3, q); });
}

TEST(Crossing, TheSameWhateverTheOrderOfTheTriangles)
{
    Surface s = three_planes();
    Surface sphere = sphere_through_plane();
    s.insert(s.end(), sphere.begin(), sphere.end());
    Crossing before = find(s);
    std::vector<size_t> order(s.size() / 12);
    for (size_t t = 0; t < order.size(); t++)
        order[t] = t;
    std::shuffle(order.begin(), order.end(), std::mt19937(5));
    Surface shuffled;
    for (size_t t : order)
        shuffled.insert(shuffled.end(), s.begin() + 12 * t, s.begin() + 12 * t + 12);
    Crossing after = find(shuffled);
    EXPECT_GT(before.line_count, 3u);
    EXPECT_TRUE(same(before, after));
    free_crossing(&before);
    free_crossing(&after);
}

TEST(Crossing, TheJobFindsWhatTheCallFinds)
{
    Surface s = sphere_through_plane();
    CrossingView view = first_view();
    Crossing called = find(s), taken = {};
    CrossingLines lines = {};
    // A job asked for while one is under way takes its place.
    start_crossing(s.data(), 4, s.size() / 4, &view, 6);
    start_crossing(s.data(), 4, s.size() / 4, &view, 7);
    EXPECT_EQ(done_crossing(6, false), -1) << "the job replaced";
    EXPECT_EQ(take_crossing(8, &taken), 0) << "another serial";
    EXPECT_EQ(done_crossing(7, true), 1);
    EXPECT_EQ(take_crossing(7, &taken, &lines), 1);
    EXPECT_TRUE(same(called, taken));
    EXPECT_EQ(done_crossing(7, false), -1) << "a taken job is forgotten";
    // The lines are the lifted points, and the point midway between.
    ASSERT_EQ(lines.count, taken.point_count);
    ASSERT_EQ(taken.line_count, 1u) << "the circle";
    for (uint64_t k = 0; k < lines.count; k++) {
        double sheets[3][4];
        lift_crossing(&taken, s.data(), 4, k, 0, sheets[0]);
        lift_crossing(&taken, s.data(), 4, k, 1, sheets[1]);
        for (int c = 0; c < 4; c++) {
            sheets[2][c] = 0.5 * (sheets[0][c] + sheets[1][c]);
            for (int sheet = 0; sheet < 3; sheet++)
                EXPECT_FLOAT_EQ(lines.sheets[sheet][4 * k + c], sheets[sheet][c]) << k << " " << sheet;
        }
        EXPECT_EQ(lines.joins[k], k + 1 < lines.count) << k;
    }
    start_crossing(s.data(), 4, s.size() / 4, &view, 9);
    stop_crossing(9);
    EXPECT_EQ(done_crossing(9, false), -1) << "a stopped job is forgotten";
    free_crossing(&called);
    free_crossing(&taken);
    free_lines_crossing(&lines);
}

TEST(Crossing, WeldKeepsTheFirstOfEqualVertices)
{
    const float nan = NAN;
    const float coords[][2]
        = {{1, 2}, {0, 0}, {1, 2}, {-0.0f, 0}, {nan, 0}, {nan, 0}, {1, 2.0000002f}, {0, -0.0f}};
    const uint32_t expected[] = {0, 1, 0, 1, 4, 5, 6, 1};
    uint32_t ids[8];
    ASSERT_TRUE(weld_crossing(coords[0], 2, 8, ids));
    for (int v = 0; v < 8; v++)
        EXPECT_EQ(ids[v], expected[v]) << v;
}

} // namespace
