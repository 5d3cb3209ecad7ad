// What an OOGL file's reading counts, shared by the reader and its objects:
// how many shapes a file gives at most, and what it held.
#pragma once

#include <cstdint>

constexpr int max_shapes_oogl = 3;

// What the file held, for --info.
struct OoglCounts {
    uint64_t vertices; // in the objects' vertex lists, used or not
    uint64_t faces;    // polygons of 3 or more vertices
    uint64_t segments; // edges of the polygons and of faces of 2, and of the polylines
    uint64_t points;   // faces and polylines of one vertex
};
