// Lines and points on the GPU: a segment an instance of four vertices, a
// point a GL point. Instances cost the software rasterisers that run the
// page and the tests a pass through their pipeline each, a point's few
// pixels no more than one vertex.
#include "draw/strokes.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "draw/context.h"
#include "draw/mesh.h"
#include "draw/platform.h"
#include "draw/shader.h"

static uint32_t __buffer_strokes(const void* array, uint64_t size)
{
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(size), array, GL_STATIC_DRAW);
    return buffer;
}

Strokes* create_strokes(const ShapeData* data)
{
    // glDrawArraysInstanced takes a signed count, and a buffer's size is
    // signed too.
    if (data->vertex_count > INT32_MAX || data->dim < 4
        || 4 * static_cast<uint64_t>(data->dim) * data->vertex_count > INT32_MAX)
        return nullptr;
    Strokes* strokes = static_cast<Strokes*>(malloc(sizeof(Strokes)));
    if (!strokes)
        return nullptr;
    *strokes = {};
    strokes->kind = data->kind;
    strokes->vertex_count = static_cast<uint32_t>(data->vertex_count);
    strokes->dim = data->dim;
    drop_errors_context();
    glGenVertexArrays(1, &strokes->vertex_array);
    glBindVertexArray(strokes->vertex_array);
    uint64_t n = data->vertex_count;
    strokes->coord_buffer = __buffer_strokes(data->coords, 4 * data->dim * n);
    // Each vertex's colour and joint go with its segment's instance, or its point.
    GLuint divisor = data->kind == SHAPE_LINES ? 1 : 0;
    if (data->colors) {
        strokes->color_buffer = __buffer_strokes(data->colors, 4 * n);
        glVertexAttribPointer(8, 4, GL_UNSIGNED_BYTE, GL_TRUE, 0, nullptr);
        glVertexAttribDivisor(8, divisor);
        glEnableVertexAttribArray(8);
    }
    if (data->kind == SHAPE_LINES) {
        strokes->join_buffer = __buffer_strokes(data->joins, n);
        glVertexAttribPointer(9, 1, GL_UNSIGNED_BYTE, GL_FALSE, 0, nullptr);
        glVertexAttribDivisor(9, 1);
        glEnableVertexAttribArray(9);
    }
    for (GLuint location = 0; location < (data->kind == SHAPE_LINES ? 8u : 4u); location++) {
        glVertexAttribDivisor(location, divisor);
        glEnableVertexAttribArray(location);
    }
    // Without buffer textures, frames of R^m fetch from a 2D texture, made
    // while the coordinates are at hand.
    if (!has_buffer_textures_platform && data->dim > 4)
        strokes->texture = image_texture_mesh(data->coords, static_cast<uint64_t>(data->dim) * n);
    const uint8_t first[4] = {0, 1, 2, 3};
    bind_strokes(strokes, first);
    if (glGetError() != GL_NO_ERROR) {
        destroy_strokes(strokes);
        return nullptr;
    }
    return strokes;
}

// Points the attributes of the bound coordinates at vertex first on, and a
// line's colours and joins with them.
static void __point_strokes(const Strokes* strokes, uint64_t first)
{
    glBindBuffer(GL_ARRAY_BUFFER, strokes->coord_buffer);
    // One float a location; the stride is the whole vertex, and the next
    // vertex starts one stride on.
    GLsizei stride = 4 * strokes->dim;
    for (GLuint end = 0; end < (strokes->kind == SHAPE_LINES ? 2u : 1u); end++)
        for (GLuint k = 0; k < 4; k++) {
            uintptr_t offset = 4u * strokes->bound[k] + (first + end) * static_cast<uintptr_t>(stride);
            glVertexAttribPointer(4 * end + k, 1, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(offset));
        }
    if (strokes->kind != SHAPE_LINES)
        return;
    if (strokes->color_buffer) {
        glBindBuffer(GL_ARRAY_BUFFER, strokes->color_buffer);
        glVertexAttribPointer(8, 4, GL_UNSIGNED_BYTE, GL_TRUE, 0, reinterpret_cast<const void*>(4 * first));
    }
    glBindBuffer(GL_ARRAY_BUFFER, strokes->join_buffer);
    glVertexAttribPointer(9, 1, GL_UNSIGNED_BYTE, GL_FALSE, 0, reinterpret_cast<const void*>(first));
}

void bind_strokes(Strokes* strokes, const uint8_t show[4])
{
    glBindVertexArray(strokes->vertex_array);
    memcpy(strokes->bound, show, sizeof strokes->bound);
    __point_strokes(strokes, 0);
}

int texture_strokes(Strokes* strokes, int unit)
{
    if (!strokes->texture && has_buffer_textures_platform) {
        GLint largest = 0;
        glGetIntegerv(GL_MAX_TEXTURE_BUFFER_SIZE, &largest);
        if (static_cast<uint64_t>(strokes->dim) * strokes->vertex_count <= static_cast<uint64_t>(largest)) {
            glGenTextures(1, &strokes->texture);
            glBindTexture(GL_TEXTURE_BUFFER, strokes->texture);
            buffer_texture_platform(GL_R32F, strokes->coord_buffer);
        }
    }
    glActiveTexture(GL_TEXTURE0 + unit);
    glBindTexture(has_buffer_textures_platform ? GL_TEXTURE_BUFFER : GL_TEXTURE_2D, strokes->texture);
    glActiveTexture(GL_TEXTURE0);
    return strokes->texture != 0;
}

// Segments or points a draw takes: a software rasteriser keeps what it has
// binned of a draw until the draw ends, hundreds of bytes a primitive, and
// a batch at a time, each sent on before the next, holds that to a batch's.
static const GLsizei batch_strokes = 8192;

// Calls draw(first, count) for each batch of the primitives, sending each
// on before the next where there are several.
template <class Draw> static void __batches_strokes(GLsizei primitives, Draw draw)
{
    for (GLsizei first = 0; first < primitives; first += batch_strokes) {
        draw(first, std::min(batch_strokes, primitives - first));
        if (primitives > batch_strokes)
            glFlush();
    }
}

void draw_strokes(unsigned int program, const Strokes* strokes, const float* colour)
{
    GLsizei instances = static_cast<GLsizei>(strokes->vertex_count) - (strokes->kind == SHAPE_LINES);
    if (instances <= 0)
        return;
    int area[4];
    glGetIntegerv(GL_VIEWPORT, area);
    const float viewport[2] = {static_cast<float>(area[2]), static_cast<float>(area[3])};
    load_float2_to_shader(program, "viewport", viewport);
    glBindVertexArray(strokes->vertex_array);
    // A constant attribute belongs to the context, not the vertex array.
    if (!strokes->color_buffer)
        glVertexAttrib4f(8, colour[0], colour[1], colour[2], colour[3]);
    // The quads stand for lines: the offset that pushes filled triangles
    // back must not move them too.
    GLboolean offset = glIsEnabled(GL_POLYGON_OFFSET_FILL);
    glDisable(GL_POLYGON_OFFSET_FILL);
    glEnable(GL_BLEND);
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
    polygon_mode_platform(GL_FILL);
    point_size_platform();
    if (strokes->kind == SHAPE_LINES) {
        // The middles all go before the edges, so that the picture is one
        // draw's.
        for (int fringe = 0; fringe < 2; fringe++) {
            load_float_to_shader(program, "fringe", static_cast<float>(fringe));
            if (fringe)
                glDepthMask(GL_FALSE);
            __batches_strokes(instances, [&](GLsizei first, GLsizei count) {
                if (instances > batch_strokes) {
                    __point_strokes(strokes, static_cast<uint64_t>(first));
                    load_int_to_shader(program, "first", first);
                }
                glDrawArraysInstanced(GL_TRIANGLE_STRIP, 0, 4, count);
            });
        }
        glDepthMask(GL_TRUE);
        if (instances > batch_strokes) {
            __point_strokes(strokes, 0);
            load_int_to_shader(program, "first", 0);
        }
    } else {
        // A pass costs a software rasteriser about a microsecond a point,
        // whatever its size, and a cloud has millions: one pass, in which a
        // point's fringe lies at the far plane, so that it is drawn only
        // where nothing is yet and anything drawn later covers it.
        GLint test = GL_LESS;
        glGetIntegerv(GL_DEPTH_FUNC, &test);
        if (test == GL_LESS)
            glDepthFunc(GL_LEQUAL);
        load_float_to_shader(program, "fringe", -1.0f);
        // A point's vertex is its own: a batch starts where it starts.
        __batches_strokes(instances, [](GLsizei first, GLsizei count) { glDrawArrays(GL_POINTS, first, count); });
        glDepthFunc(static_cast<GLenum>(test));
    }
    glDisable(GL_BLEND);
    if (offset)
        glEnable(GL_POLYGON_OFFSET_FILL);
}

void destroy_strokes(Strokes* strokes)
{
    if (!strokes)
        return;
    glDeleteVertexArrays(1, &strokes->vertex_array);
    const GLuint buffers[3] = {strokes->coord_buffer, strokes->color_buffer, strokes->join_buffer};
    glDeleteBuffers(3, buffers);
    if (strokes->texture)
        glDeleteTextures(1, &strokes->texture);
    free(strokes);
}
