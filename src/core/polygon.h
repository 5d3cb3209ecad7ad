// Polygons of R^m split into triangles in their own plane: a fan where the
// polygon is convex, ear clipping where it is not.
#pragma once

#include <cstddef>
#include <cstdint>

// Ear clipping takes time growing as the square of the corners, so that a
// file of many large concave polygons could take minutes: one of more
// corners is refused. Star polygons, the concave faces of 4-D polytopes,
// have a handful.
constexpr uint32_t concave_limit_polygon = 64;

// Memory the splitting reuses from one polygon to the next.
struct PolygonScratch {
    double* values;  // the plane and the corners in it
    uint32_t* links; // the corners left, as a ring
    size_t capacity; // corners the arrays hold
    int dim;         // coordinates the plane's arrays hold
};

// Splits the polygon whose n corners (n >= 3) are the vertices corners[k],
// each of dim coordinates at coords + dim * corners[k], into n - 2
// triangles, written to triangles as 3 (n - 2) corner positions 0 to n - 1,
// in the polygon's own turning sense. Returns null, or why it cannot.
const char* split_polygon(const float* coords, int dim, const uint32_t* corners, uint32_t n,
    uint32_t* triangles, PolygonScratch* scratch);

void free_polygon(PolygonScratch* scratch);
