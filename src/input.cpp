// Input handlers: dropped files and the viewport.
#include "input.h"

#include <cstdlib>

#include <epoxy/gl.h>
#include <GLFW/glfw3.h>

#include "mesh.h"

static ShowStatus __show_input(SurfaceData data)
{
    if (data.dim < 4)
        return SHOW_TOO_FEW_COORDINATES;
    Mesh* mesh = create_mesh(data);
    if (!mesh)
        return SHOW_NO_MESH;

    Mesh* replaced = projection.mesh;
    projection.mesh = mesh;
    projection.dim = data.dim;
    // Indices chosen for a wider surface would read past each vertex.
    const Projection& p = projection;
    if (p.x >= p.dim || p.y >= p.dim || p.z >= p.dim || p.w >= p.dim) {
        projection.x = 0;
        projection.y = 1;
        projection.z = 2;
        projection.w = 3;
    }
    set_projection_mesh(projection);
    destroy_mesh(replaced);
    return SHOW_DONE;
}

ShowStatus show_surface_input(const char* path, KleinReport* report)
{
    SurfaceData data;
    if (read_surface_klein(path, &data, report))
        return SHOW_UNREADABLE;
    // The buffers hold their own copies once the mesh exists.
    ShowStatus status = __show_input(data);
    free(data.normals);
    free(data.coords);
    return status;
}

void __drop_callback_input(GLFWwindow*, int count, const char** paths)
{
    if (count > 0)
        show_surface_input(paths[0], nullptr);
}

void __window_callback_input(GLFWwindow*, int width, int height)
{
    // Clearing covers the whole window, so the strips beside the square
    // show the clear colour.
    int side = width < height ? width : height;
    glViewport((width - side) / 2, (height - side) / 2, side, side);
}
