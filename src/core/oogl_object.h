// The objects of an OOGL file that hold shapes, OFF and SKEL, read into
// the shapes being gathered: their vertex lists, faces and polylines, with
// every count checked against the bytes left before it costs anything.
#pragma once

#include <cstdint>

#include "core/gather.h"
#include "core/oogl_counts.h"
#include "core/polygon.h"
#include "core/scan.h"

// A file being read.
struct ObjectReader {
    Scan scan;
    int dim;                          // m, once an object has given it
    uint64_t dim_line;                // where
    Gathered shapes[max_shapes_oogl]; // indexed by kind
    VertexList list;                  // of the object being read
    OoglCounts counts;
    EdgeSet edges; // of the OFF being read
    PolygonScratch polygon;
    uint32_t* corners;   // of the face or polyline read
    uint32_t* triangles; // its corners' places, three a triangle
    uint8_t* fresh;      // whether each edge of the face is new
    uint64_t corner_capacity;
};

// The prefixes of an object's key word.
struct ObjectKey {
    bool st, c, normals, four, n;
    bool skel;
};

// What a word should be, as a refusal names it: "a vertex index of face 3".
struct Expected {
    const char* what;
    const char* of = nullptr; // "vertex", "face", "polyline", or none
    uint64_t which = 0;
};

// Reads the object whose key word, on the given line, has been read. Returns
// null, or the reason the file is refused.
const char* read_off_object(ObjectReader* r, ObjectKey key, uint64_t line);
const char* read_skel_object(ObjectReader* r, ObjectKey key, uint64_t line);

// The reason, "line N: " and what printf makes of format; a reason the scan
// already gives stands.
const char* refuse_object(ObjectReader* r, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Refuses the word, or the end of the file, where another was expected.
const char* unexpected_object(ObjectReader* r, Expected expected, Word word);

// Frees what the reader holds besides its shapes.
void free_object(ObjectReader* r);
