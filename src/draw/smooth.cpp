// Smooth light: the search for the tangent planes of meshes on show, one at
// a time, and its result handed to GL as the mesh's tangent buffer.
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

// Memory for the planes, 2 dim half floats a vertex, in whole pages, which
// GL can take as they are where it takes memory of ours.
static uint16_t* __reserve_smooth(Mesh* mesh)
{
    mesh->tangent_memory = static_cast<uint16_t*>(take_room(4 * uint64_t {mesh->dim} * mesh->vertex_count));
    return mesh->tangent_memory;
}

// Hands the planes written to GL and binds them. Returns 0, or 1 when the
// driver refused them.
static int __attach_smooth(Mesh* mesh)
{
    drop_errors_context();
    GLsizeiptr size = static_cast<GLsizeiptr>(4 * static_cast<uint64_t>(mesh->dim) * mesh->vertex_count);
    bool pinned = has_buffer_mapping_platform && pinned_memory_mesh == 1 && size > 0;
    GLenum target = pinned ? GL_EXTERNAL_VIRTUAL_MEMORY_BUFFER_AMD : GL_ARRAY_BUFFER;
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(target, buffer);
    glBufferData(target, size, mesh->tangent_memory, GL_STATIC_DRAW);
    glBindBuffer(target, 0);
    // Where GL took a copy, ours is let go.
    if (!pinned) {
        give_room(mesh->tangent_memory, 4 * uint64_t {mesh->dim} * mesh->vertex_count);
        mesh->tangent_memory = nullptr;
    }
    if (glGetError() != GL_NO_ERROR) {
        glDeleteBuffers(1, &buffer);
        return 1;
    }
    mesh->tangent_buffer = buffer;
    bind_tangents_mesh(mesh);
    return 0;
}

bool ready_smooth(Mesh* mesh, bool wait)
{
    if (mesh->tangent_buffer)
        return true;
    if (mesh->serial != serial) {
        // Another mesh is on show; a search for one gone was stopped with it.
        __let_go_smooth();
        serial = mesh->serial;
        refused = false;
        bool copied = false;
        const float* coords = __coordinates_smooth(mesh, &copied);
        uint16_t* halves = coords ? __reserve_smooth(mesh) : nullptr;
        if (copied)
            copy = coords;
        if (!halves) {
            refused = true;
            __let_go_smooth();
            fprintf(stderr, "plexorama: smooth light: out of memory for the tangent planes: drawing flat\n");
            return false;
        }
        start_tangents(coords, mesh->dim, mesh->vertex_count, halves, serial);
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
    if (state == 2 || __attach_smooth(mesh)) {
        refused = true;
        fprintf(stderr, "plexorama: smooth light: cannot find or keep the tangent planes: drawing flat\n");
        return false;
    }
    return true;
}

int texture_smooth(Mesh* mesh)
{
    if (mesh->tangent_texture || !mesh->tangent_buffer || !has_buffer_textures_platform)
        return mesh->tangent_texture != 0;
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_BUFFER_SIZE, &largest);
    if (2 * static_cast<uint64_t>(mesh->dim) * mesh->vertex_count > static_cast<uint64_t>(largest))
        return 0;
    drop_errors_context();
    glGenTextures(1, &mesh->tangent_texture);
    glBindTexture(GL_TEXTURE_BUFFER, mesh->tangent_texture);
    buffer_texture_platform(GL_R16F, mesh->tangent_buffer);
    glBindTexture(GL_TEXTURE_BUFFER, 0);
    if (glGetError() != GL_NO_ERROR) {
        glDeleteTextures(1, &mesh->tangent_texture);
        mesh->tangent_texture = 0;
    }
    return mesh->tangent_texture != 0;
}
