// The double curve of a surface's shadow: where two triangles that share no
// vertex meet in R^3 as the view shows them (frame of R^m, 4-D turn, 4-D
// eye), joined into polylines; above each of its points the two points of
// the surface, the upper (larger w) and the lower; the triple points, where
// three sheets cross, and the branch points, where the curve ends inside the
// surface. Found on a thread of its own while the window draws; no GL.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/crossing_record.h"
#include "core/frame.h"

// What decides the shadow: shown (x, y, z, w) = frame c, and then, with the
// 4-D eye at distance eye on the w axis, x, y, z scaled by eye / (eye - w).
struct CrossingView {
    Frame frame; // composed with the 4-D turn
    double eye;  // 0: no 4-D eye
};

// Welds n vertices of dim coordinates: ids[v] is the first vertex whose
// coordinates all equal v's (-0 equals 0; a vertex with a value that is
// not finite stands alone). Returns 0 when memory runs out.
int weld_crossing(const float* coords, uint8_t dim, uint64_t n, uint32_t* ids);

// Finds the double curve of the n vertices of dim coordinates (dim the
// view's frame's), three to a triangle. Triangles with a value that is not
// finite, a corner at or behind the 4-D eye, two corners welded or all on
// a line in the shadow are left out, and so is a pair of triangles lying
// in one plane. Returns none, or why there is no curve: memory ran out,
// stop was set on the way, or the shadow piles so many sheets on one
// another that the search would run for long and fill memory.
const char* find_crossing(const float* coords, uint8_t dim, uint64_t n, const CrossingView* view,
    Crossing* curve, const std::atomic<bool>* stop = nullptr);

// The point of the surface in R^m above point k of the curve: sheet 0 the
// upper, 1 the lower; out receives dim coordinates.
void lift_crossing(
    const Crossing* curve, const float* coords, uint8_t dim, uint64_t k, int sheet, double* out);

void free_crossing(Crossing* curve);

// The curve's points lifted to the surface, as lines are drawn: each point's
// dim coordinates on the upper sheet, on the lower, and midway between the
// two; joins[k] is 1 where a segment leaves point k for the next.
struct CrossingLines {
    float* sheets[3]; // upper, lower, middle
    uint8_t* joins;
    uint64_t count;
};

// Lifts the curve found on coords; returns 0 when memory runs out.
int lines_crossing(const Crossing* curve, const float* coords, uint8_t dim, CrossingLines* lines);

void free_lines_crossing(CrossingLines* lines);

// The same search on a thread of its own, under the given serial (not 0),
// for the view copied now, the curve lifted as well; coords must stay until
// the job is taken or stopped. A job under way is stopped first. The thread
// lives as long as the process and runs below the drawing's priority, so
// that it takes only the time the frames leave. Where there are no threads,
// the job is done at the first call of done_crossing.
void start_crossing(const float* coords, uint8_t dim, uint64_t n, const CrossingView* view, uint32_t serial);

// The state of the job of serial, waited for to its end when wait is true:
// -1 with no such job, 0 under way, 1 done, 2 failed (a failed job is then
// forgotten). Without wait, it neither locks nor waits.
int done_crossing(uint32_t serial, bool wait);

// Hands the curve of a done job, and its lines where lines is given, to the
// caller, who frees them, and forgets the job. Returns 0 when the job of
// serial is not done. Neither locks nor waits.
int take_crossing(uint32_t serial, Crossing* curve, CrossingLines* lines = nullptr);

// Stops the job of serial, if there is one, and waits until the thread has
// left it.
void stop_crossing(uint32_t serial);
