// Tangent planes: the plane found at each vertex against the plane its
// surface has there, worked out apart; vertices apart by rounding are one,
// and a vertex alone keeps its own triangle's plane.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "core/host.h"
#include "core/room.h"
#include "core/tangents.h"

namespace {

// A float from a half, for checking.
float value_of(uint16_t half)
{
    int exponent = (half >> 10) & 31;
    float magnitude = exponent ? std::ldexp(1.0f + (half & 1023) / 1024.0f, exponent - 15) : 0.0f;
    return half & 0x8000 ? -magnitude : magnitude;
}

// How far the plane of t1, t2 (halves, 2 dim of them) lies from the plane of
// the orthonormal u, v: the largest distance of t1 or t2 from it, and how far
// t1 and t2 are from orthonormal.
double distance_from(
    const uint16_t* halves, int dim, const std::vector<double>& u, const std::vector<double>& v)
{
    double worst = 0.0, dot = 0.0;
    for (int j = 0; j < 2; j++) {
        double along_u = 0.0, along_v = 0.0, length = 0.0;
        for (int k = 0; k < dim; k++) {
            double t = value_of(halves[j * dim + k]);
            along_u += t * u[k];
            along_v += t * v[k];
            length += t * t;
            dot += j ? 0.0 : t * value_of(halves[dim + k]);
        }
        worst = std::fmax(worst, std::sqrt(std::fmax(0.0, length - along_u * along_u - along_v * along_v)));
        worst = std::fmax(worst, std::fabs(length - 1.0));
    }
    return std::fmax(worst, std::fabs(dot));
}

// The planes found, a vertex at a time as its point has them, and how many
// points there are; 0 when the search fails. The points are numbered in
// the order of their first vertices.
int find_halves(const float* coords, int dim, uint64_t n, std::vector<uint16_t>* halves,
    const std::atomic<bool>& stop, uint64_t* count = nullptr)
{
    std::vector<uint32_t> points(n);
    Planes planes;
    if (!find_tangents(coords, static_cast<uint8_t>(dim), n, points.data(), &planes, &stop))
        return 0;
    halves->resize(2 * dim * n);
    uint32_t next = 0;
    for (uint64_t v = 0; v < n; v++) {
        EXPECT_LE(points[v], next) << "vertex " << v;
        next += points[v] == next;
        if (points[v] < planes.count)
            memcpy(&(*halves)[2 * dim * v], planes.halves + 2 * dim * uint64_t {points[v]}, 4 * dim);
    }
    EXPECT_EQ(next, planes.count);
    give_room(planes.halves, 4 * static_cast<uint64_t>(dim) * planes.count);
    if (count)
        *count = planes.count;
    return 1;
}

TEST(Tangents, HalvesRoundToTheNearest)
{
    const struct {
        float value;
        uint16_t half;
    } rows[] = {{1.0f, 0x3c00}, {-0.5f, 0xb800}, {0.1f, 0x2e66}, {0.70710678f, 0x39a8}, {-0.0f, 0x8000},
        {1e-6f, 0}, {0.99997f, 0x3c00}};
    for (const auto& row : rows)
        EXPECT_EQ(half_tangents(row.value), row.half) << row.value;
}

// A fan of triangles around the origin, on the sphere of radius 2 in R^m
// turned by a fixed rotation: the tangent plane at the centre is the image
// of the x1-x2 plane, and every outer vertex is its triangles' alone. Small
// m sums the planes' projections, large m keeps the planes.
class TangentsFan : public testing::TestWithParam<int> { };

TEST_P(TangentsFan, AVertexSharedByAFanTakesTheSurfacesPlane)
{
    const int dim = GetParam(), sides = 7;
    // A turn of R^m that mixes every coordinate: rows of a Householder map.
    double h[12] = {0.3, -0.5, 0.4, 0.6, 0.37, -0.2, 0.45, 0.1, -0.33, 0.25, 0.5, -0.15};
    double norm = 0.0;
    for (int k = 0; k < dim; k++)
        norm += h[k] * h[k];
    auto turned = [&](const double* p, float* out) {
        double along = 0.0;
        for (int k = 0; k < dim; k++)
            along += h[k] * p[k];
        for (int k = 0; k < dim; k++)
            out[k] = static_cast<float>(p[k] - 2.0 * along * h[k] / norm);
    };
    std::vector<float> coords;
    for (int s = 0; s < sides; s++) {
        for (int corner = 0; corner < 3; corner++) {
            double a = 2.0 * M_PI * (s + (corner == 2)) / sides, r = corner ? 0.05 : 0.0;
            // On the sphere x1^2 + x2^2 + (x3 - 2)^2 = 4, about its south pole.
            double p[12] = {r * std::cos(a), r * std::sin(a), 2.0 - std::sqrt(4.0 - r * r)};
            float q[12];
            turned(p, q);
            // The centre of each triangle after the first, a rounding apart.
            if (corner == 0 && s > 0)
                q[0] = std::nextafter(q[0], 1.0f);
            coords.insert(coords.end(), q, q + dim);
        }
    }
    // A triangle alone, far off, in the plane of (1, 1, 0, 0, 0) / sqrt 2 and x3.
    const float alone[3][12] = {{5, 5, 5}, {5.5f, 5.5f, 5}, {5, 5, 5.3f}};
    for (const auto& corner : alone)
        coords.insert(coords.end(), corner, corner + dim);
    uint64_t n = coords.size() / dim;
    std::vector<uint16_t> halves;
    std::atomic<bool> stop(false);
    ASSERT_EQ(find_halves(coords.data(), dim, n, &halves, stop), 1);
    const double e1[12] = {1}, e2[12] = {0, 1}, zero[12] = {};
    float fu[12], fv[12], origin[12];
    turned(e1, fu);
    turned(e2, fv);
    turned(zero, origin);
    std::vector<double> u(dim), v(dim);
    for (int k = 0; k < dim; k++) {
        u[k] = fu[k] - origin[k];
        v[k] = fv[k] - origin[k];
    }
    for (uint64_t vertex = 0; vertex < n - 3; vertex += 3)
        EXPECT_LT(distance_from(&halves[2 * dim * vertex], dim, u, v), 2e-3)
            << "centre of triangle " << vertex / 3;
    std::vector<double> diagonal(dim), up(dim);
    diagonal[0] = diagonal[1] = M_SQRT1_2;
    up[2] = 1.0;
    for (uint64_t vertex = n - 3; vertex < n; vertex++)
        EXPECT_LT(distance_from(&halves[2 * dim * vertex], dim, diagonal, up), 2e-3) << "corner " << vertex;
}

INSTANTIATE_TEST_SUITE_P(Dims, TangentsFan, testing::Values(4, 5, 9, 12));

// A torus in R^4, as a file lists it (each grid point once in each of its
// six triangles), and the same in R^9, its coordinates spread out among
// zeros: up to R^8 the planes are summed as a matrix, past it kept one by
// one, and both ways find the same plane at every vertex, a grid point
// each, also where the search is cut into parts.
class TangentsTorus : public testing::TestWithParam<int> { };

// The torus of n^2 cells in R^4, and in R^9 into *large where given.
std::vector<float> torus(int n, std::vector<float>* large = nullptr)
{
    std::vector<float> small;
    for (int cell = 0; cell < n * n; cell++)
        for (auto [di, dj] : {std::pair {0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}}) {
            double a = 2.0 * M_PI * ((cell / n + di) % n) / n, b = 2.0 * M_PI * ((cell % n + dj) % n) / n;
            const float p[4] = {
                float(std::cos(a)), float(std::sin(a)), float(0.5 * std::cos(b)), float(0.5 * std::sin(b))};
            small.insert(small.end(), p, p + 4);
            for (int k = 0; large && k < 9; k++)
                large->push_back(k % 2 ? 0.0f : p[k / 2 % 4] * (k < 8));
        }
    return small;
}

TEST_P(TangentsTorus, SummedAndKeptPlanesAgree)
{
    const int n = GetParam();
    std::vector<float> large, small = torus(n, &large);
    uint64_t count = small.size() / 4;
    std::vector<uint16_t> planes4, planes9;
    std::atomic<bool> stop(false);
    uint64_t points4 = 0, points9 = 0;
    ASSERT_EQ(find_halves(small.data(), 4, count, &planes4, stop, &points4), 1);
    ASSERT_EQ(find_halves(large.data(), 9, count, &planes9, stop, &points9), 1);
    EXPECT_EQ(points4, static_cast<uint64_t>(n * n));
    EXPECT_EQ(points9, static_cast<uint64_t>(n * n));
    for (uint64_t v = 0; v < count; v++)
        for (int k = 0; k < 18; k++) {
            float want = k % 9 % 2 || k % 9 == 8 ? 0.0f : value_of(planes4[8 * v + 4 * (k / 9) + k % 9 / 2]);
            ASSERT_NEAR(value_of(planes9[18 * v + k]), want, 1e-3) << "vertex " << v << ", half " << k;
        }
}

// 150^2 cells are 135,000 vertices: two parts.
INSTANTIATE_TEST_SUITE_P(Grids, TangentsTorus, testing::Values(12, 150));

// A job's planes taken as they come: every vertex that the job says is
// ready has its point and that point's plane as the whole search finds
// them, while the job goes on; the planes stay the taker's through the
// job's end or its stop, and past dim 8 none come early.
TEST(Tangents, PlanesTakenAsTheyComeAreReadyWhereTheJobSays)
{
    if (!has_threads_platform)
        GTEST_SKIP() << "without threads, the planes are found all at once";
    std::vector<float> large, coords = torus(150, &large);
    const uint64_t n = coords.size() / 4;
    std::vector<uint16_t> whole;
    std::atomic<bool> go(false);
    ASSERT_EQ(find_halves(coords.data(), 4, n, &whole, go), 1);
    for (uint32_t serial : {7u, 8u}) {
        std::vector<uint32_t> points(n);
        start_tangents(coords.data(), 4, n, points.data(), serial);
        Planes planes;
        uint64_t checked = early_tangents(serial, &planes);
        ASSERT_NE(planes.halves, nullptr);
        for (uint64_t want = 1; serial == 7 && checked < n; want = checked + 1) {
            uint64_t ready = std::min(wait_tangents(serial, want), n);
            ASSERT_GE(ready, want);
            for (uint64_t v = checked; v < ready; v++) {
                ASSERT_LT(points[v], planes.count) << "vertex " << v;
                ASSERT_EQ(memcmp(planes.halves + 8 * uint64_t {points[v]}, &whole[8 * v], 16), 0)
                    << "vertex " << v;
            }
            checked = ready;
        }
        Planes done;
        if (serial == 7) {
            EXPECT_EQ(done_tangents(serial, true, &done), 1);
            EXPECT_EQ(done.halves, planes.halves);
        } else {
            stop_tangents(serial);
            EXPECT_EQ(wait_tangents(serial, n), UINT64_MAX) << "a stopped job keeps no one waiting";
        }
        give_room(planes.halves, 16 * planes.count);
    }
    std::vector<uint32_t> points(n);
    start_tangents(large.data(), 9, n, points.data(), 9);
    Planes planes;
    EXPECT_EQ(early_tangents(9, &planes), 0u);
    EXPECT_EQ(planes.halves, nullptr);
    EXPECT_EQ(done_tangents(9, true, &planes), 1);
    give_room(planes.halves, 36 * planes.count);
}

// The planes' room: from the heap or mapped, each block starts on a page and
// holds its bytes and one more, to the last, and goes back as it came.
TEST(Room, BlocksStartOnAPageAndHoldTheirBytes)
{
    const uint64_t mib = uint64_t {1} << 20;
    for (uint64_t bytes : {uint64_t {0}, uint64_t {1}, uint64_t {4095}, 2 * mib - 1, 2 * mib, 5 * mib + 3}) {
        auto* room = static_cast<uint8_t*>(take_room(bytes));
        ASSERT_NE(room, nullptr) << bytes;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(room) % 4096, 0u) << bytes;
        memset(room, 0xab, bytes + 1);
        EXPECT_EQ(room[bytes], 0xab) << bytes;
        give_room(room, bytes);
    }
}

TEST(Tangents, WhatHasNoPlaneGetsZerosAndAStopEndsTheSearch)
{
    // A triangle without area, and one with a value that is not finite.
    const float coords[] = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 0, 0, 0, NAN, 1, 0, 0, 0, 0, 1, 0, 0};
    std::vector<uint16_t> halves;
    std::atomic<bool> stop(false);
    ASSERT_EQ(find_halves(coords, 4, 6, &halves, stop), 1);
    for (int k = 0; k < 2 * 4 * 4; k++)
        EXPECT_EQ(halves[k] & 0x7fff, 0) << "half " << k;
    stop = true;
    EXPECT_EQ(find_halves(coords, 4, 6, &halves, stop), 0);
}

} // namespace
