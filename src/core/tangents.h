// Tangent planes: for smooth light, the plane that touches a surface at
// each vertex, from the triangles that share the vertex (vertices on one
// point, as the weld finds them, are one), as two orthonormal vectors t1,
// t2 of R^m; a vertex alone keeps its triangle's plane. They are found on
// threads of their own while the window draws; no GL.
#pragma once

#include <atomic>
#include <cstdint>

// Finds the tangent planes of n vertices of dim coordinates each, three to
// a triangle, into halves: 2 dim half floats a vertex, t1 then t2. A vertex
// with no plane (its triangles have no area, or a value is not finite) gets
// zeros. Returns 0 when memory runs out or stop is set on the way.
int find_tangents(
    const float* coords, uint8_t dim, uint64_t n, uint16_t* halves, const std::atomic<bool>* stop);

// The same on a thread of its own, for the surface of the given serial;
// coords and halves must stay until the job is done or stopped. A job
// under way is stopped first. Where there are no threads, the job is done
// at the first call of done_tangents.
void start_tangents(const float* coords, uint8_t dim, uint64_t n, uint16_t* halves, uint32_t serial);

// The state of the job of serial, waited for to its end when wait is true:
// -1 with no such job, 0 under way, 1 done, 2 failed. A finished job is
// forgotten once this says so.
int done_tangents(uint32_t serial, bool wait);

// Stops the job of serial, if there is one, and waits for its thread.
void stop_tangents(uint32_t serial);

// The half float nearest to value, for values of at most 1 in size; below
// the smallest normal half, 0.
uint16_t half_tangents(float value);
