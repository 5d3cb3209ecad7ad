// The parts of the double curve's search that its files share: the shadow
// of the welded surface, the segments where pairs of triangles cross, the
// search for them and their joining into the curve.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "core/crossing_record.h"
#include "core/host.h"

constexpr uint32_t none_crossing = UINT32_MAX;

// The surface as the view shows it, its vertices welded.
struct Shadow {
    uint64_t vertex_count;  // welded vertices that are shown
    double (*at)[3];        // the place of each in the shadow, nudged off ties (see __shadow_crossing)
    double* w;              // its w as shown
    double* weight;         // 1 - w / eye: a shadow's weights over it are weights in R^m; 1 without the eye
    uint32_t (*corners)[3]; // each triangle's welded vertices
    uint32_t* shown;        // the triangles whose corners are all shown and apart
    uint64_t shown_count;
    double reach; // the largest size of a coordinate of the shadow
};

// Where a segment ends: on an edge of one of its triangles, inside the other.
struct SegmentEnd {
    double at[3];
    uint32_t edge[2];   // the edge's welded vertices, the lesser first
    uint32_t inside;    // the triangle it lies inside
    double where[2][3]; // its weights over the corners of the segment's triangles, in the shadow
};

// Where two triangles cross.
struct Segment {
    uint32_t triangle[2];
    SegmentEnd ends[2];
};

struct Segments {
    Segment* items;
    uint64_t count, room;
};

// Room for what grows with the surface: malloc's, in huge pages where the
// host has them, since a first touch of each small page costs more than
// the work done on it. None when memory runs out.
void* __room_crossing(uint64_t bytes);

// Sorts n keys by their high halves, keeping the order of equal ones,
// through spare and back; 0 when memory runs out.
int __sort_crossing(uint64_t* keys, uint64_t* spare, uint64_t n);

// Adds a segment; 0 when memory runs out.
int __add_crossing(Segments* segments, const Segment* segment);

// The normal of a triangle of the shadow, not of unit length.
void __normal_crossing(const double* const t[3], double* n);

// The axis of the normal's largest component: areas on its plane are taken
// across the other two, the next after it first, so that they have that
// component's sign.
int __axis_crossing(const double* n);

// Whether point a comes before b: x first, then y, then z. The order of the
// shadow's own that makes the result the same whatever the triangles' order.
bool __point_less_crossing(const double* a, const double* b);

// Where triangles a and b, which share no vertex, cross: false when they
// do not, or lie in one plane.
bool __meet_crossing(const Shadow* shadow, uint32_t a, uint32_t b, Segment* segment);

// The segments of every pair of shown triangles that cross and share no
// vertex, in no particular order. Returns none, or why not.
const char* __pairs_crossing(const Shadow* shadow, Segments* segments, const std::atomic<bool>* stop);

// Joins the segments into the curve, with its triple and branch points.
// Returns none, or why not.
const char* __join_crossing(const Shadow* shadow, const Segments* segments, Crossing* curve);

// Runs work(first, last, half) over 0 to n, in two halves on two threads
// where there are threads and enough work.
template <class Work> void __halves_crossing(uint64_t n, uint64_t enough, Work work)
{
    if (!has_threads_platform || n < enough) {
        work(uint64_t {0}, n, 0);
        return;
    }
    std::thread second([&] { work(n / 2, n, 1); });
    work(uint64_t {0}, n / 2, 0);
    second.join();
}
