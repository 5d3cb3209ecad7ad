// Sample surfaces: their normal fields, the files written, the command line.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <tuple>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include "samples.h"

namespace fs = std::filesystem;

namespace {

double dot(const Vec& a, const Vec& b)
{
    double sum = 0;
    for (int k = 0; k < max_dim; k++)
        sum += a[k] * b[k];
    return sum;
}

Vec minus(Vec a, const Vec& b)
{
    for (int k = 0; k < max_dim; k++)
        a[k] -= b[k];
    return a;
}

double angle(const Vec& a, const Vec& b)
{
    return std::acos(std::clamp(dot(a, b) / std::sqrt(dot(a, a) * dot(b, b)), -1.0, 1.0));
}

Vec vertex(const std::vector<float>& array, int dim, size_t v)
{
    Vec x {};
    std::copy_n(array.begin() + v * dim, dim, x.begin());
    return x;
}

fs::path fresh_dir(const std::string& name)
{
    const fs::path dir = fs::path(testing::TempDir()) / ("samples_test_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// Parameters: surface index, grid steps.
class SurfaceTest : public testing::TestWithParam<std::tuple<int, int>> {
protected:
    const Surface& s = sample_surfaces()[std::get<0>(GetParam())];
    const int n = std::get<1>(GetParam());
};

TEST_P(SurfaceTest, SampleNormalIsOrthogonalToTangentsAndContinuous)
{
    const double h = 1e-4; // not the tool's step, so a fault there shows
    for (int i = 0; i <= n; i++)
        for (int j = 0; j <= n; j++) {
            const double u = s.u_end * i / n, v = s.v_end * j / n;
            const Vec normal = surface_sample(s, u, v).normal;
            ASSERT_NEAR(dot(normal, normal), 1, 1e-12) << "u=" << u << " v=" << v;
            for (const Vec& t :
                {minus(s.point(u + h, v), s.point(u - h, v)), minus(s.point(u, v + h), s.point(u, v - h))}) {
                if (dot(t, t) > 1e-12) { // skips the collapsed grid lines
                    ASSERT_LT(std::abs(dot(normal, t)) / std::sqrt(dot(t, t)), 1e-6)
                        << "u=" << u << " v=" << v;
                }
            }
            // Checks the collapsed grid lines too, through neighbours that
            // have both tangents: the field turns by less than 12 per unit
            // of parameter (see below), so by less than 17 h along (h, h).
            ASSERT_LT(angle(normal, surface_sample(s, u + h, v + h).normal), 20 * h)
                << "u=" << u << " v=" << v;
        }
}

TEST_P(SurfaceTest, MeshNormalsAreUnitNormalAndSmooth)
{
    const size_t count = 6 * n * n;
    const SampleMesh mesh = surface_mesh(s, n);
    ASSERT_EQ(mesh.dim, s.dim);
    ASSERT_EQ(mesh.coords.size(), count * s.dim);
    ASSERT_EQ(mesh.normals.size(), count * s.dim);
    ASSERT_TRUE(
        std::all_of(mesh.coords.begin(), mesh.coords.end(), [](float x) { return std::isfinite(x); }));
    for (size_t a = 0; a < count; a++) {
        const Vec p = vertex(mesh.coords, s.dim, a), normal = vertex(mesh.normals, s.dim, a);
        ASSERT_NEAR(std::sqrt(dot(normal, normal)), 1, 1e-5) << "vertex " << a;
        for (size_t b = a / 3 * 3; b < a / 3 * 3 + 3; b++) {
            // A chord leaves the tangent plane by half the normal curvature
            // times its squared length; 2 bounds that for these surfaces.
            const Vec edge = minus(vertex(mesh.coords, s.dim, b), p);
            ASSERT_LE(std::abs(dot(normal, edge)), 2 * dot(edge, edge) + 1e-6)
                << "vertex " << a << " to " << b;
            // Neighbouring normals turn by the step times the field's rate,
            // which stays below 12 per parameter unit along the grid and its
            // diagonals; a flip would turn them by pi.
            ASSERT_LT(angle(normal, vertex(mesh.normals, s.dim, b)), 16.0 / n)
                << "vertex " << a << " to " << b;
        }
    }
}

TEST_P(SurfaceTest, CoincidentVerticesShareTheirNormal)
{
    // Where the grid meets itself along a seam, or a grid line collapses to a
    // point, the field must not flip or jump.
    const SampleMesh mesh = surface_mesh(s, n);
    std::vector<size_t> order(mesh.coords.size() / s.dim);
    std::iota(order.begin(), order.end(), 0);
    // Sorted along a direction no grid line runs in; its length is below 1,
    // so vertices closer than 1e-5 stay closer than that along it.
    auto x = [&](size_t v) {
        double key = 0;
        for (int k = 0; k < s.dim; k++)
            key += mesh.coords[v * s.dim + k] / (k + 2);
        return key;
    };
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return x(a) < x(b); });
    for (size_t i = 0; i < order.size(); i++)
        for (size_t j = i + 1; j < order.size() && x(order[j]) - x(order[i]) < 1e-5; j++) {
            const size_t a = order[i], b = order[j];
            const Vec gap = minus(vertex(mesh.coords, s.dim, a), vertex(mesh.coords, s.dim, b));
            if (dot(gap, gap) < 1e-10) {
                ASSERT_LT(angle(vertex(mesh.normals, s.dim, a), vertex(mesh.normals, s.dim, b)), 1e-4)
                    << "vertices " << a << " and " << b;
            }
        }
}

INSTANTIATE_TEST_SUITE_P(All, SurfaceTest,
    testing::Combine(testing::Range(0, int(sample_surfaces().size())), testing::Values(16, 96)),
    [](const auto& info) {
        std::string name = sample_surfaces()[std::get<0>(info.param)].file;
        name = name.substr(0, name.find('.'));
        std::replace(name.begin(), name.end(), '-', '_');
        return name + "_" + std::to_string(std::get<1>(info.param));
    });

TEST(Samples, SomeSurfaceHasACoordinateForEveryDigitKey)
{
    const auto surfaces = sample_surfaces();
    EXPECT_TRUE(std::any_of(surfaces.begin(), surfaces.end(), [](const Surface& s) { return s.dim >= 9; }));
}

TEST(Samples, FileHoldsHeaderThenCoordinatesThenNormals)
{
    const fs::path dir = fresh_dir("file");
    for (const Surface& s : sample_surfaces()) {
        SCOPED_TRACE(s.file);
        const int n = 3;
        ASSERT_EQ(write_klein(s, n, dir), "");
        std::ifstream in(dir / s.file, std::ios::binary);
        const std::vector<unsigned char> bytes {std::istreambuf_iterator<char>(in), {}};
        const uint64_t count = 6 * n * n;
        ASSERT_EQ(bytes.size(), 15 + 8 * s.dim * count);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), std::string("KLEIN", 6));
        EXPECT_EQ(bytes[6], s.dim);
        uint64_t stored = 0;
        for (int k = 7; k >= 0; k--)
            stored = stored << 8 | bytes[7 + k];
        EXPECT_EQ(stored, count);

        const SampleMesh mesh = surface_mesh(s, n);
        const size_t array = mesh.coords.size() * sizeof(float);
        EXPECT_EQ(std::memcmp(bytes.data() + 15, mesh.coords.data(), array), 0);
        EXPECT_EQ(std::memcmp(bytes.data() + 15 + array, mesh.normals.data(), array), 0);
        float first[max_dim];
        std::memcpy(first, bytes.data() + 15, s.dim * sizeof(float));
        const Vec p = s.point(0, 0);
        for (int k = 0; k < s.dim; k++)
            EXPECT_EQ(first[k], static_cast<float>(p[k]));
    }
    EXPECT_TRUE(std::none_of(fs::directory_iterator(dir), fs::directory_iterator(),
        [](const fs::directory_entry& e) { return e.path().extension() == ".part"; }));
}

TEST(Samples, CommandLine)
{
    const fs::path dir = fresh_dir("command_line");
    std::ofstream(dir / "file") << "not a directory";
    const std::string out = (dir / "out").string(), stderr_file = (dir / "stderr").string();
    const struct {
        std::string args;
        int status;
    } cases[] = {
        {"", 2},
        {out + " --resolution", 2},
        {out + " --resolution 1", 2},
        {out + " --resolution 4097", 2},
        {out + " --resolution 8x", 2},
        {out + " --resolution -8", 2},
        {out + " --frobnicate", 2},
        {out + " " + out, 2},
        {(dir / "file").string(), 1},
        {out + " --resolution 2", 0},
    };
    for (const auto& c : cases) {
        const int status
            = std::system((std::string(MAKE_SAMPLES) + " " + c.args + " 2>" + stderr_file).c_str());
        ASSERT_TRUE(WIFEXITED(status)) << c.args;
        EXPECT_EQ(WEXITSTATUS(status), c.status) << c.args;
        EXPECT_EQ(fs::file_size(stderr_file) == 0, c.status == 0) << c.args;
    }
    // The files the build lists as the command's outputs.
    for (const char* file : {"klein-bottle", "clifford-torus", "complex-square", "veronese", "torus-10d"})
        EXPECT_TRUE(fs::exists(fs::path(out) / (file + std::string(".klein")))) << file;
}

} // namespace
