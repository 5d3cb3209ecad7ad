// Classic surfaces of R^4 to R^10, sampled on a parameter grid and written as
// KLEIN files for the viewer to open.
#pragma once

#include <array>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

constexpr int max_dim = 10;
using Vec = std::array<double, max_dim>; // entries past the surface's dim are 0

// A surface parametrised over [0, u_end] x [0, v_end].
struct Surface {
    const char* file;
    int dim;
    double u_end, v_end;
    Vec (*point)(double u, double v);
    // Smooth and nowhere tangent; surface_sample() projects it onto the
    // normal space, so it only has to be roughly normal, except where a grid
    // line collapses to a point: one tangent is left there to project out.
    Vec (*normal_hint)(double u, double v);
};

struct Sample {
    Vec point, normal; // normal: unit, orthogonal to both tangents
};

// As laid out in the file: vertex-major, three vertices per triangle.
struct SampleMesh {
    int dim = 0;
    std::vector<float> coords, normals;
};

std::span<const Surface> sample_surfaces();

Sample surface_sample(const Surface& s, double u, double v);

// n x n grid cells, each split into two triangles.
SampleMesh surface_mesh(const Surface& s, int n);

// Writes dir / s.file; returns an error message, empty on success.
std::string write_klein(const Surface& s, int n, const std::filesystem::path& dir);
