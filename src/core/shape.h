// Shapes in R^m as files give them, in memory: triangles, lines or points,
// each a list of vertices of m coordinates. No GL: what the GPU holds and how
// each kind is drawn is the draw layer's.
#pragma once

#include <cstdint>

enum ShapeKind {
    SHAPE_TRIANGLES, // every three vertices in order are a triangle
    SHAPE_LINES,     // polylines, each a run of consecutive vertices
    SHAPE_POINTS,    // every vertex a point
};

// One shape's arrays, each from malloc and released with free_shape. A closed
// polyline repeats its first vertex at its end, so that every segment joins
// two neighbours in the arrays.
struct ShapeData {
    ShapeKind kind;
    uint8_t dim;           // m, coordinates per vertex
    uint64_t vertex_count; // n
    float* coords;         // m n coordinates, vertex by vertex
    float* normals;        // triangles: m n normal components in the same order, or none
    uint8_t* colors;       // R, G, B, A of each vertex (a face's or a polyline's, repeated), or none
    uint8_t* joins;        // lines: 1 where a segment joins the vertex to the next, 0 where its
                           // polyline ends; none for the other kinds
};

// Releases the arrays and leaves the record empty.
void free_shape(ShapeData* data);
