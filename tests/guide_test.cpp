// Guided tours on surfaces whose indices are known: the index against
// closed forms, and runs that end where the index is better than at the
// start, stop there and end alike under one seed.
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "core/guide.h"

namespace {

using Surface = std::vector<float>;

// Appends a triangle of corners given in R^4; the coordinates past the
// fourth, up to dim, are 0.1 c, c the corner's first, so that the surface
// leans into them.
void add_triangle(Surface* s, int dim, const float (&corners)[3][4])
{
    for (const auto& c : corners)
        for (int k = 0; k < dim; k++)
            s->push_back(k < 4 ? c[k] : 0.1f * c[0]);
}

// The square [-1, 1]^2 spanned by axes u and v of R^4, placed at p.
void add_square(Surface* s, int dim, int u, int v, const float (&p)[4])
{
    float corner[4][4];
    for (int c = 0; c < 4; c++) {
        memcpy(corner[c], p, sizeof p);
        corner[c][u] = c == 1 || c == 2 ? 1.0f : -1.0f;
        corner[c][v] = c >= 2 ? 1.0f : -1.0f;
    }
    add_triangle(s, dim,
        {{corner[0][0], corner[0][1], corner[0][2], corner[0][3]},
            {corner[1][0], corner[1][1], corner[1][2], corner[1][3]},
            {corner[2][0], corner[2][1], corner[2][2], corner[2][3]}});
    add_triangle(s, dim,
        {{corner[0][0], corner[0][1], corner[0][2], corner[0][3]},
            {corner[2][0], corner[2][1], corner[2][2], corner[2][3]},
            {corner[3][0], corner[3][1], corner[3][2], corner[3][3]}});
}

// A wedge in the plane z = w = 0 narrowing toward y = 0.3, and a square in
// y = 0 a unit away in w: their shadows cross along a chord of the wedge
// that a small turn of y toward w shortens and a larger one ends.
Surface wedge_and_wall(int dim)
{
    Surface s;
    add_triangle(&s, dim, {{-1.0f, -0.3f, 0.0f, 0.0f}, {1.0f, -0.3f, 0.0f, 0.0f}, {0.0f, 0.3f, 0.0f, 0.0f}});
    add_square(&s, dim, 0, 2, {0.0f, 0.0f, 0.0f, 1.0f});
    return s;
}

// A square turned 80 degrees from y toward w: its shadow is thin.
Surface leaning_square(int dim)
{
    Surface s;
    add_square(&s, dim, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f});
    float c = std::cos(80.0f * static_cast<float>(M_PI) / 180.0f);
    float w = std::sin(80.0f * static_cast<float>(M_PI) / 180.0f);
    for (size_t k = 0; k < s.size(); k += dim) {
        float y = s[k + 1];
        s[k + 1] = y * c;
        s[k + 3] = y * w;
    }
    return s;
}

Frame first_frame(int dim)
{
    Frame f = {};
    f.dim = static_cast<uint8_t>(dim);
    for (int k = 0; k < 4; k++)
        f.rows[k][k] = 1.0f;
    return f;
}

struct Pursuit {
    GuideStep last;
    double start, end;
    Frame frame;
    long steps;
};

// Steps a tour from the first frame, waiting for each index, until it stops.
Pursuit pursue(TourKind kind, const Surface& s, int dim, uint64_t seed)
{
    static uint32_t serial = 0;
    GuideSource source = {s.data(), static_cast<uint8_t>(dim), s.size() / dim, 0.0, ++serial};
    Tour tour = {kind, true, seed, 60.0f, 0};
    Pursuit run = {GUIDE_HELD, NAN, NAN, first_frame(dim), 0};
    while (tour.running && run.steps++ < 100000) {
        double value = NAN;
        const char* fault = nullptr;
        run.last = step_guide(&tour, &run.frame, &source, true, &value, &fault);
        EXPECT_EQ(fault, nullptr);
        if (run.last == GUIDE_ARRIVED && std::isnan(run.start))
            run.start = value;
        run.end = value;
    }
    return run;
}

} // namespace

TEST(Guide, IndicesOfKnownShadows)
{
    // Two squares crossing along a side's length in the shadow; a square
    // turned 60 degrees from x toward w, its shadow half its area.
    Surface crossing;
    add_square(&crossing, 4, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f});
    add_square(&crossing, 4, 0, 2, {0.0f, 0.0f, 0.0f, 1.0f});
    Surface square;
    add_square(&square, 4, 0, 1, {0.0f, 0.0f, 0.0f, 0.0f});
    Frame turned = first_frame(4);
    turn_frame(&turned, 0, 3, static_cast<float>(M_PI) / 3);
    const struct {
        TourKind kind;
        const Surface& surface;
        Frame frame;
        double index;
    } rows[] = {
        {TOUR_FEWEST_CROSSINGS, crossing, first_frame(4), 2.0},
        {TOUR_SPREAD, crossing, first_frame(4), 8.0},
        {TOUR_SPREAD, square, turned, 2.0},
    };
    for (const auto& row : rows) {
        GuideSource source = {row.surface.data(), 4, row.surface.size() / 4, 0.0, 1};
        double value = -1.0;
        ASSERT_EQ(index_guide(row.kind, &source, &row.frame, &value), nullptr);
        EXPECT_NEAR(value, row.index, 1e-5) << row.kind;
    }
}

TEST(Guide, EndsAtALocalOptimumBetterThanTheStart)
{
    // Each run stops of itself, at a frame whose index is the one told and
    // better than the start's by far; the same seed ends at the same frame.
    const struct {
        TourKind kind;
        int dim;
        Surface surface;
        double start, bound; // the index at the start; the end at most (crossings) or at least this
    } rows[] = {
        {TOUR_FEWEST_CROSSINGS, 4, wedge_and_wall(4), 1.0, 1e-9},
        {TOUR_FEWEST_CROSSINGS, 6, wedge_and_wall(6), 1.0, 1e-9},
        {TOUR_SPREAD, 4, leaning_square(4), 4 * std::cos(80 * M_PI / 180), 3.9},
        {TOUR_SPREAD, 5, leaning_square(5), 4 * std::cos(80 * M_PI / 180), 3.9},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "kind " << row.kind << " in R^" << row.dim);
        Pursuit run = pursue(row.kind, row.surface, row.dim, 7);
        ASSERT_EQ(run.last, GUIDE_STOPPED) << "after " << run.steps << " steps";
        EXPECT_NEAR(run.start, row.start, 1e-4);
        EXPECT_TRUE(row.kind == TOUR_SPREAD ? run.end >= row.bound : run.end <= row.bound)
            << "from " << run.start << " to " << run.end;
        GuideSource source
            = {row.surface.data(), static_cast<uint8_t>(row.dim), row.surface.size() / row.dim, 0.0, 1};
        double value = NAN;
        ASSERT_EQ(index_guide(row.kind, &source, &run.frame, &value), nullptr);
        EXPECT_NEAR(value, run.end, 1e-9);
        EXPECT_LT(error_frame(&run.frame), 1e-4f);
        Pursuit again = pursue(row.kind, row.surface, row.dim, 7);
        EXPECT_EQ(again.steps, run.steps);
        EXPECT_EQ(memcmp(again.frame.rows, run.frame.rows, sizeof run.frame.rows), 0);
    }
}
