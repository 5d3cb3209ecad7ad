// The weld against points known by construction: a torus whose seams are
// worked out twice, vertices repeated or a rounding apart, and points that
// share a hash by chance; and the groups laid out from it.
#include <cmath>
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

} // namespace
