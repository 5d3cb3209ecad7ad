// Tangent planes: for smooth light, the plane that touches a surface at
// each of its points, from the triangles that share the point (the
// vertices on it, as the weld finds them), as two orthonormal vectors t1,
// t2 of R^m; a vertex alone keeps its triangle's plane. A plane is kept
// once a point, and each vertex says which point it is on: a triangle soup
// has several vertices a point. They are found on threads of their own
// while the window draws; no GL.
#pragma once

#include <atomic>
#include <cstdint>

// The planes found: one for each point of the weld.
struct Planes {
    uint16_t* halves; // 2 dim half floats a point, t1 then t2, from take_room
    uint64_t count;   // points
};

// The planes as they come, for a caller that draws meanwhile: once their
// memory is taken, taken is set and planes says where they will be; ready,
// from the caller's 0, then rises now and then to the count of leading
// vertices whose point and plane are written, and the search's end says
// all are. Up to dim 8, where nothing but a stop can fail once the memory
// is taken; past it, taken stays unset. Once taken, the planes' memory is
// the caller's, whatever comes after.
struct Progress {
    Planes planes;
    std::atomic<bool> taken;
    std::atomic<uint64_t> ready;
};

// Finds the tangent planes of n vertices of dim coordinates each, three to
// a triangle: into *planes one plane a point, and into points (n words of
// the caller's) each vertex's point, numbered in the order of the points'
// first vertices. A point with no plane (its triangles have no area, or a
// value is not finite) gets zeros. Returns 0, with nothing left allocated
// but what progress (when given) handed over, when memory runs out or stop
// is set on the way.
int find_tangents(const float* coords, uint8_t dim, uint64_t n, uint32_t* points, Planes* planes,
    const std::atomic<bool>* stop, Progress* progress = nullptr);

// The same on a thread of its own, for the surface of the given serial;
// coords and points must stay until the job is done or stopped. A job
// under way is stopped first, and the planes it found let go; one whose
// planes were taken as they came is finished first. Where there
// are no threads, the job is done at the first call of done_tangents.
void start_tangents(const float* coords, uint8_t dim, uint64_t n, uint32_t* points, uint32_t serial);

// The state of the job of serial, waited for to its end when wait is true:
// -1 with no such job, 0 under way, 1 done, 2 failed. A finished job is
// forgotten once this says so; when done, its planes are the caller's,
// in *planes.
int done_tangents(uint32_t serial, bool wait, Planes* planes);

// The planes of the job of serial as they come, for a caller that draws
// while they are found: waits until their memory is taken or the job ends.
// Returns how many leading vertices have their planes, with *planes where
// all will be, which are then the caller's, done or stopped; 0 with none
// where the job gives none as they come. done_tangents still ends the job.
uint64_t early_tangents(uint32_t serial, Planes* planes);

// Waits until at least the first vertices of the job of serial, whose
// planes were taken as they came, have theirs, or the job has ended.
// Returns how many have: at least the job's n once it has ended, and with
// no such job.
uint64_t wait_tangents(uint32_t serial, uint64_t vertices);

// Stops the job of serial, if there is one, and waits for its thread.
void stop_tangents(uint32_t serial);

// The half float nearest to value, for values of at most 1 in size; below
// the smallest normal half, 0.
uint16_t half_tangents(float value);
