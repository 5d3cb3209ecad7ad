// Lines and points on the GPU: the coordinates of their vertices, with a
// colour and, for lines, whether a segment leaves each vertex, in pieces of
// a few thousand vertices. Each segment or point is drawn as an instance of
// a quad by the stages of glsl_strokes, whose attributes read the
// coordinate choice straight from the buffers, or whose vertex stage
// fetches every coordinate through a frame of R^m.
#pragma once

#include <cstdint>

#include "core/shape.h"

// A run of a shape's vertices in buffers of their own, which a draw takes
// whole. A line's piece holds one vertex past its segments, the next piece's
// first, so that its last segment has both ends.
struct StrokePiece {
    uint32_t first;        // its first vertex in the shape
    uint32_t count;        // the segments or points it draws
    uint32_t coord_buffer; // GL buffer of its vertices' coordinates
    uint32_t color_buffer; // GL buffer of a colour a vertex, or 0: one colour for all
    uint32_t join_buffer;  // lines: GL buffer of a byte a vertex, 1 where a segment leaves it
    uint32_t texture;      // over the coordinates, for frames of R^m; 0 until made
};

struct Strokes {
    ShapeKind kind;        // SHAPE_LINES or SHAPE_POINTS
    uint32_t vertex_count; // vertices; a line draws one segment fewer, some of them dropped
    uint8_t dim;           // coordinates per vertex
    uint32_t vertex_array; // GL vertex-array object
    uint32_t piece_count;
    StrokePiece* pieces;
    uint8_t bound[4]; // the coordinates bound as x, y, z, w
};

// Uploads a shape of lines or points. Returns none, with nothing left made,
// when the GPU cannot take it or the vertices are more than a draw takes.
// With spend, each array's pages are handed back to the system as they go
// up, so that the driver's copy never stands beside ours: the arrays then
// read as zeros, and are still the caller's to free.
Strokes* create_strokes(const ShapeData* data, bool spend = false);

// Has locations 0 to 3 read the coordinates show[0..3] of each instance's
// vertex and 4 to 7 those of the next; the indices must be below dim.
void bind_strokes(Strokes* strokes, const uint8_t show[4]);

// Gives every piece a texture from which the vertex stage can fetch every
// coordinate. Returns 0 when GL cannot make them.
int texture_strokes(Strokes* strokes);

// Draws every segment or point with the program, coloured by colour where
// the shape has no colours of its own (R, G, B, A in 0 to 1), a piece at a
// time, its texture bound to the unit coords where that is not -1. The
// program's "viewport" is set from GL's, and blending is on while it draws.
void draw_strokes(unsigned int program, const Strokes* strokes, const float* colour, int coords);

// Reads the coordinates of count vertices from first on back from GL into
// part, which holds count * dim floats.
void read_strokes(const Strokes* strokes, uint64_t first, uint64_t count, float* part);

// Deletes the GL objects and the record; none is ignored.
void destroy_strokes(Strokes* strokes);
