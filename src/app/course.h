// The course of the view through R^m: the frame on show, turns in planes of
// coordinates, a coordinate's axis pulled about, frames put on show, and
// tours started and paused. A frame that is a coordinate choice under a 4-D
// turn goes on show as one.
#pragma once

#include <cstdint>

#include "core/frame.h"
#include "core/tour.h"

// The frame of R^m on show: the coordinate choice, or the view's frame,
// with the 4-D turn composed on the left when turned.
void frame_course(Frame* frame, bool turned);

// Turns coordinate a toward b (from 0) in their plane in R^m, as
// --turn A:B=DEG does; the frame becomes a choice again where it is one.
// Returns 0 when the surface lacks either.
int turn_coordinates_course(int a, int b, float angle);

// Puts a frame of R^m on show in place of the 4-D turn and the choice, as a
// coordinate choice where it is one.
void show_frame_course(const Frame* frame);

// Starts a tour from the frame on show.
void start_tour_course(TourKind kind, uint64_t seed, float speed);

// Runs or pauses the tour, as U does; with none, starts a grand tour of a
// seed of the moment.
void run_tour_course(bool run);

// Moves a running tour one step from the frame on show, whatever it is.
void advance_tour_course();

// Moves coordinate k's direction to column (4 floats, the frame's shown
// x, y, z, w before the 4-D turn), the rest of the frame as near as can be.
void pull_course(int k, const float* column);
