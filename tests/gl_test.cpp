// Helpers for tests that run against the viewer's GL context.
#include "gl_test.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include "input.h"
#include "surface_files.h"

void drop_surface(uint8_t dim, const std::vector<float>& coords, const std::vector<float>& normals)
{
    uint64_t vertex_count = dim ? coords.size() / dim : 0;
    std::string path = write_test_file("dropped.klein", klein_bytes(dim, vertex_count, coords, normals));
    const char* paths[] = {path.c_str()};
    __drop_callback_input(nullptr, 1, paths);
}

void choose_coordinates(uint8_t x, uint8_t y, uint8_t z, uint8_t w)
{
    projection.x = x;
    projection.y = y;
    projection.z = z;
    projection.w = w;
    set_projection_mesh(projection);
}

Rgb read_pixel(int x, int y)
{
    unsigned char pixel[4];
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    return {pixel[0], pixel[1], pixel[2]};
}
