// Helpers for tests that run against the viewer's GL context.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "scenes.h"
#include "draw/mesh.h"

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Rgb& p)
{
    return out << "(" << p.r << ", " << p.g << ", " << p.b << ")";
}

std::vector<float> filled(size_t count, float value);

// Shows a surface through the drop handler, from a file written for the test.
void drop_surface(uint8_t dim, const std::vector<float>& coords, const std::vector<float>& normals);

// Runs body with the arrays of mapped meshes in buffers the driver maps and,
// where it can take them, in memory of ours.
void each_storage(const std::function<void()>& body);

// The mesh of the first shape on show, or none.
Mesh* shown_mesh();

// What is on show: the first shape's mesh and the coordinate choice.
struct Shown {
    Mesh* mesh;
    Choice choice;
};

// Expects what is on show to be what expected holds, field by field.
void expect_shown(const Shown& expected);

// Binds the shapes on show to the coordinate choice.
void bind_chosen();

// Sets the coordinate choice of the shown surface and binds it.
void choose_coordinates(uint8_t x, uint8_t y, uint8_t z, uint8_t w);

// Reads one pixel of the frame just drawn; (0, 0) is the lower left.
Rgb read_pixel(int x, int y);

// Byte offset into each vertex that a location of the bound vertex array reads.
uintptr_t attribute_offset(unsigned int location);

// The lit colour of a point (x, y, 0) with the given unit normal, worked out
// from the shading: viewer and light both at (0, 0, -15).
Rgb lit_colour(double x, double y, const double* normal);
