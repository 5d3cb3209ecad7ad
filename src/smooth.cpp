// Smooth light: the search for the tangent planes of the mesh on show, one
// at a time, and its result handed to the mesh.
#include "smooth.h"

#include <cstdio>
#include <cstdlib>

#include "mesh.h"
#include "tangents.h"

namespace {

// The mesh searched, or the last one found or refused.
uint32_t serial = 0;
bool refused = false;
// The coordinates read back for the search, when they are not the mesh's own.
const float* copy = nullptr;

} // namespace

static void __let_go_smooth()
{
    free(const_cast<float*>(copy));
    copy = nullptr;
}

bool ready_smooth(bool wait)
{
    Mesh* mesh = projection.mesh;
    if (!mesh)
        return false;
    if (mesh->tangent_buffer)
        return true;
    if (mesh->serial != serial) {
        // Another mesh is on show; a search for one gone was stopped with it.
        __let_go_smooth();
        serial = mesh->serial;
        refused = false;
        bool copied = false;
        const float* coords = coordinates_mesh(mesh, projection.dim, &copied);
        uint16_t* halves = coords ? reserve_tangents_mesh(mesh, projection.dim) : nullptr;
        if (copied)
            copy = coords;
        if (!halves) {
            refused = true;
            __let_go_smooth();
            fprintf(stderr, "plexorama: smooth light: out of memory for the tangent planes: drawing flat\n");
            return false;
        }
        start_tangents(coords, projection.dim, mesh->vertex_count, halves, serial);
        // The frame that starts the search draws flat, where it may not wait:
        // without threads the search runs at the next frame's call.
        if (!wait)
            return false;
    }
    if (refused)
        return false;
    int state = done_tangents(serial, wait);
    if (state == 0 || state < 0)
        return false;
    __let_go_smooth();
    if (state == 2 || attach_tangents_mesh(mesh, projection.dim)) {
        refused = true;
        fprintf(stderr, "plexorama: smooth light: cannot find or keep the tangent planes: drawing flat\n");
        return false;
    }
    return true;
}
