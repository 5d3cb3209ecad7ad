// Geomview's OOGL files of N-D vertices, read as shapes: [ST][C][N][4][n]OFF
// and [4][n]SKEL objects, alone or in LIST and { } containers, appearance
// blocks skipped, '#' comments. Text only: BINARY objects are refused.
//
// Polygons become triangles (fans where convex, ear clipping in their own
// plane where not) and their own edges lines, each undirected edge once;
// a face of two vertices is an edge and one of one vertex a point. SKEL
// polylines of two or more vertices are lines, of one vertex points. All the
// objects of a file go into at most three shapes, in the order triangles,
// lines, points, each there only when not empty.
//
// Coordinates: `4OFF` and `4SKEL` hold four, x y z w, as tools that show
// 4-D objects read them; `nOFF` NDIM and `4nOFF` NDIM + 1, all read as
// coordinates. Plain OFF and SKEL hold three, read with w = 0. Every object
// of a file has the same m, from 4 to 255.
//
// Colours, as RGBA on each vertex of a shape: a vertex's own (the C prefix),
// a face's (3 or 4 numbers to the end of its line, 0 to 1, or 0 to 255 where
// one passes 1; a lone number indexes a colour map and is ignored) on its
// triangles, a polyline's on its vertices. A face's colour overrides its
// vertices'. Edges take the vertices' colours only, as Geomview draws edges
// apart from faces. Where a shape holds coloured and uncoloured parts, the
// uncoloured are light grey.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/oogl_counts.h"
#include "core/shape.h"

// The reason given for a file whose first word is no OOGL word: the caller
// may then read it as a file of another kind.
extern const char not_oogl[];

// Reads the file at path into shapes[0 .. *count - 1], each of whose
// arrays is the caller's to free with free_shape; counts, when given, says
// what the file held. Returns null, or the reason the file is refused in
// one line, as "line 12: index 40 is past the 30 vertices" (valid until the
// next read on this thread); nothing is then written to shapes or count.
const char* read_shapes_oogl(const char* path, ShapeData* shapes, int* count, OoglCounts* counts = nullptr);

// The same, for the file's bytes held in memory.
const char* parse_shapes_oogl(
    const char* bytes, size_t size, ShapeData* shapes, int* count, OoglCounts* counts = nullptr);
