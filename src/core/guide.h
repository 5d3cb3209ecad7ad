// Guided tours (projection pursuit, as tourr's guided tour searches along
// geodesics): from the frame on show, random geodesics a small angle long
// are tried, and the frame moves along the best of them while its index
// improves, then searches again, until no try improves the index by more
// than a thousandth: a local optimum, where the tour stops. The index of a
// frame is worked out on a thread of its own; no GL.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/crossing.h"
#include "core/tour.h"

// The surface a guided tour looks at: n vertices of dim coordinates, three
// a triangle, which must stay until the tour is stopped or told of others.
struct GuideSource {
    const float* coords;
    uint8_t dim;
    uint64_t n;
    double eye;      // the 4-D eye's distance on the w axis, 0 for none
    uint32_t serial; // tells one surface from another; a new one starts afresh
};

// The index of the shadow of source under frame (composed with the 4-D
// turn): for TOUR_FEWEST_CROSSINGS the double curve's length, to be made
// smaller; for TOUR_SPREAD the sum of the triangles' areas in the shadow,
// to be made larger. Returns none, or why there is no index.
const char* index_guide(TourKind kind, const GuideSource* source, const Frame* frame, double* value,
    const std::atomic<bool>* stop = nullptr);

// Whether an index of to is better than one of from by more than the
// tolerance.
bool improves_guide(TourKind kind, double from, double to);

// What a step of a guided tour did.
enum GuideStep {
    GUIDE_HELD,    // waits for an index: the frame stays
    GUIDE_MOVED,   // the frame moved on the way to the next point
    GUIDE_ARRIVED, // the frame reached a point of better index
    GUIDE_STOPPED, // no try improves the index: the tour is paused at a local optimum
    GUIDE_FAILED,  // the index cannot be found: the tour is paused
};

// Moves frame one step along a running guided tour of source at the tour's
// pace, one step a frame; waits for the index when wait is set, else
// holds the frame until it is found. value receives the index where the
// frame is once known, and fault why it failed. Each search of tries
// draws its geodesics from the tour's seed and target, which counts the
// searches, so that a run is the same under the same seed.
GuideStep step_guide(
    Tour* tour, Frame* frame, const GuideSource* source, bool wait, double* value, const char** fault);

// Stops the work on the way and forgets the tour's path: the next step
// starts afresh from the frame it is given.
void stop_guide();
