// The surface on show: KLEIN files put on show in place of the one shown,
// and the reasons a file is not.
#include "app/surface.h"

#include <cstdio>

#include "draw/mesh.h"
#include "core/view.h"

char shown_path[PATH_MAX] = "";

// Puts mesh on show in place of the shown one.
static void __put_on_show_surface(Mesh* mesh, uint8_t dim)
{
    Projection& p = projection;
    Mesh* replaced = p.mesh;
    p.mesh = mesh;
    p.dim = dim;
    // Indices chosen for a wider surface would read past each vertex.
    if (p.x >= p.dim || p.y >= p.dim || p.z >= p.dim || p.w >= p.dim) {
        p.x = 0;
        p.y = 1;
        p.z = 2;
        p.w = 3;
    }
    set_projection_mesh(p);
    destroy_mesh(replaced);
    shown_path[0] = '\0';
    // A frame of another R^m means nothing to this surface.
    if (view.framed && view.frame.dim != dim) {
        View next = view;
        next.framed = false;
        next.tour.running = false;
        set_view(&next);
    }
}

ShowStatus show_data_surface(SurfaceData data)
{
    if (data.dim < 4)
        return SHOW_TOO_FEW_COORDINATES;
    Mesh* mesh = create_mesh(data);
    if (!mesh)
        return SHOW_NO_MESH;
    __put_on_show_surface(mesh, data.dim);
    return SHOW_DONE;
}

ShowStatus show_open_surface(const KleinFile* file, KleinReport* report)
{
    if (file->dim < 4)
        return SHOW_TOO_FEW_COORDINATES;
    // The arrays go from the page cache straight into the GPU's buffers:
    // no copy of our own, and no second one in memory while they upload.
    float *coords, *normals;
    Mesh* mesh = create_mapped_mesh(file->dim, file->vertex_count, &coords, &normals);
    if (!mesh)
        return SHOW_NO_MESH;
    if (read_surface_klein(file, coords, normals, report)) {
        destroy_mesh(mesh);
        return SHOW_UNREADABLE;
    }
    if (unmap_mesh(mesh)) {
        destroy_mesh(mesh);
        return SHOW_NO_MESH;
    }
    __put_on_show_surface(mesh, file->dim);
    return SHOW_DONE;
}

ShowStatus show_file_surface(const char* path, KleinReport* report)
{
    KleinReport ignored;
    if (!report)
        report = &ignored;
    KleinFile file;
    if (open_surface_klein(path, &file, report))
        return SHOW_UNREADABLE;
    ShowStatus status = show_open_surface(&file, report);
    close_surface_klein(&file);
    // A path the system opened fits PATH_MAX.
    if (status == SHOW_DONE)
        snprintf(shown_path, sizeof shown_path, "%s", path);
    return status;
}

void describe_surface(ShowStatus status, const KleinReport* report, char* text, size_t size)
{
    if (status == SHOW_TOO_FEW_COORDINATES)
        snprintf(text, size, "fewer than 4 coordinates");
    else if (status == SHOW_NO_MESH)
        snprintf(text, size, "too large for the GPU");
    else
        describe_klein(report, text, size);
}
