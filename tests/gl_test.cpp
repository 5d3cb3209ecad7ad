// Helpers for tests that run against the viewer's GL context.
#include "gl_test.h"

#include <algorithm>
#include <cmath>

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include "app/input.h"
#include "draw/load.h"
#include "draw/shapes.h"
#include "surface_files.h"

std::vector<float> filled(size_t count, float value)
{
    return std::vector<float>(count, value);
}

void drop_surface(uint8_t dim, const std::vector<float>& coords, const std::vector<float>& normals)
{
    uint64_t vertex_count = dim ? coords.size() / dim : 0;
    std::string path = write_test_file("dropped.klein", klein_bytes(dim, vertex_count, coords, normals));
    const char* paths[] = {path.c_str()};
    __drop_callback_input(nullptr, 1, paths);
}

void each_storage(const std::function<void()>& body)
{
    pinned_memory_mesh = -1;
    float *coords, *normals;
    destroy_mesh(create_mapped_mesh(4, 3, &coords, &normals));
    const int available = pinned_memory_mesh;
    for (int pinned = 0; pinned <= available; pinned++) {
        SCOPED_TRACE(pinned ? "memory of ours" : "mapped buffers");
        pinned_memory_mesh = pinned;
        body();
    }
    pinned_memory_mesh = available;
    bind_chosen();
}

Mesh* shown_mesh()
{
    return shape_count > 0 ? shapes[0].mesh : nullptr;
}

void expect_shown(const Shown& expected)
{
    EXPECT_EQ(shown_mesh(), expected.mesh);
    EXPECT_EQ(view.dim, expected.choice.dim);
    EXPECT_EQ(view.show[0], expected.choice.x);
    EXPECT_EQ(view.show[1], expected.choice.y);
    EXPECT_EQ(view.show[2], expected.choice.z);
    EXPECT_EQ(view.show[3], expected.choice.w);
}

void bind_chosen()
{
    bind_shapes(view.show);
}

void choose_coordinates(uint8_t x, uint8_t y, uint8_t z, uint8_t w)
{
    choose({view.dim, x, y, z, w});
    bind_chosen();
}

uintptr_t attribute_offset(unsigned int location)
{
    void* pointer = nullptr;
    glGetVertexAttribPointerv(location, GL_VERTEX_ATTRIB_ARRAY_POINTER, &pointer);
    return reinterpret_cast<uintptr_t>(pointer);
}

Rgb lit_colour(double x, double y, const double* normal)
{
    double to_light[3] = {-x, -y, -15.0};
    double length = std::sqrt(x * x + y * y + 15.0 * 15.0);
    // The halfway vector is the light's direction, since the viewer stands there too.
    double facing
        = std::fabs(normal[0] * to_light[0] + normal[1] * to_light[1] + normal[2] * to_light[2]) / length;
    double strength = 0.5 + 0.5 * facing + std::pow(facing, 32.0);
    auto channel = [&](int byte) {
        double value = std::pow(strength * byte / 255.0, 1.0 / 2.2);
        return static_cast<int>(std::lround(255.0 * std::min(value, 1.0)));
    };
    return {channel(color[0]), channel(color[1]), channel(color[2])};
}

Rgb read_pixel(int x, int y)
{
    unsigned char pixel[4];
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    return {pixel[0], pixel[1], pixel[2]};
}
