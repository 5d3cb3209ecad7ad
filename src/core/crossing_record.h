// The record of a double curve, which the search's parts fill and its
// callers read.
#pragma once

#include <cstdint>

// A point of the double curve, and the two points of the surface above it.
struct CrossingPoint {
    double at[3];         // in the shadow
    uint32_t triangle[2]; // the upper sheet's triangle (larger w), then the lower sheet's
    float where[2][3];    // the point in each as weights of its corners in R^m, summing to 1
};

// The double curve, its arrays from malloc, released with free_crossing. A
// closed polyline repeats its first point at its end. Polylines, and the
// points along each, come in an order of the shadow's own: the same
// whatever the order of the triangles.
struct Crossing {
    CrossingPoint* points;
    uint64_t point_count;
    uint64_t* starts;    // polyline k runs from points[starts[k]] to points[starts[k + 1] - 1]
    uint64_t line_count; // the polylines, the curve's components
    double (*triples)[3];
    uint64_t triple_count;
    double (*branches)[3];
    uint64_t branch_count;
    double length; // in the shadow
};
