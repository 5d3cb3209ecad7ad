// Surfaces on the GPU: a mesh holds all m coordinates and normal components
// of every vertex; the coordinate choice says which four of them the vertex
// stage sees as x, y, z and the hidden w.
#pragma once

#include <cstdint>

#include "core/klein.h"

// Where a mesh's attributes point: at the coordinate choice, at every
// coordinate four to a location (through a frame of R^m), or at a stream
// worked out on the CPU.
enum Layout : uint8_t { LAYOUT_BOUND, LAYOUT_COLUMNS, LAYOUT_STREAM };

struct Mesh {
    uint32_t vertex_count;    // vertices drawn, three to a triangle
    uint32_t vertex_array;    // GL vertex-array object holding the attribute set-up
    uint32_t normal_buffer;   // GL buffer of normals; 0 for a mesh without normals
    uint32_t coord_buffer;    // GL buffer of coordinates
    float* memory;            // both arrays, when the buffers live in memory of ours; else none
    uint64_t array_bytes;     // bytes of each array there
    uint32_t serial;          // tells this mesh from every other made in the run
    uint8_t dim;              // coordinates per vertex
    uint32_t stream_buffer;   // GL buffer of the shown coordinates and normals worked out on the CPU, or 0
    uint32_t textures[2];     // GL textures over the coordinates and the normals, for frames of
                              // R^m; 0 until made
    uint32_t edge_buffer;     // GL element buffer of each triangle's three edges, where the
                              // wireframe needs one; else 0
    uint32_t tangent_buffer;  // GL buffer of the tangent planes, once found: t1 then t2 of each
                              // point, dim half floats each; else 0
    uint32_t tangent_texture; // the texture the vertex stage fetches them from; 0 until made
    uint16_t* tangent_memory; // their storage, from take_room, while it is ours; else none
    uint64_t plane_count;     // points that have a plane
    uint32_t point_buffer;    // GL buffer of each vertex's point, whose plane it takes; 0 until
                              // the planes are found
    uint32_t* point_memory;   // its storage, from take_room, while it is ours; else none
    uint32_t paint_texture;   // a 2D texture of a colour a vertex, 4096 a row; 0 for one colour
    uint8_t bound[4];         // the coordinates bound as x, y, z, w, by bind_mesh
    Layout layout;            // where the attributes point now
};

// 1 when the driver takes memory of ours as buffer storage, 0 when it does
// not; -1 until a mapped mesh asks it. Tests set it to try either way. In the
// browser always 1: WebGL maps no buffers, and glBufferData copies the
// memory, which is freed once handed over.
extern int pinned_memory_mesh;

// Uploads both arrays of data (normals may be absent). Returns none when the
// record or the GL buffers cannot be had, or when the vertices are more than
// one draw call takes; nothing is left allocated then.
Mesh* create_mesh(SurfaceData data);

// A mesh of vertex_count vertices of dim coordinates and normal components
// whose storage is left open for writing at *coords and *normals, so that
// the arrays can be read straight into it: the buffers mapped, or memory
// that becomes their storage. With normals none, the mesh has none, and is
// lit by its shape where the light asks for the file's. Returns none, with
// nothing left allocated, when the GPU cannot take them.
Mesh* create_mapped_mesh(uint8_t dim, uint64_t vertex_count, float** coords, float** normals);

// Hands the written arrays to GL. Returns 0, or 1 when their contents were
// lost or the driver refused them; the mesh must then be destroyed.
int unmap_mesh(Mesh* mesh);

// Points attribute locations 0 to 7 at the coordinates and normal components
// numbered show[0..3] (x, y, z, w) of every vertex, and, once the mesh has
// its tangent planes, location point_location_glsl at each vertex's point;
// no data moves. The indices must be below dim.
void bind_mesh(Mesh* mesh, const uint8_t show[4]);

// Points the attributes at every coordinate and normal component,
// locations_glsl(dim) locations from 0 in that order, and, once the mesh
// has its tangent planes, point_location_glsl at each vertex's point, and
// disables the rest; no data moves. A mesh without normals leaves their
// locations disabled.
void bind_columns_mesh(Mesh* mesh);

// Points that location at the points in point_buffer, whichever layout
// the mesh has.
void bind_tangents_mesh(Mesh* mesh);

// Whether the draws below go in ranges of 64 triangles, as colour by w and
// the cuts of the slice and the 4-D eye want on llvmpipe; else (as at
// start) one draw a mesh.
void set_ranges_mesh(bool ranges);

// Draw filled, and as a wireframe; each sets its program and polygon mode.
void draw_mesh(unsigned int program, const Mesh* mesh);
void draw_mesh_lines(unsigned int program, const Mesh* mesh);
// Draws count vertices filled from vertex first on, three to a triangle.
void draw_part_mesh(unsigned int program, const Mesh* mesh, uint32_t first, uint32_t count);

// Reads count vertices' coordinates (array 0) or normal components (array
// 1) from vertex first on: where they live in memory of ours, a pointer
// into it; else read back from GL into part, which holds count * dim floats.
const float* read_mesh(const Mesh* mesh, int array, uint64_t first, uint64_t count, float* part);

// Vertices read at a time, so that no copy of a whole array is ever held.
constexpr uint64_t chunk_mesh = 4096;

// Textures over both arrays from which a vertex stage can fetch every
// coordinate of a vertex: buffer textures over the buffers, or where GL has
// none, 2D textures made while the arrays are handed over. Returns 0 when
// GL cannot make them (past its largest buffer texture, say).
int texture_mesh(Mesh* mesh);

// A buffer texture over the buffer, texels of the format (GL_R32F,
// GL_R16F), for a vertex stage to fetch from; 0 where GL has no buffer
// textures or the texels are more than its largest takes.
uint32_t buffer_texture_mesh(uint32_t buffer, uint32_t format, uint64_t texels);

// A 2D texture of an array of floats, or with halves of half floats, one a
// texel, texture_width_platform texels a row, for a vertex stage to fetch
// from where GL has no buffer textures; 0 where it would be larger than GL
// takes.
uint32_t image_texture_mesh(const void* array, uint64_t count, bool halves = false);

// Gives the mesh a colour a vertex, R, G, B, A each. Returns 0 when GL
// cannot take them.
int paint_mesh(Mesh* mesh, const uint8_t* colors);

// Deletes the GL objects, mapped or not, and the record; none is ignored.
void destroy_mesh(Mesh* mesh);
