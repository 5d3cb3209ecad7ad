// The sample surfaces, their normal fields and the KLEIN writer.
#include "samples.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <system_error>

namespace {

constexpr double pi = std::numbers::pi;
constexpr double sqrt2 = std::numbers::sqrt2;

// Every surface fits in a ball of this radius: the view is about +-1.8 across
// at depth 0, which leaves a margin for the parts that rotate towards the eye.
constexpr double radius = 1.5;

double dot(const Vec& a, const Vec& b)
{
    double sum = 0;
    for (int k = 0; k < max_dim; k++)
        sum += a[k] * b[k];
    return sum;
}

// a + c b
Vec add(Vec a, const Vec& b, double c)
{
    for (int k = 0; k < max_dim; k++)
        a[k] += c * b[k];
    return a;
}

// Zero when a is too short to have a direction, as is the tangent along a
// grid line that collapses to a point: zero or rounding noise.
Vec unit(const Vec& a)
{
    const double length = std::sqrt(dot(a, a));
    return length > 1e-6 ? add(Vec {}, a, 1 / length) : Vec {};
}

Vec reject(const Vec& a, const Vec& unit_b)
{
    return add(a, unit_b, -dot(a, unit_b));
}

// Klein bottle: a tube around a circle whose cross-section turns half a
// revolution through the other two axes per lap, so that it closes up inside
// out: (2pi, v) is the point (0, -v).
constexpr double ring = 1.0, tube = radius - ring;

Vec klein_point(double u, double v)
{
    const double a = ring + tube * std::cos(v);
    return {a * std::cos(u), a * std::sin(u), tube * std::sin(v) * std::cos(u / 2),
        tube * std::sin(v) * std::sin(u / 2)};
}

// The tube's radial direction. It takes the same value at (2pi, v) and
// (0, -v), so it is one smooth field on the whole bottle: with a normal plane
// of two dimensions, being one-sided forces no flip.
Vec klein_normal(double u, double v)
{
    return {std::cos(v) * std::cos(u), std::cos(v) * std::sin(u), std::sin(v) * std::cos(u / 2),
        std::sin(v) * std::sin(u / 2)};
}

// Clifford torus, on a sphere about the origin; so is the 10-D torus and,
// once centred, the Veronese surface: for all three the position is normal.
Vec clifford_point(double u, double v)
{
    const double k = radius / sqrt2;
    return {k * std::cos(u), k * std::sin(u), k * std::cos(v), k * std::sin(v)};
}

// (z, z^2) for z = u e^(iv), |z| <= disc.
constexpr double disc = 1.2;

Vec square_point(double u, double v)
{
    const double k = radius / (disc * std::sqrt(1 + disc * disc));
    const double x = u * std::cos(v), y = u * std::sin(v);
    return {k * x, k * y, k * (x * x - y * y), k * 2 * x * y};
}

// On the graph of a holomorphic f the complex vector (-conj f'(z), 1) is
// Hermitian-orthogonal to the tangent line (1, f'(z)), hence really normal.
// Unlike the polar tangents it stays defined at z = 0.
Vec square_normal(double u, double v)
{
    return {-2 * u * std::cos(v), 2 * u * std::sin(v), 1, 0};
}

// The sphere's image under (x, y, z) -> (x^2, y^2, z^2, sqrt2 xy, sqrt2 yz,
// sqrt2 zx), which meets x and -x, so the upper hemisphere (u the polar angle)
// covers it once. It lies on the sphere of radius sqrt(2/3) about
// (1, 1, 1, 0, 0, 0) / 3 inside the hyperplane x1 + x2 + x3 = 1.
Vec veronese_point(double u, double v)
{
    const double k = radius * std::sqrt(1.5);
    const double x = std::sin(u) * std::cos(v), y = std::sin(u) * std::sin(v), z = std::cos(u);
    return {k * (x * x - 1. / 3), k * (y * y - 1. / 3), k * (z * z - 1. / 3), k * sqrt2 * x * y,
        k * sqrt2 * y * z, k * sqrt2 * z * x};
}

// A flat torus through five Fourier modes, one cos/sin pair each, so that
// every digit key of the viewer has a coordinate to pick.
constexpr int modes[5][2] = {{1, 0}, {0, 1}, {1, 1}, {1, -1}, {2, 1}};

Vec torus_point(double u, double v)
{
    const double k = radius / std::sqrt(5.0);
    Vec p {};
    for (int m = 0; m < 5; m++) {
        const double t = modes[m][0] * u + modes[m][1] * v;
        p[2 * m] = k * std::cos(t);
        p[2 * m + 1] = k * std::sin(t);
    }
    return p;
}

const Surface surfaces[] = {
    {"klein-bottle.klein", 4, 2 * pi, 2 * pi, klein_point, klein_normal},
    {"clifford-torus.klein", 4, 2 * pi, 2 * pi, clifford_point, clifford_point},
    {"complex-square.klein", 4, disc, 2 * pi, square_point, square_normal},
    {"veronese.klein", 6, pi / 2, 2 * pi, veronese_point, veronese_point},
    {"torus-10d.klein", 10, 2 * pi, 2 * pi, torus_point, torus_point},
};

// Calls emit for every vertex in file order. Goes one row of cells at a time
// so that each grid point is sampled once and all its vertices share it.
template <class Emit> void for_each_vertex(const Surface& s, int n, Emit emit)
{
    auto row = [&](int i) {
        std::vector<Sample> samples(n + 1);
        for (int j = 0; j <= n; j++)
            samples[j] = surface_sample(s, s.u_end * i / n, s.v_end * j / n);
        return samples;
    };
    std::vector<Sample> lo, hi = row(0);
    for (int i = 0; i < n; i++) {
        lo = std::move(hi);
        hi = row(i + 1);
        for (int j = 0; j < n; j++)
            for (const Sample* c : {&lo[j], &hi[j], &hi[j + 1], &lo[j], &hi[j + 1], &lo[j + 1]})
                emit(*c);
    }
}

} // namespace

std::span<const Surface> sample_surfaces()
{
    return surfaces;
}

Sample surface_sample(const Surface& s, double u, double v)
{
    // Central differences: truncation O(h^2) and rounding O(1e-16 / h) meet
    // near 1e-10 here.
    const double h = 1e-5;
    auto slope = [h](const Vec& ahead, const Vec& behind) {
        return add(add(Vec {}, ahead, 0.5 / h), behind, -0.5 / h);
    };
    const Vec tu = unit(slope(s.point(u + h, v), s.point(u - h, v)));
    const Vec tv = unit(reject(slope(s.point(u, v + h), s.point(u, v - h)), tu));
    return {s.point(u, v), unit(reject(reject(s.normal_hint(u, v), tu), tv))};
}

SampleMesh surface_mesh(const Surface& s, int n)
{
    SampleMesh mesh {s.dim, {}, {}};
    for_each_vertex(s, n, [&](const Sample& x) {
        mesh.coords.insert(mesh.coords.end(), x.point.begin(), x.point.begin() + s.dim);
        mesh.normals.insert(mesh.normals.end(), x.normal.begin(), x.normal.begin() + s.dim);
    });
    return mesh;
}

std::string write_klein(const Surface& s, int n, const std::filesystem::path& dir)
{
    static_assert(std::endian::native == std::endian::little, "KLEIN files are little-endian");
    const std::filesystem::path path = dir / s.file;
    // Written aside and renamed into place, so that a failed run never leaves
    // a truncated file that a build would take as up to date.
    const std::filesystem::path part = path.string() + ".part";
    std::FILE* f = std::fopen(part.c_str(), "wb");
    if (!f)
        return part.string() + ": " + std::generic_category().message(errno);

    const uint8_t dim = s.dim;
    const uint64_t count = 6 * uint64_t(n) * n;
    std::fwrite("KLEIN", 1, 6, f); // with its terminating 0 as the ignored byte
    std::fwrite(&dim, 1, 1, f);
    std::fwrite(&count, 8, 1, f);
    std::vector<float> chunk;
    auto flush = [&] {
        std::fwrite(chunk.data(), sizeof(float), chunk.size(), f);
        chunk.clear();
    };
    for (Vec Sample::*field : {&Sample::point, &Sample::normal})
        for_each_vertex(s, n, [&](const Sample& x) {
            chunk.insert(chunk.end(), (x.*field).begin(), (x.*field).begin() + s.dim);
            if (chunk.size() >= 1 << 16)
                flush();
        });
    flush();

    std::error_code error;
    if (std::ferror(f))
        error = {errno ? errno : EIO, std::generic_category()};
    if (std::fclose(f) != 0 && !error)
        error = {errno, std::generic_category()};
    if (!error)
        std::filesystem::rename(part, path, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(part, ignored);
        return path.string() + ": " + error.message();
    }
    return {};
}
