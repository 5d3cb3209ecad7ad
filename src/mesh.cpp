// Surfaces on the GPU. Showing other coordinates re-points attributes into
// the same buffers, so a new choice takes effect within a frame.
#include "mesh.h"

#include <cstdlib>

#include <epoxy/gl.h>

Projection projection = {nullptr, 0, 0, 1, 2, 3};

static uint32_t __buffer_mesh(const float* array, GLsizeiptr size)
{
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, size, array, GL_STATIC_DRAW);
    return buffer;
}

Mesh* create_mesh(SurfaceData data)
{
    uint32_t vertex_count = static_cast<uint32_t>(data.vertex_count);
    // glDrawArrays takes a signed count.
    if (vertex_count > INT32_MAX)
        return nullptr;
    Mesh* mesh = static_cast<Mesh*>(malloc(sizeof(Mesh)));
    if (!mesh)
        return nullptr;
    *mesh = {vertex_count, 0, 0, 0};

    // Errors left by earlier calls must not be taken for this upload's. A
    // lost context would report one for ever, hence the bound.
    for (int k = 0; k < 16 && glGetError() != GL_NO_ERROR; k++) { }

    glGenVertexArrays(1, &mesh->vertex_array);
    glBindVertexArray(mesh->vertex_array);
    GLsizeiptr size = static_cast<GLsizeiptr>(4 * static_cast<uint64_t>(data.dim) * vertex_count);
    mesh->coord_buffer = __buffer_mesh(data.coords, size);
    if (data.normals)
        mesh->normal_buffer = __buffer_mesh(data.normals, size);

    // Without normals, locations 4 to 7 read the constant values that
    // set_projection_mesh gives them.
    GLuint enabled = data.normals ? 8 : 4;
    for (GLuint location = 0; location < enabled; location++)
        glEnableVertexAttribArray(location);

    // A buffer that could not be allocated shows only as a GL error.
    if (glGetError() != GL_NO_ERROR) {
        destroy_mesh(mesh);
        return nullptr;
    }
    return mesh;
}

static void __attributes_mesh(GLuint first_location, Projection p)
{
    // One float per vertex and location; the stride is the whole vertex.
    GLsizei stride = 4 * p.dim;
    const uint8_t indices[4] = {p.x, p.y, p.z, p.w};
    for (GLuint k = 0; k < 4; k++) {
        const void* offset = reinterpret_cast<const void*>(static_cast<uintptr_t>(4 * indices[k]));
        glVertexAttribPointer(first_location + k, 1, GL_FLOAT, GL_FALSE, stride, offset);
    }
}

void set_projection_mesh(Projection p)
{
    glBindVertexArray(p.mesh->vertex_array);
    glBindBuffer(GL_ARRAY_BUFFER, p.mesh->coord_buffer);
    __attributes_mesh(0, p);
    if (p.mesh->normal_buffer) {
        glBindBuffer(GL_ARRAY_BUFFER, p.mesh->normal_buffer);
        __attributes_mesh(4, p);
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

static void __draw_mesh(unsigned int program, const Mesh* mesh, GLenum mode)
{
    glUseProgram(program);
    glBindVertexArray(mesh->vertex_array);
    glPolygonMode(GL_FRONT_AND_BACK, mode);
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(mesh->vertex_count));
}

void draw_mesh(unsigned int program, const Mesh* mesh)
{
    __draw_mesh(program, mesh, GL_FILL);
}

void draw_mesh_lines(unsigned int program, const Mesh* mesh)
{
    __draw_mesh(program, mesh, GL_LINE);
}

void destroy_mesh(Mesh* mesh)
{
    if (!mesh)
        return;
    glDeleteVertexArrays(1, &mesh->vertex_array);
    glDeleteBuffers(1, &mesh->coord_buffer);
    glDeleteBuffers(1, &mesh->normal_buffer);
    free(mesh);
}
