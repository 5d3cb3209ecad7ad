// Frames of R^m worked out on the CPU, a chunk of vertices at a time.
#include "draw/stream.h"

#include <cstdlib>
#include <cstring>

#include "draw/platform.h"

int frame_stream(Mesh* mesh, const Frame* frame)
{
    const int m = mesh->dim;
    uint64_t count = mesh->vertex_count;
    float* part = mesh->memory ? nullptr : static_cast<float*>(malloc(chunk_mesh * m * sizeof(float)));
    float* shown = static_cast<float*>(malloc(chunk_mesh * 8 * sizeof(float)));
    if ((!mesh->memory && !part) || !shown) {
        free(part);
        free(shown);
        return 0;
    }
    if (!mesh->stream_buffer) {
        glGenBuffers(1, &mesh->stream_buffer);
        glBindBuffer(GL_ARRAY_BUFFER, mesh->stream_buffer);
        glBufferData(
            GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(count * 8 * sizeof(float)), nullptr, GL_DYNAMIC_DRAW);
    }
    for (uint64_t first = 0; first < count; first += chunk_mesh) {
        uint64_t n = count - first < chunk_mesh ? count - first : chunk_mesh;
        // Positions, then normals, of each vertex: eight floats.
        for (int array = 0; array < 2; array++) {
            // A mesh without normals is lit by its shape: its normals are 0.
            if (array == 1 && !mesh->normal_buffer) {
                for (uint64_t v = 0; v < n; v++)
                    memset(&shown[8 * v + 4], 0, 4 * sizeof(float));
                continue;
            }
            const float* c = read_mesh(mesh, array, first, n, part);
            for (uint64_t v = 0; v < n; v++)
                for (int i = 0; i < 4; i++) {
                    double sum = 0.0;
                    for (int k = 0; k < m; k++)
                        sum += static_cast<double>(frame->rows[i][k]) * c[v * m + k];
                    shown[8 * v + 4 * array + i] = static_cast<float>(sum);
                }
        }
        glBindBuffer(GL_ARRAY_BUFFER, mesh->stream_buffer);
        glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(first * 8 * sizeof(float)),
            static_cast<GLsizeiptr>(n * 8 * sizeof(float)), shown);
    }
    free(part);
    free(shown);
    glBindVertexArray(mesh->vertex_array);
    glBindBuffer(GL_ARRAY_BUFFER, mesh->stream_buffer);
    for (GLuint location = 0; location < 8; location++) {
        const void* offset = reinterpret_cast<const void*>(static_cast<uintptr_t>(4 * location));
        glVertexAttribPointer(location, 1, GL_FLOAT, GL_FALSE, 8 * sizeof(float), offset);
    }
    mesh->layout = LAYOUT_STREAM;
    return 1;
}

void drop_stream(Mesh* mesh)
{
    if (mesh->stream_buffer)
        glDeleteBuffers(1, &mesh->stream_buffer);
    mesh->stream_buffer = 0;
}
