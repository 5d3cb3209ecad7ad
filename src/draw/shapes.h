// The shapes on show, each a kind of geometry in R^m with its colour and
// whether it is shown, and the table of kinds: how each kind is uploaded,
// bound to the coordinate choice, drawn, lit and counted. The frame walks
// the list and never asks a shape's kind; a new kind is one row.
#pragma once

#include <cstdint>

#include "core/frame.h"
#include "core/shape.h"
#include "draw/mesh.h"
#include "draw/strokes.h"

constexpr int max_shapes = 64;

struct Shape {
    ShapeKind kind;
    Mesh* mesh;       // triangles; else none
    Strokes* strokes; // lines and points; else none
    uint8_t color[4]; // R, G, B, A where it has no colours of its own
    bool shown;
    bool outlined;    // triangles whose polygons' own edges are a shape of their own: no wireframe
    bool ink;         // lines that outline faces: a dark ink over the map, as the wireframe
    int source;       // the file it came from, counted from 0 in the order shown
    char name[64];    // that file's name, without its folders; empty for none
};

// The texture units the programs read: a frame's coordinates, normals and
// tangent planes, the map, a colour a vertex, and the band of a
// broken-surface diagram; the layers of transparency take 4 and 5.
enum Unit { UNIT_COORDS, UNIT_NORMALS, UNIT_TANGENTS, UNIT_MAP, UNIT_PAINT = 6, UNIT_BAND };

// The programs a frame draws with, one for each way of drawing, and how
// they draw; a kind's program is 0 when no shape of the kind is on show.
struct Programs {
    unsigned int lit;    // filled triangles
    unsigned int plain;  // their wireframe
    unsigned int lines;  // lines, flat or lit as tubes
    unsigned int points; // points, lit as little spheres
    bool file_light;     // lit lights by the file's normals, which some triangles lack
    float shade;         // colour by w: the share of the map's colour in the wireframe's ink; 0 without
    float opacity;       // of filled triangles drawn blended, 1 when opaque or layered
    bool wire;           // the triangles' wireframe is drawn
    bool framed;         // triangles fetch their coordinates through a frame of R^m
    bool fetched;        // so do lines and points
    bool smooth;         // and lit takes the tangent planes
    bool painted;        // lit and plain take a colour a vertex where "painted" is set
};

// What one call of a kind's draw does: the filled triangles, what is drawn
// as lines and points (the wireframe among them), or the wireframe alone.
enum Pass { PASS_FILL, PASS_LINES, PASS_WIRE };

struct KindRow {
    ShapeKind kind;
    const char* name;    // as --info and the panel name it: "triangles"
    const char* counted; // what it is made of, as --info counts it: "faces"
    // Puts the data on the GPU into shape, maybe spending its arrays as they
    // go up (see add_shapes); returns 0 when it cannot.
    int (*upload)(ShapeData* data, Shape* shape);
    // Reads the coordinates show[0..3] as x, y, z, w.
    void (*bind)(Shape* shape, const uint8_t show[4]);
    void (*draw)(const Shape* shape, const Programs* programs, Pass pass);
    // How many of what it is made of.
    uint64_t (*count)(const Shape* shape);
    void (*destroy)(Shape* shape);
};

extern const KindRow kind_rows[];
const KindRow* row_shapes(ShapeKind kind);

// The list, in the order the shapes were put on show.
extern Shape shapes[max_shapes];
extern int shape_count;
// Tells every list of shapes from every other in the run.
extern uint32_t serial_shapes;

// The colour of the shapes of a file: the view's colour for it when it has
// one (--colors), else the first file's in the surface's colour, each later
// one's from a palette of colours told easily apart.
void palette_shapes(int source, uint8_t* colour);

// Gives every shape its file's colour again, after the view's colours
// changed; a file's own colours a vertex still win where it has them.
void recolor_shapes();

// Gives shape k's file the colour R, G, B in the view's colours, so that a
// saved view keeps it, and its shapes with it; past the colours a view
// holds, shape k alone.
void color_file_shapes(int k, const uint8_t* rgb);

// Puts a shape made from data on show after the others, in its file's
// colour. Returns 0 when the list is full or the GPU cannot take it. The
// arrays of lines and points are spent as they go up (see spend_room), so
// that a shape is never held twice; they are still the caller's to free.
int add_shapes(ShapeData* data, int source);

// Puts a surface already on the GPU on show after the others, as one of
// triangles. Returns 0 when the list is full; the mesh is destroyed then.
int add_mesh_shapes(Mesh* mesh, int source);

// Takes every shape off show and deletes it.
void clear_shapes();

// Binds every shape to the coordinate choice.
void bind_shapes(const uint8_t show[4]);

// Draws the shown shapes' part of a pass.
void draw_shapes(const Programs* programs, Pass pass);

// Whether a shown shape is of the kind.
bool shows_kind_shapes(ShapeKind kind);

// Whether a shown shape of triangles has a colour a vertex.
bool shows_paint_shapes();

// The vertices of every shape.
uint32_t vertices_shapes();

// The shapes' m, 0 with none.
uint8_t dim_shapes();

// The coordinates bound as x, y, z, w: the coordinate choice, but while a
// swap turns, the one before it. The list must not be empty.
const uint8_t* bound_shapes();

// The coordinates of shape k's vertices from first on, count of them:
// where they live in memory of ours, a pointer into it; else read back from
// the GPU into part, which holds count * dim floats.
const float* read_shapes(int k, uint64_t first, uint64_t count, float* part);

// How many vertices shape k has.
uint64_t vertex_count_shapes(int k);
