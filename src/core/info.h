// Figures of a surface for `plexorama --info`: its size, the range of every
// coordinate, values that are not finite, normals that are not unit vectors,
// whether it fits the ball the view shows whole, and in a view, its shadow's
// double curve. Needs no window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/crossing.h"
#include "core/klein.h"
#include "core/oogl.h"
#include "core/view.h"

constexpr double view_radius_info = 1.5;     // the fixed camera shows this ball whole
constexpr double fit_tolerance_info = 1e-6;  // float rounding of a surface scaled to the radius
constexpr double zero_normal_info = 1e-6;    // a normal shorter than this has no direction
constexpr double unit_tolerance_info = 1e-4; // a unit normal's length is 1 within this

struct SurfaceInfo {
    uint8_t dim;
    uint32_t vertex_count;      // the low 32 bits of the stored count, as drawn
    double min[256], max[256];  // per coordinate, over finite values; NaN where none
    uint64_t nonfinite_coords;  // coordinate values that are NaN or infinite
    uint64_t nonfinite_normals; // normal components that are NaN or infinite
    uint64_t zero_normals;      // normals shorter than zero_normal_info
    uint64_t nonunit_normals;   // others whose length is off 1 by more than unit_tolerance_info
    uint64_t finite_vertices;   // vertices whose every coordinate is finite
    double radius;              // largest distance of a finite vertex from the origin
    bool fits;                  // every vertex finite and within the view's ball
};

// The figures of the shapes of an OOGL file, whose coordinates are all finite.
struct ShapesInfo {
    uint8_t dim;
    OoglCounts counts;         // what the file held
    uint64_t triangles;        // the faces split into triangles
    double min[256], max[256]; // per coordinate, over every shape
    double radius;             // largest distance of a vertex from the origin
    bool fits;                 // every vertex within the view's ball
};

// Computes the figures of a surface read by create_surface_klein.
void measure_info(const SurfaceData* data, SurfaceInfo* info);

// Computes the figures of the shapes read by read_shapes_oogl.
void measure_shapes_info(const ShapeData* shapes, int count, const OoglCounts* counts, ShapesInfo* info);

// Prints the figures as `key: values` lines, the file named first.
void print_info(FILE* out, const char* path, const SurfaceInfo* info);
void print_shapes_info(FILE* out, const char* path, const ShapesInfo* info);

// Prints the double curve's length and how many components, triple points
// and branch points it has, as `number: what` lines after one naming it.
void print_crossing_info(FILE* out, const Crossing* curve);

// The whole of `--info`: reads the file (KLEIN, else OOGL) and prints its figures, and with a
// scene the double curve in its view, or one line on standard error saying
// why it cannot be read or shown. Returns the exit code: 0 for a file the
// viewer can show, 1 otherwise.
int run_info(const char* path, const View* scene = nullptr);

// Says why a picture of the surface in the file at path shows none of it:
// no whole triangle, no finite vertex, no area, where it lies, or that it
// spans less than pixel, a pixel's width at the depth of the origin.
void describe_blank_info(const char* path, double pixel, char* text, size_t size);
