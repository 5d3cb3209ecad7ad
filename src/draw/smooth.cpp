// Smooth light: the search for the tangent planes of meshes on show, one at
// a time, and its result handed to GL: each vertex's point in the mesh's
// point buffer, and the points' planes in a texture the vertex stage
// fetches from.
#include "draw/smooth.h"

#include <cstdio>
#include <cstdlib>

#include "draw/context.h"
#include "draw/mesh.h"
#include "draw/platform.h"
#include "core/room.h"
#include "core/tangents.h"

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

// The mesh's coordinates in memory of ours, read back from the GPU unless
// they live there already (*copied says which); none when they cannot be had.
static const float* __coordinates_smooth(const Mesh* mesh, bool* copied)
{
    *copied = !mesh->memory;
    if (mesh->memory)
        return mesh->memory;
    size_t bytes = 4 * static_cast<size_t>(mesh->dim) * mesh->vertex_count;
    float* read = static_cast<float*>(malloc(bytes + 1));
    if (!read)
        return nullptr;
    glBindBuffer(GL_ARRAY_BUFFER, mesh->coord_buffer);
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(bytes), read);
    return read;
}

// Whether GL takes memory of ours as buffer storage as it is.
static bool __pinned_smooth()
{
    return has_buffer_mapping_platform && pinned_memory_mesh == 1;
}

// A GL buffer of bytes at *memory, from take_room. Where GL takes it as it
// is, it stays ours until the mesh goes; where GL takes a copy, ours is let
// go. 0 when the driver refuses it.
static GLuint __buffer_smooth(void** memory, uint64_t bytes)
{
    bool pinned = __pinned_smooth() && bytes > 0;
    GLenum target = pinned ? GL_EXTERNAL_VIRTUAL_MEMORY_BUFFER_AMD : GL_ARRAY_BUFFER;
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(target, buffer);
    glBufferData(target, static_cast<GLsizeiptr>(bytes), *memory, GL_STATIC_DRAW);
    glBindBuffer(target, 0);
    if (!pinned) {
        give_room(*memory, bytes);
        *memory = nullptr;
    }
    if (glGetError() == GL_NO_ERROR)
        return buffer;
    glDeleteBuffers(1, &buffer);
    return 0;
}

// Hands the points and the planes found to GL, and binds them. Returns 0,
// or 1 when the driver refused them.
static int __attach_smooth(Mesh* mesh)
{
    drop_errors_context();
    uint64_t bytes = 4 * uint64_t {mesh->dim} * mesh->plane_count;
    if (has_buffer_textures_platform) {
        void* planes = mesh->tangent_memory;
        mesh->tangent_buffer = __buffer_smooth(&planes, bytes);
        mesh->tangent_memory = static_cast<uint16_t*>(planes);
        mesh->tangent_texture
            = mesh->tangent_buffer ? buffer_texture_mesh(mesh->tangent_buffer, GL_R16F, bytes / 2) : 0;
    } else {
        // Fetched from a 2D texture, which takes a copy.
        mesh->tangent_texture = image_texture_mesh(mesh->tangent_memory, bytes / 2, true);
        give_room(mesh->tangent_memory, bytes);
        mesh->tangent_memory = nullptr;
    }
    void* points = mesh->point_memory;
    GLuint point_buffer = __buffer_smooth(&points, 4 * uint64_t {mesh->vertex_count});
    mesh->point_memory = static_cast<uint32_t*>(points);
    if (!mesh->tangent_texture || !point_buffer || glGetError() != GL_NO_ERROR) {
        glDeleteBuffers(1, &point_buffer);
        return 1;
    }
    mesh->point_buffer = point_buffer;
    bind_tangents_mesh(mesh);
    return 0;
}

// Puts the planes found in the mesh and hands them to GL, unless the
// search failed; refuses the mesh, saying so, when either fails.
static Smoothness __keep_smooth(Mesh* mesh, Planes planes, bool found)
{
    mesh->tangent_memory = planes.halves;
    mesh->plane_count = planes.count;
    if (found && !__attach_smooth(mesh))
        return SMOOTH_READY;
    refused = true;
    fprintf(stderr, "plexorama: smooth light: cannot find or keep the tangent planes: drawing flat\n");
    return SMOOTH_REFUSED;
}

Smoothness ready_smooth(Mesh* mesh, bool wait)
{
    if (mesh->point_buffer)
        return SMOOTH_READY;
    if (mesh->serial != serial) {
        // Another mesh is on show; a search for one gone was stopped with it.
        __let_go_smooth();
        serial = mesh->serial;
        refused = false;
        bool copied = false;
        const float* coords = __coordinates_smooth(mesh, &copied);
        if (coords && !mesh->point_memory)
            mesh->point_memory = static_cast<uint32_t*>(take_room(4 * uint64_t {mesh->vertex_count}));
        if (copied)
            copy = coords;
        if (!coords || !mesh->point_memory) {
            refused = true;
            __let_go_smooth();
            fprintf(stderr, "plexorama: smooth light: out of memory for the tangent planes: drawing flat\n");
            return SMOOTH_REFUSED;
        }
        start_tangents(coords, mesh->dim, mesh->vertex_count, mesh->point_memory, serial);
        // The frame that starts the search draws flat, where it may not wait:
        // without threads the search runs at the next frame's call.
        if (!wait)
            return SMOOTH_SEARCHING;
    }
    if (refused)
        return SMOOTH_REFUSED;
    Planes planes = {nullptr, 0};
    // Where GL reads our memory as it is, a picture draws the planes as
    // they come, and waits only for those of the part it draws.
    if (wait && __pinned_smooth() && has_buffer_textures_platform && !copy)
        early_tangents(serial, &planes);
    if (planes.halves) {
        Smoothness kept = __keep_smooth(mesh, planes, true);
        // The search writes into the planes until it is stopped.
        if (kept == SMOOTH_REFUSED)
            stop_tangents(serial);
        return kept;
    }
    int state = done_tangents(serial, wait, &planes);
    if (state == 0 || state < 0)
        return SMOOTH_SEARCHING;
    __let_go_smooth();
    return __keep_smooth(mesh, planes, state == 1);
}

void draw_smooth(unsigned int program, const Mesh* mesh)
{
    // Parts of some 10^5 vertices: few enough that the driver's own time a
    // draw call is small, small enough that the drawing follows the search
    // closely.
    const uint64_t part = 3 << 15;
    uint32_t drawn = 0, n = mesh->vertex_count;
    while (drawn < n) {
        uint64_t ready = wait_tangents(mesh->serial, drawn + part < n ? drawn + part : n);
        uint32_t to = ready >= n ? n : static_cast<uint32_t>(ready / 3 * 3);
        draw_part_mesh(program, mesh, drawn, to - drawn);
        drawn = to;
    }
}
