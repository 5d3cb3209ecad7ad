// Shapes gathered a vertex at a time from the vertex lists of a file's
// objects: arrays that grow as needed, colours added once a first vertex
// has one, and a vertex list taken over whole where a shape uses its
// vertices in order, as a file of polylines or points mostly does (each
// vertex once, or again where a polyline closes), so that such a file costs
// no copy of its vertices.
#pragma once

#include <cstdint>

#include "core/shape.h"

// An object's vertices, as read.
struct VertexList {
    float* coords;   // dim per vertex
    uint8_t* colors; // RGBA per vertex, or none
    uint64_t count;
    bool lent; // a shape has taken coords over
};

// A shape being gathered.
struct Gathered {
    ShapeKind kind;
    int dim;
    float* coords;
    uint8_t* colors; // none until a vertex has a colour
    uint8_t* joins;  // lines only
    uint64_t count, capacity;
    uint64_t most; // bytes the coordinates may take
    // While the shape's coordinates are a vertex list's own: the list, how
    // many of its vertices have been used in order, and the vertices used
    // again, as pairs (place in the shape, vertex), written in at the end.
    const float* borrowed;
    uint64_t taken;
    uint64_t* repeats;
    uint64_t repeat_count, repeat_capacity;
};

// The colour of parts given none, in a shape whose other parts have one.
extern const uint8_t grey_gather[4];

// Adds the vertex `index` of the list, with the colour given, else the
// list's own, else grey where the shape has colours. Lines join it to the
// next vertex. Returns null, or why it cannot ("out of memory").
const char* append_gather(Gathered* shape, VertexList* list, uint64_t index, const uint8_t* color);

// Gives the vertices from `first` on the colour.
const char* paint_gather(Gathered* shape, uint64_t first, const uint8_t color[4]);

// Ends the polyline at the last vertex: no segment joins it to the next.
inline void end_line_gather(Gathered* shape)
{
    shape->joins[shape->count - 1] = 0;
}

// Frees the list, unless a shape has taken its coordinates over, which it
// then owns, its vertices in their places. Returns null, or why it cannot.
const char* release_gather(Gathered* shapes, int count, VertexList* list);

// Moves a gathered shape into data, its arrays trimmed to their size.
void finish_gather(Gathered* shape, ShapeData* data);
void free_gather(Gathered* shape);

// Undirected edges between vertices, each remembered once.
struct EdgeSet {
    uint64_t* keys; // 0 for an empty slot
    uint64_t capacity, used;
};

// Adds the edge a-b; returns 1 when it is new, 0 when known, -1 when out of memory.
int add_edge_gather(EdgeSet* set, uint32_t a, uint32_t b);
void clear_edges_gather(EdgeSet* set);
void free_edges_gather(EdgeSet* set);
