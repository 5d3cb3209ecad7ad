// Lines and points on the GPU: a segment an instance of four vertices, a
// point a GL point. Instances cost the software rasterisers that run the
// page and the tests a pass through their pipeline each, a point's few
// pixels no more than one vertex.
#include "draw/strokes.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/room.h"
#include "draw/context.h"
#include "draw/mesh.h"
#include "draw/platform.h"
#include "draw/shader.h"

// Vertices a piece draws: a software rasteriser keeps what it has binned
// of a draw until the draw ends, hundreds of bytes a primitive, and a piece
// at a time, each sent on before the next, holds that to a piece's; and a
// shape goes up a piece at a time, its arrays spent behind it, so that the
// driver's copy of it never stands beside ours.
static const uint32_t piece_strokes = 4096;

static uint32_t __buffer_strokes(const void* array, uint64_t size)
{
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(size), array, GL_STATIC_DRAW);
    return buffer;
}

// The vertices the piece holds.
static uint32_t __vertices_strokes(const Strokes* strokes, const StrokePiece& piece)
{
    return piece.count + (strokes->kind == SHAPE_LINES);
}

// Uploads the piece's part of the arrays.
static void __piece_strokes(const Strokes* strokes, const ShapeData* data, StrokePiece* piece)
{
    uint64_t first = piece->first, n = __vertices_strokes(strokes, *piece), dim = data->dim;
    piece->coord_buffer = __buffer_strokes(data->coords + first * dim, 4 * dim * n);
    if (data->colors)
        piece->color_buffer = __buffer_strokes(data->colors + 4 * first, 4 * n);
    if (data->joins)
        piece->join_buffer = __buffer_strokes(data->joins + first, n);
    // Without buffer textures, frames of R^m fetch from a 2D texture, made
    // while the coordinates are at hand.
    if (!has_buffer_textures_platform && dim > 4)
        piece->texture = image_texture_mesh(data->coords + first * dim, dim * n);
}

// Hands back the arrays' pages below vertex end, where spent[] says how far
// each has been handed back.
static void __spend_strokes(const ShapeData* data, uint64_t end, uint64_t spent[3])
{
    spent[0] = spend_room(data->coords, spent[0], 4 * data->dim * end);
    if (data->colors)
        spent[1] = spend_room(data->colors, spent[1], 4 * end);
    if (data->joins)
        spent[2] = spend_room(data->joins, spent[2], end);
}

Strokes* create_strokes(const ShapeData* data, bool spend)
{
    // Vertices are counted in 32 bits; a line of one vertex is a piece that draws nothing.
    uint64_t n = data->vertex_count, lines = data->kind == SHAPE_LINES;
    if (n > UINT32_MAX || data->dim < 4)
        return nullptr;
    uint64_t pieces = n == 0 ? 0 : (n - lines + piece_strokes - 1) / piece_strokes;
    pieces += n > 0 && pieces == 0;
    Strokes* strokes = static_cast<Strokes*>(malloc(sizeof(Strokes)));
    // One more than needed, so that an empty shape asks for some.
    StrokePiece* piece = static_cast<StrokePiece*>(calloc(pieces + 1, sizeof(StrokePiece)));
    if (!strokes || !piece) {
        free(strokes);
        free(piece);
        return nullptr;
    }
    *strokes = {};
    strokes->kind = data->kind;
    strokes->vertex_count = static_cast<uint32_t>(n);
    strokes->dim = data->dim;
    strokes->pieces = piece;
    drop_errors_context();
    glGenVertexArrays(1, &strokes->vertex_array);
    glBindVertexArray(strokes->vertex_array);
    uint64_t spent[3] = {};
    for (uint32_t k = 0; k < pieces; k++) {
        piece[k].first = k * piece_strokes;
        piece[k].count = static_cast<uint32_t>(std::min<uint64_t>(piece_strokes, n - lines - piece[k].first));
        strokes->piece_count++;
        __piece_strokes(strokes, data, &piece[k]);
        if (spend)
            __spend_strokes(data, k + 1 < pieces ? piece[k].first + piece_strokes : n, spent);
    }
    // Each vertex's colour and joint go with its segment's instance, or its point.
    GLuint divisor = lines ? 1 : 0;
    if (data->colors) {
        glVertexAttribDivisor(8, divisor);
        glEnableVertexAttribArray(8);
    }
    if (lines) {
        glVertexAttribDivisor(9, 1);
        glEnableVertexAttribArray(9);
    }
    for (GLuint location = 0; location < (lines ? 8u : 4u); location++) {
        glVertexAttribDivisor(location, divisor);
        glEnableVertexAttribArray(location);
    }
    const uint8_t first[4] = {0, 1, 2, 3};
    bind_strokes(strokes, first);
    if (glGetError() != GL_NO_ERROR) {
        destroy_strokes(strokes);
        return nullptr;
    }
    return strokes;
}

// Points the attributes of the bound coordinates at the piece's vertices,
// and its colours and joins with them.
static void __point_strokes(const Strokes* strokes, const StrokePiece& piece)
{
    glBindBuffer(GL_ARRAY_BUFFER, piece.coord_buffer);
    // One float a location; the stride is the whole vertex, and the next
    // vertex starts one stride on.
    GLsizei stride = 4 * strokes->dim;
    for (GLuint end = 0; end < (strokes->kind == SHAPE_LINES ? 2u : 1u); end++)
        for (GLuint k = 0; k < 4; k++) {
            uintptr_t offset = 4u * strokes->bound[k] + end * static_cast<uintptr_t>(stride);
            glVertexAttribPointer(
                4 * end + k, 1, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(offset));
        }
    if (piece.color_buffer) {
        glBindBuffer(GL_ARRAY_BUFFER, piece.color_buffer);
        glVertexAttribPointer(8, 4, GL_UNSIGNED_BYTE, GL_TRUE, 0, nullptr);
    }
    if (piece.join_buffer) {
        glBindBuffer(GL_ARRAY_BUFFER, piece.join_buffer);
        glVertexAttribPointer(9, 1, GL_UNSIGNED_BYTE, GL_FALSE, 0, nullptr);
    }
}

void bind_strokes(Strokes* strokes, const uint8_t show[4])
{
    glBindVertexArray(strokes->vertex_array);
    memcpy(strokes->bound, show, sizeof strokes->bound);
    if (strokes->piece_count)
        __point_strokes(strokes, strokes->pieces[0]);
}

int texture_strokes(Strokes* strokes)
{
    int made = 1;
    for (uint32_t k = 0; k < strokes->piece_count; k++) {
        StrokePiece& piece = strokes->pieces[k];
        if (!piece.texture && has_buffer_textures_platform)
            piece.texture = buffer_texture_mesh(
                piece.coord_buffer, GL_R32F, uint64_t {strokes->dim} * __vertices_strokes(strokes, piece));
        made &= piece.texture != 0;
    }
    return made;
}

void read_strokes(const Strokes* strokes, uint64_t first, uint64_t count, float* part)
{
    uint64_t stride = strokes->dim * sizeof(float);
    for (uint32_t k = 0; k < strokes->piece_count; k++) {
        const StrokePiece& piece = strokes->pieces[k];
        uint64_t from = std::max<uint64_t>(first, piece.first),
                 to = std::min<uint64_t>(first + count, piece.first + __vertices_strokes(strokes, piece));
        if (from >= to)
            continue;
        glBindBuffer(GL_ARRAY_BUFFER, piece.coord_buffer);
        glGetBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>((from - piece.first) * stride),
            static_cast<GLsizeiptr>((to - from) * stride), part + (from - first) * strokes->dim);
    }
}

// Pieces sent on without waiting before the rasteriser is waited for:
// where its threads fall behind, every piece queued holds its binned data,
// tens of megabytes over a shape of millions, and a wait now and then
// bounds that at no cost worth measuring.
static const uint32_t queue_strokes = 2;

// Calls draw(count) for each piece, its attributes and texture bound,
// sending each on before the next where there are several.
template <class Draw> static void __pieces_strokes(const Strokes* strokes, int coords, Draw draw)
{
    for (uint32_t k = 0; k < strokes->piece_count; k++) {
        const StrokePiece& piece = strokes->pieces[k];
        if (strokes->piece_count > 1)
            __point_strokes(strokes, piece);
        if (coords >= 0) {
            glActiveTexture(GL_TEXTURE0 + coords);
            glBindTexture(has_buffer_textures_platform ? GL_TEXTURE_BUFFER : GL_TEXTURE_2D, piece.texture);
            glActiveTexture(GL_TEXTURE0);
        }
        if (piece.count)
            draw(static_cast<GLsizei>(piece.count));
        if (strokes->piece_count > 1 && k % queue_strokes == queue_strokes - 1)
            glFinish();
        else if (strokes->piece_count > 1)
            glFlush();
    }
}

void draw_strokes(unsigned int program, const Strokes* strokes, const float* colour, int coords)
{
    if (strokes->piece_count == 0)
        return;
    int area[4];
    glGetIntegerv(GL_VIEWPORT, area);
    const float viewport[2] = {static_cast<float>(area[2]), static_cast<float>(area[3])};
    load_float2_to_shader(program, "viewport", viewport);
    glBindVertexArray(strokes->vertex_array);
    // A constant attribute belongs to the context, not the vertex array.
    if (!strokes->pieces[0].color_buffer)
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
            __pieces_strokes(strokes, coords,
                [](GLsizei count) { glDrawArraysInstanced(GL_TRIANGLE_STRIP, 0, 4, count); });
        }
        glDepthMask(GL_TRUE);
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
        __pieces_strokes(strokes, coords, [](GLsizei count) { glDrawArrays(GL_POINTS, 0, count); });
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
    for (uint32_t k = 0; k < strokes->piece_count; k++) {
        const StrokePiece& piece = strokes->pieces[k];
        const GLuint buffers[3] = {piece.coord_buffer, piece.color_buffer, piece.join_buffer};
        glDeleteBuffers(3, buffers);
        if (piece.texture)
            glDeleteTextures(1, &piece.texture);
    }
    free(strokes->pieces);
    free(strokes);
}
