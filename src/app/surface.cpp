// The shapes on show as files give them, and the reasons a file is not.
#include "app/surface.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/motion.h"
#include "core/oogl.h"
#include "core/room.h"
#include "core/view.h"
#include "draw/mesh.h"
#include "draw/shapes.h"

char shown_path[PATH_MAX] = "";
// How many files the shapes on show came from.
static int shown_files = 0;

// Whether shapes of dim coordinates may go on show, in place of those
// shown or beside them.
static ShowStatus __fits_surface(uint8_t dim, bool add)
{
    if (dim < 4)
        return SHOW_TOO_FEW_COORDINATES;
    if (add && shape_count > 0 && dim != dim_shapes())
        return SHOW_OTHER_DIM;
    return SHOW_DONE;
}

// Makes room for a file's shapes: takes what is shown off show, unless they
// are added; returns the number of the file they come from.
static int __start_surface(bool add)
{
    if (!add || shape_count == 0) {
        clear_shapes();
        shown_files = 0;
        shown_path[0] = '\0';
    }
    return shown_files;
}

// The shapes from first on are the file's: they take its name, and the
// coordinate choice and the view follow them.
static void __put_on_show_surface(uint8_t dim, int first, const char* path)
{
    const char* slash = path ? strrchr(path, '/') : nullptr;
    for (int k = first; k < shape_count; k++)
        snprintf(shapes[k].name, sizeof shapes[k].name, "%s", slash ? slash + 1 : path ? path : "");
    if (path && shown_files == 0)
        snprintf(shown_path, sizeof shown_path, "%s", path);
    shown_files++;
    View next = view;
    next.dim = dim;
    // Indices chosen for a wider surface would read past each vertex.
    if (std::any_of(next.show, next.show + 4, [&](uint8_t c) { return c >= dim; }))
        memcpy(next.show, initial_view.show, sizeof next.show);
    // A frame of another R^m means nothing to these shapes.
    if (view.framed && view.frame.dim != dim) {
        next.framed = false;
        next.tour.running = false;
    }
    set_view(&next);
    // New shapes take the choice now; a swap under way binds when it ends.
    bind_shapes(first > 0 && animate_index != 0 ? bound_shapes() : view.show);
}

ShowStatus show_data_surface(SurfaceData data)
{
    ShowStatus fits = __fits_surface(data.dim, false);
    if (fits != SHOW_DONE)
        return fits;
    Mesh* mesh = create_mesh(data);
    if (!mesh)
        return SHOW_NO_MESH;
    int source = __start_surface(false);
    int first = shape_count;
    add_mesh_shapes(mesh, source);
    __put_on_show_surface(data.dim, first, nullptr);
    return SHOW_DONE;
}

// Says why, and returns it.
static ShowStatus __refuse_surface(ShowReport* report, ShowStatus status)
{
    report->status = status;
    return status;
}

ShowStatus show_open_surface(
    const KleinFile* file, ShowReport* report, bool add, const char* path, bool normals)
{
    report->dim = file->dim;
    ShowStatus fits = __fits_surface(file->dim, add);
    if (fits != SHOW_DONE)
        return __refuse_surface(report, fits);
    // The arrays go from the page cache straight into the GPU's buffers:
    // no copy of our own, and no second one in memory while they upload.
    float *coords, *read_normals = nullptr;
    Mesh* mesh
        = create_mapped_mesh(file->dim, file->vertex_count, &coords, normals ? &read_normals : nullptr);
    if (!mesh)
        return __refuse_surface(report, SHOW_NO_MESH);
    ShowStatus status = SHOW_DONE;
    if (read_surface_klein(file, coords, read_normals, &report->klein))
        status = SHOW_UNREADABLE;
    else if (unmap_mesh(mesh) || (add && shape_count == max_shapes))
        status = SHOW_NO_MESH;
    if (status != SHOW_DONE) {
        destroy_mesh(mesh);
        return __refuse_surface(report, status);
    }
    int source = __start_surface(add);
    int first = shape_count;
    add_mesh_shapes(mesh, source);
    __put_on_show_surface(file->dim, first, path);
    return __refuse_surface(report, SHOW_DONE);
}

ShowStatus show_shapes_surface(ShapeData* data, int count, ShowReport* report, bool add, const char* path)
{
    ShowReport ignored;
    if (!report)
        report = &ignored;
    report->dim = count ? data[0].dim : 0;
    ShowStatus status = count == 0 ? SHOW_UNREADABLE : __fits_surface(report->dim, add);
    if (count == 0)
        report->fault = "it holds no vertex of a face, a line or a point";
    else if (status == SHOW_DONE && (add ? shape_count : 0) + count > max_shapes)
        status = SHOW_NO_MESH;
    if (status == SHOW_DONE) {
        int source = __start_surface(add);
        int first = shape_count;
        bool faces = false;
        for (int k = 0; k < count && status == SHOW_DONE; k++) {
            if (!add_shapes(&data[k], source))
                status = SHOW_NO_MESH;
            else if (data[k].kind == SHAPE_TRIANGLES)
                faces = true;
            else if (data[k].kind == SHAPE_LINES && faces) {
                shapes[shape_count - 1].ink = true;
                shapes[first].outlined = true;
            }
        }
        if (shape_count > first)
            __put_on_show_surface(report->dim, first, path);
    }
    return __refuse_surface(report, status);
}

// A Geomview file's shapes: triangles, lines, points.
static ShowStatus __show_oogl_surface(const char* path, ShowReport* report, bool add)
{
    ShapeData data[max_shapes_oogl];
    int count = 0;
    use_heap_room(HEAP_READING);
    const char* reason = read_shapes_oogl(path, data, &count);
    use_heap_room(HEAP_FRAMES);
    if (reason) {
        // Neither KLEIN nor OOGL: the KLEIN reader's word stands.
        if (reason != not_oogl)
            report->fault = reason;
        return __refuse_surface(report, SHOW_UNREADABLE);
    }
    ShowStatus status = show_shapes_surface(data, count, report, add, path);
    for (int k = 0; k < count; k++)
        free_shape(&data[k]);
    return status;
}

ShowStatus show_file_surface(const char* path, ShowReport* report, bool add, bool normals)
{
    ShowReport ignored;
    if (!report)
        report = &ignored;
    *report = {};
    KleinFile file;
    if (open_surface_klein(path, &file, &report->klein))
        return report->klein.status == KLEIN_NOT_KLEIN ? __show_oogl_surface(path, report, add)
                                                       : __refuse_surface(report, SHOW_UNREADABLE);
    ShowStatus status = show_open_surface(&file, report, add, path, normals);
    close_surface_klein(&file);
    return status;
}

void describe_surface(const ShowReport* report, char* text, size_t size)
{
    if (report->status == SHOW_TOO_FEW_COORDINATES)
        snprintf(text, size, "fewer than 4 coordinates");
    else if (report->status == SHOW_NO_MESH)
        snprintf(text, size, "too large for the GPU");
    else if (report->status == SHOW_OTHER_DIM)
        snprintf(text, size, "m = %d, not the m = %d of the shapes shown with it", report->dim, dim_shapes());
    else if (report->fault)
        snprintf(text, size, "%s", report->fault);
    else
        describe_klein(&report->klein, text, size);
}
