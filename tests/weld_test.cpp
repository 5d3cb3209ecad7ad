// The weld against points known by construction: a torus whose seams are
// worked out twice, vertices repeated or a rounding apart, and points that
// share a hash by chance; and the groups laid out from it.
#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include <gtest/gtest.h>

#include "core/weld.h"

namespace {

struct Points {
    std::vector<float> coords;
    std::vector<uint32_t> point; // the point each vertex was made on
};

// A torus in R^4 on an n x n grid, two triangles a cell, each corner worked
// out from its own angles: across the seams, 2 pi in place of 0.
Points torus(int n)
{
    Points p;
    for (int a = 0; a < n; a++)
        for (int b = 0; b < n; b++)
            for (auto [da, db] : {std::pair {0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}}) {
                double u = 2 * M_PI * (a + da) / n, v = 2 * M_PI * (b + db) / n;
                for (double c : {std::cos(u), std::sin(u), std::cos(v), std::sin(v)})
                    p.coords.push_back(static_cast<float>(c));
                p.point.push_back(static_cast<uint32_t>((a + da) % n * n + (b + db) % n));
            }
    return p;
}

// The first vertex of each vertex's point.
std::vector<uint32_t> firsts(const std::vector<uint32_t>& point)
{
    std::vector<uint32_t> first(point.size()), seen;
    for (uint32_t v = 0; v < point.size(); v++) {
        if (point[v] >= seen.size())
            seen.resize(point[v] + 1, UINT32_MAX);
        if (seen[point[v]] == UINT32_MAX)
            seen[point[v]] = v;
        first[v] = seen[point[v]];
    }
    return first;
}

TEST(Weld, VerticesOnOnePointAreOne)
{
    Points seams = torus(12);
    // Repeated, a rounding apart, apart by a step a grid cell would not
    // hide, and not finite: each after the torus, which reaches 1.
    Points more = seams;
    uint32_t next = 12 * 12;
    auto add = [&](std::vector<float> c, uint32_t point) {
        more.coords.insert(more.coords.end(), c.begin(), c.end());
        more.point.push_back(point);
    };
    add({0.25f, 0.5f, -0.5f, 0.125f}, next);
    add({0.25f, 0.5f, -0.5f, 0.125f}, next);
    add({std::nextafter(0.25f, 1.0f), 0.5f, -0.5f, std::nextafter(0.125f, 0.0f)}, next++);
    add({0.25f, 0.5f, -0.5f, 0.126f}, next++);
    add({NAN, 0.5f, -0.5f, 0.125f}, next++);
    add({NAN, 0.5f, -0.5f, 0.125f}, next++);
    add({INFINITY, 0.0f, 0.0f, 0.0f}, next++);
    const struct {
        const char* what;
        const Points* points;
    } rows[] = {{"seams", &seams}, {"repeated, rounded, apart, not finite", &more}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        uint64_t n = row.points->point.size();
        std::vector<uint32_t> ids(n);
        ASSERT_EQ(weld_vertices(row.points->coords.data(), 4, n, ids.data()), 1);
        EXPECT_EQ(ids, firsts(row.points->point));
    }
}

// 2^19 points of R^4 drawn at random, each twice: among so many hashes
// some meet by chance, and the points that meet must stay apart.
TEST(Weld, PointsWhoseHashesMeetStayApart)
{
    const uint32_t count = 1u << 19;
    std::vector<float> coords(8 * count);
    std::vector<uint32_t> point(2 * count);
    uint64_t state = 7;
    for (uint32_t k = 0; k < count; k++) {
        for (int c = 0; c < 4; c++) {
            state = state * 6364136223846793005u + 1442695040888963407u;
            coords[4 * k + c] = coords[4 * (k + count) + c]
                = static_cast<float>(state >> 40) / (1 << 23) - 1.0f;
        }
        point[k] = point[k + count] = k;
    }
    std::vector<uint32_t> ids(2 * count);
    ASSERT_EQ(weld_vertices(coords.data(), 4, 2 * count, ids.data()), 1);
    EXPECT_EQ(ids, firsts(point));
}

// Groups in the order of their first vertices, each in its own order, the
// first marked; laid out in place, over the ids.
TEST(Weld, GroupsFollowTheirFirstVertices)
{
    std::vector<uint32_t> members = {0, 1, 0, 3, 1, 0, 6};
    const std::vector<uint32_t> laid
        = {0 | start_weld, 2, 5, 1 | start_weld, 4, 3 | start_weld, 6 | start_weld};
    ASSERT_EQ(group_weld(members.data(), members.size(), members.data()), 1);
    EXPECT_EQ(members, laid);
}

// Groups laid out against a stable sort by first vertex, at the sizes where
// the sort's digits change (2^11 buckets, one key or none in each, or all
// keys in one) and where the work is cut into parts.
TEST(Weld, GroupsAgreeWithAStableSortAtEverySize)
{
    const struct {
        const char* what;
        uint32_t (*first)(uint32_t v);
    } shapes[] = {
        {"one group", [](uint32_t) { return 0u; }},
        {"each alone", [](uint32_t v) { return v; }},
        {"sevens", [](uint32_t v) { return v - v % 7; }},
        {"far back", [](uint32_t v) { return v / 2 * 2 - v / 2 % 3 * (v / 2 / 3 % 5) * 2; }},
    };
    for (uint32_t n : {1u, 2u, 33u, 2048u, 2049u, 4097u, 140001u})
        for (const auto& shape : shapes) {
            SCOPED_TRACE(std::string(shape.what) + " of " + std::to_string(n));
            std::vector<uint32_t> ids(n), order(n), members(n);
            for (uint32_t v = 0; v < n; v++)
                ids[v] = shape.first(v);
            std::iota(order.begin(), order.end(), 0u);
            std::stable_sort(
                order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return ids[a] < ids[b]; });
            for (uint32_t k = 0; k < n; k++)
                order[k] |= k == 0 || ids[order[k] & ~start_weld] != ids[order[k - 1] & ~start_weld]
                    ? start_weld
                    : 0u;
            ASSERT_EQ(group_weld(ids.data(), n, members.data()), 1);
            EXPECT_EQ(members, order);
        }
}

// Every vertex on one point but those not finite, over two parts: one hash
// fills a bucket, and runs of one hash longer than a few are sorted whole.
TEST(Weld, OnePointFillsABucket)
{
    const uint32_t n = 140001;
    std::vector<float> coords(4 * n, 0.5f);
    std::vector<uint32_t> point(n), ids(n);
    for (uint32_t v = 0; v < n; v++) {
        point[v] = v % 1000 == 999 ? v : 0;
        if (v % 1000 == 999)
            coords[4 * v + v % 4] = NAN;
    }
    ASSERT_EQ(weld_vertices(coords.data(), 4, n, ids.data()), 1);
    EXPECT_EQ(ids, firsts(point));
}

} // namespace
