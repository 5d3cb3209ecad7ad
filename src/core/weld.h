// The weld: the vertices of a triangle or line list that lie on one point
// of R^m, found as one. Points are told apart on a grid 2^-20 of the
// largest coordinate apart: far finer than any triangle or segment, far
// coarser than a float's rounding there, so that a point worked out twice
// (along a seam, at a closed curve's ends) is one. A vertex with a value
// that is not finite lies on no point and is welded to none. No GL; the
// work is spread over every core where there are threads.
#pragma once

#include <atomic>
#include <cstdint>

// For n vertices of dim coordinates each (n below 2^32), sets ids[v] to the
// first vertex on the point of vertex v: v itself for the first. Works in
// scratch, 2 n words of the caller's, or when none is given in memory
// of its own. Returns 0, with ids unfinished, when memory runs out or stop
// (when given) is set on the way.
int weld_vertices(const float* coords, uint8_t dim, uint64_t n, uint32_t* ids,
    const std::atomic<bool>* stop = nullptr, uint64_t* scratch = nullptr);

// Marks the first vertex of each group that group_weld lays out.
constexpr uint32_t start_weld = 0x80000000u;

// Lays out the n vertices that ids welds (n below 2^31) in groups, one a
// point, into members, which may be ids itself or the second half of
// scratch: the groups in the order of their first vertices, each group's
// vertices in theirs, each group's first with start_weld set. Works in
// scratch as weld_vertices does. Returns 0 when memory runs out.
int group_weld(const uint32_t* ids, uint64_t n, uint32_t* members, uint64_t* scratch = nullptr);
