// Surfaces on the GPU. Showing other coordinates re-points attributes into
// the same buffers, so a new choice takes effect within a frame.
#include "draw/mesh.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "draw/context.h"
#include "draw/glsl.h"
#include "draw/platform.h"
#include "core/room.h"
#include "core/tangents.h"

int pinned_memory_mesh = -1;

static uint32_t __buffer_mesh(const float* array, GLsizeiptr size)
{
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, size, array, GL_STATIC_DRAW);
    return buffer;
}

// A record with its vertex array bound, or none.
static Mesh* __start_mesh(uint8_t dim, uint64_t vertex_count)
{
    // glDrawArrays takes a signed count.
    uint32_t count = static_cast<uint32_t>(vertex_count);
    if (count > INT32_MAX)
        return nullptr;
    Mesh* mesh = static_cast<Mesh*>(malloc(sizeof(Mesh)));
    if (!mesh)
        return nullptr;
    static uint32_t made = 0;
    *mesh = {};
    mesh->vertex_count = count;
    mesh->dim = dim;
    mesh->serial = ++made;
    drop_errors_context();
    glGenVertexArrays(1, &mesh->vertex_array);
    glBindVertexArray(mesh->vertex_array);
    return mesh;
}

// Where GL draws no triangles as lines, the wireframe is drawn from a list of
// the three edges of each triangle, bound to the mesh's vertex array. The
// list depends only on the count; it is written a part at a time. Returns
// none when its size is past what a buffer's size (32 bits here) can say.
static uint32_t __edges_mesh(uint32_t vertex_count)
{
    static uint32_t part[6 * 4096];
    uint32_t triangles = vertex_count / 3;
    if (24 * static_cast<uint64_t>(triangles) > INT32_MAX)
        return 0;
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr {24} * triangles, nullptr, GL_STATIC_DRAW);
    for (uint32_t first = 0; first < triangles; first += 4096) {
        uint32_t count = triangles - first < 4096 ? triangles - first : 4096;
        for (uint32_t t = 0; t < count; t++) {
            uint32_t a = 3 * (first + t);
            uint32_t edges[6] = {a, a + 1, a + 1, a + 2, a + 2, a};
            memcpy(&part[6 * t], edges, sizeof edges);
        }
        glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, GLintptr {24} * first, GLsizeiptr {24} * count, part);
    }
    return buffer;
}

// Without normals, locations 4 to 7 read the constant values that
// bind_mesh gives them. A buffer that could not be allocated
// shows only as a GL error.
static Mesh* __finish_mesh(Mesh* mesh, bool normals)
{
    GLuint enabled = normals ? 8 : 4;
    for (GLuint location = 0; location < enabled; location++)
        glEnableVertexAttribArray(location);
    if (!has_polygon_mode_platform && !(mesh->edge_buffer = __edges_mesh(mesh->vertex_count))) {
        destroy_mesh(mesh);
        return nullptr;
    }
    if (glGetError() != GL_NO_ERROR) {
        destroy_mesh(mesh);
        return nullptr;
    }
    return mesh;
}

static GLsizeiptr __size_mesh(uint8_t dim, uint32_t vertex_count)
{
    return static_cast<GLsizeiptr>(4 * static_cast<uint64_t>(dim) * vertex_count);
}

Mesh* create_mesh(SurfaceData data)
{
    Mesh* mesh = __start_mesh(data.dim, data.vertex_count);
    if (!mesh)
        return nullptr;
    GLsizeiptr size = __size_mesh(data.dim, mesh->vertex_count);
    mesh->coord_buffer = __buffer_mesh(data.coords, size);
    if (data.normals)
        mesh->normal_buffer = __buffer_mesh(data.normals, size);
    return __finish_mesh(mesh, data.normals);
}

// Storage without contents, mapped for writing. GL refuses to map nothing,
// so an empty buffer gets an address that is never written through.
static float* __map_mesh(uint32_t buffer, GLsizeiptr size)
{
    static float nothing;
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, size, nullptr, GL_STATIC_DRAW);
    if (size == 0)
        return &nothing;
    return static_cast<float*>(map_buffer_platform(GL_ARRAY_BUFFER, size));
}

// Bytes from the first array's start to the second's: whole pages, at
// least one, so that both arrays start on a page.
static uint64_t __stride_mesh(uint64_t array_bytes)
{
    uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    return array_bytes ? (array_bytes + page - 1) / page * page : page;
}

// The bytes of the block that holds a mesh's arrays in memory of ours.
static uint64_t __block_mesh(const Mesh* mesh)
{
    return (mesh->normal_buffer ? 2 : 1) * __stride_mesh(mesh->array_bytes);
}

// The arrays in one block of memory, each starting on a page. A driver
// that zero-fills new buffers faults in and clears every page on the main
// thread; fresh pages here are faulted in by the reads that fill them,
// which can run side by side, 2 MiB at a time where the block is large.
// Returns where the normals start, or would.
static float* __pin_mesh(Mesh* mesh, GLsizeiptr size)
{
    mesh->array_bytes = static_cast<uint64_t>(size);
    void* memory = take_room(__block_mesh(mesh));
    if (!memory)
        return nullptr;
    mesh->memory = static_cast<float*>(memory);
    return mesh->memory + __stride_mesh(mesh->array_bytes) / sizeof(float);
}

Mesh* create_mapped_mesh(uint8_t dim, uint64_t vertex_count, float** coords, float** normals)
{
    // Without mapping, the arrays always go into memory of ours, which
    // glBufferData copies.
    if (!has_buffer_mapping_platform)
        pinned_memory_mesh = 1;
    else if (pinned_memory_mesh < 0)
        pinned_memory_mesh = has_gl_extension_platform("GL_AMD_pinned_memory");
    Mesh* mesh = __start_mesh(dim, vertex_count);
    if (!mesh)
        return nullptr;
    GLsizeiptr size = __size_mesh(dim, mesh->vertex_count);
    GLuint buffers[2] = {};
    glGenBuffers(normals ? 2 : 1, buffers);
    mesh->coord_buffer = buffers[0];
    mesh->normal_buffer = buffers[1];
    if (pinned_memory_mesh) {
        float* second = __pin_mesh(mesh, size);
        *coords = mesh->memory;
        if (normals)
            *normals = second;
    } else {
        *coords = __map_mesh(mesh->coord_buffer, size);
        if (normals)
            *normals = __map_mesh(mesh->normal_buffer, size);
    }
    mesh = __finish_mesh(mesh, normals);
    // A failed map raises an error that __finish_mesh takes; one that
    // raised none still fails here.
    if (mesh && (!*coords || (normals && !*normals))) {
        destroy_mesh(mesh);
        return nullptr;
    }
    return mesh;
}

// 2D textures of both arrays; none where they would be larger than GL takes.
static void __image_textures_mesh(Mesh* mesh, const float* const* arrays)
{
    uint64_t floats = static_cast<uint64_t>(mesh->dim) * mesh->vertex_count;
    int count = mesh->normal_buffer ? 2 : 1;
    for (int k = 0; k < count; k++)
        mesh->textures[k] = image_texture_mesh(arrays[k], floats);
    if (!mesh->textures[0] || (count == 2 && !mesh->textures[1])) {
        glDeleteTextures(2, mesh->textures);
        mesh->textures[0] = mesh->textures[1] = 0;
    }
}

// The driver reads the memory from now on; GL refuses to take none, and an
// empty buffer needs no storage.
static int __hand_pinned_mesh(Mesh* mesh)
{
    GLenum target = has_buffer_mapping_platform && mesh->array_bytes ? GL_EXTERNAL_VIRTUAL_MEMORY_BUFFER_AMD
                                                                     : GL_ARRAY_BUFFER;
    GLsizeiptr size = static_cast<GLsizeiptr>(mesh->array_bytes);
    const float* arrays[2] = {mesh->memory, mesh->memory + __stride_mesh(mesh->array_bytes) / sizeof(float)};
    const GLuint buffers[2] = {mesh->coord_buffer, mesh->normal_buffer};
    for (int k = 0; k < (mesh->normal_buffer ? 2 : 1); k++) {
        glBindBuffer(target, buffers[k]);
        glBufferData(target, size, size ? arrays[k] : nullptr, GL_STATIC_DRAW);
    }
    glBindBuffer(target, 0);
    // Without buffer textures, frames of R^m past what attributes take fetch
    // from 2D textures, which can be made only now; without mapping, GL has
    // taken its copy.
    if (!has_buffer_textures_platform && locations_glsl(mesh->dim) > most_columns_glsl)
        __image_textures_mesh(mesh, arrays);
    if (!has_buffer_mapping_platform) {
        give_room(mesh->memory, __block_mesh(mesh));
        mesh->memory = nullptr;
    }
    return glGetError() != GL_NO_ERROR;
}

int unmap_mesh(Mesh* mesh)
{
    if (mesh->memory)
        return __hand_pinned_mesh(mesh);
    int lost = 0;
    for (GLuint buffer : {mesh->coord_buffer, mesh->normal_buffer}) {
        if (!buffer)
            continue;
        GLint mapped = GL_FALSE;
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_MAPPED, &mapped);
        if (mapped && !unmap_buffer_platform(GL_ARRAY_BUFFER))
            lost = 1;
    }
    return lost;
}

static void __attributes_mesh(GLuint first_location, uint8_t dim, const uint8_t show[4])
{
    // One float per vertex and location; the stride is the whole vertex.
    GLsizei stride = 4 * dim;
    for (GLuint k = 0; k < 4; k++) {
        const void* offset = reinterpret_cast<const void*>(static_cast<uintptr_t>(4 * show[k]));
        glVertexAttribPointer(first_location + k, 1, GL_FLOAT, GL_FALSE, stride, offset);
    }
}

// The vertex's point, whose plane the stage fetches.
static void __point_attribute_mesh(const Mesh* mesh)
{
    glBindBuffer(GL_ARRAY_BUFFER, mesh->point_buffer);
    glVertexAttribIPointer(point_location_glsl, 1, GL_UNSIGNED_INT, 4, nullptr);
}

// Enables the attribute arrays of the locations in mask and disables the
// rest: where another layout had them otherwise.
static void __enable_mesh(uint32_t mask)
{
    for (GLuint location = 0; location < 16; location++) {
        if (mask >> location & 1u)
            glEnableVertexAttribArray(location);
        else
            glDisableVertexAttribArray(location);
    }
}

void bind_mesh(Mesh* mesh, const uint8_t show[4])
{
    glBindVertexArray(mesh->vertex_array);
    if (mesh->layout == LAYOUT_COLUMNS)
        __enable_mesh(0xfu | (mesh->normal_buffer ? 0xf0u : 0u) | (mesh->point_buffer ? 1u << point_location_glsl : 0u));
    mesh->layout = LAYOUT_BOUND;
    glBindBuffer(GL_ARRAY_BUFFER, mesh->coord_buffer);
    __attributes_mesh(0, mesh->dim, show);
    memcpy(mesh->bound, show, sizeof mesh->bound);
    if (mesh->point_buffer)
        __point_attribute_mesh(mesh);
    if (mesh->normal_buffer) {
        glBindBuffer(GL_ARRAY_BUFFER, mesh->normal_buffer);
        __attributes_mesh(4, mesh->dim, show);
    } else {
        // A unit normal along z: finite, so the lighting stays defined.
        // Constant attribute values belong to the context, not the vertex
        // array, so they are set at every binding.
        glVertexAttrib1f(4, 0.0f);
        glVertexAttrib1f(5, 0.0f);
        glVertexAttrib1f(6, 1.0f);
        glVertexAttrib1f(7, 0.0f);
    }
}

// llvmpipe sends triangles drawn as lines, or cut by clip planes, through a
// pipeline which, each time its small buffer of vertices fills, marks every
// vertex of the draw's batch of thousands as not yet sent; the more values a
// vertex carries (colour by w adds one), the more often it fills. In ranges
// of 64 triangles, a vertex is marked once or twice.
static bool ranges = false;

void set_ranges_mesh(bool on)
{
    ranges = on;
}

// Triangles from first to last, at once or in ranges, 4096 ranges a call.
static void __triangles_mesh(uint64_t first, uint64_t last)
{
    constexpr uint64_t part = 3 * 64;
    constexpr GLsizei parts = 4096;
    static GLint firsts[parts];
    static GLsizei counts[parts];
    if (!has_multi_draw_platform || !ranges) {
        glDrawArrays(GL_TRIANGLES, static_cast<GLint>(first), static_cast<GLsizei>(last - first));
        return;
    }
    while (first < last) {
        GLsizei draws = 0;
        for (; draws < parts && first < last; draws++, first += part) {
            firsts[draws] = static_cast<GLint>(first);
            counts[draws] = static_cast<GLsizei>(last - first < part ? last - first : part);
        }
        multi_draw_arrays_platform(GL_TRIANGLES, firsts, counts, draws);
    }
}

void draw_mesh(unsigned int program, const Mesh* mesh)
{
    draw_part_mesh(program, mesh, 0, mesh->vertex_count);
}

void draw_part_mesh(unsigned int program, const Mesh* mesh, uint32_t first, uint32_t count)
{
    glUseProgram(program);
    glBindVertexArray(mesh->vertex_array);
    polygon_mode_platform(GL_FILL);
    __triangles_mesh(first, uint64_t {first} + count);
}

void draw_mesh_lines(unsigned int program, const Mesh* mesh)
{
    glUseProgram(program);
    glBindVertexArray(mesh->vertex_array);
    // Where GL has polygon modes, the triangles are drawn as lines, though
    // llvmpipe draws the edge list faster: line mode outlines a triangle as
    // the slice and the 4-D eye cut it, and llvmpipe lets the filled
    // triangles' polygon offset move its lines too, which it never does to
    // the edge list's: without it, lines near a fan's centre sink into the
    // surface.
    if (has_polygon_mode_platform) {
        polygon_mode_platform(GL_LINE);
        __triangles_mesh(0, mesh->vertex_count);
        return;
    }
    // GL offsets only filled polygons, but WebGL on Vulkan (ANGLE with
    // SwiftShader, at least) offsets lines by as much, which sinks them
    // back into the surface; so they are drawn with the offset off, and
    // it is left as it was.
    GLboolean offset = glIsEnabled(GL_POLYGON_OFFSET_FILL);
    glDisable(GL_POLYGON_OFFSET_FILL);
    glDrawElements(GL_LINES, static_cast<GLsizei>(mesh->vertex_count / 3 * 6), GL_UNSIGNED_INT, nullptr);
    if (offset)
        glEnable(GL_POLYGON_OFFSET_FILL);
}

const float* read_mesh(const Mesh* mesh, int array, uint64_t first, uint64_t count, float* part)
{
    uint64_t stride = mesh->dim * sizeof(float);
    if (mesh->memory)
        return mesh->memory + (array ? __stride_mesh(mesh->array_bytes) / sizeof(float) : 0)
            + first * mesh->dim;
    glBindBuffer(GL_ARRAY_BUFFER, array ? mesh->normal_buffer : mesh->coord_buffer);
    glGetBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(first * stride),
        static_cast<GLsizeiptr>(count * stride), part);
    return part;
}

void bind_columns_mesh(Mesh* mesh)
{
    const int dim = mesh->dim, count = locations_glsl(dim) / 2;
    glBindVertexArray(mesh->vertex_array);
    const GLuint buffers[2] = {mesh->coord_buffer, mesh->normal_buffer};
    uint32_t enabled = 0;
    for (int array = 0; array < 2; array++) {
        if (!buffers[array])
            continue;
        glBindBuffer(GL_ARRAY_BUFFER, buffers[array]);
        for (int j = 0; j < count; j++) {
            const void* offset = reinterpret_cast<const void*>(uintptr_t {16} * j);
            glVertexAttribPointer(static_cast<GLuint>(array * count + j), dim - 4 * j < 4 ? dim - 4 * j : 4,
                GL_FLOAT, GL_FALSE, 4 * dim, offset);
        }
        enabled |= ((1u << count) - 1u) << (array * count);
    }
    if (mesh->point_buffer) {
        __point_attribute_mesh(mesh);
        enabled |= 1u << point_location_glsl;
    }
    __enable_mesh(enabled);
    mesh->layout = LAYOUT_COLUMNS;
}

void bind_tangents_mesh(Mesh* mesh)
{
    glBindVertexArray(mesh->vertex_array);
    glEnableVertexAttribArray(point_location_glsl);
    __point_attribute_mesh(mesh);
}

void destroy_mesh(Mesh* mesh)
{
    if (!mesh)
        return;
    // A search for its tangent planes may still read it.
    stop_tangents(mesh->serial);
    glDeleteVertexArrays(1, &mesh->vertex_array);
    glDeleteBuffers(1, &mesh->coord_buffer);
    glDeleteBuffers(1, &mesh->normal_buffer);
    if (mesh->edge_buffer)
        glDeleteBuffers(1, &mesh->edge_buffer);
    if (mesh->textures[0])
        glDeleteTextures(2, mesh->textures);
    if (mesh->stream_buffer)
        glDeleteBuffers(1, &mesh->stream_buffer);
    if (mesh->tangent_texture)
        glDeleteTextures(1, &mesh->tangent_texture);
    if (mesh->paint_texture)
        glDeleteTextures(1, &mesh->paint_texture);
    if (mesh->tangent_buffer)
        glDeleteBuffers(1, &mesh->tangent_buffer);
    if (mesh->point_buffer)
        glDeleteBuffers(1, &mesh->point_buffer);
    if (mesh->memory || mesh->tangent_memory || mesh->point_memory) {
        // Draws queued before may still read the memory.
        glFinish();
        give_room(mesh->memory, __block_mesh(mesh));
        give_room(mesh->tangent_memory, 4 * uint64_t {mesh->dim} * mesh->plane_count);
        give_room(mesh->point_memory, 4 * uint64_t {mesh->vertex_count});
    }
    free(mesh);
}
