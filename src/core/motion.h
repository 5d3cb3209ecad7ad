// Motion: how the view moves. The 4-D turn of the shown coordinates in a
// plane or by a drag, zoom and pan, the spin, and the swap animation's
// exchange of coordinates, each a change of the view record. Planes and
// slots number the shown coordinates x, y, z, w as 0, 1, 2, 3.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/ranges.h"
#include "core/view.h"

// 0 idle; 1, 2, 3: x, y or z is turning toward w. Set by the swap keys,
// cleared by the frame that binds the new coordinates.
extern uint8_t animate_index;

constexpr float min_zoom_motion = ranges[RANGE_ZOOM].low;
constexpr float max_zoom_motion = ranges[RANGE_ZOOM].high;

// Turns the shown coordinates a and b by angle in their plane, a toward b as
// I turns x toward w: a' = a cos + b sin, b' = b cos - a sin.
void turn_plane_motion(int a, int b, float angle);

// A 4-D drag of dx, dy pixels over a drawing area side pixels wide: across
// it is half a turn, in the plane of w and the screen's horizontal, then of
// w and its vertical, so that +w comes toward where the pointer goes. q is
// the orientation that places the screen's axes among the shown ones.
void drag_motion(const float* q, float dx, float dy, int side);

// Multiplies the zoom by 1.1 to the power steps, within 1/8 and 8.
void zoom_motion(float steps);

// Moves the picture with a drag of dx, dy pixels (y down).
void pan_motion(float dx, float dy, int side);

// turn4 to the identity, zoom 1, no pan, no spin; the lighting stays.
void reset_motion();

// Remembers that slot (0, 1, 2) was exchanged with w in the coordinate
// choice; carry_motion moves turn4 along once the new choice is bound, so
// that the picture goes on from where the swap turn left it.
void exchange_motion(int slot);
void carry_motion();

// A spin of the shown coordinates a toward b at rate degrees a second,
// either way: a whole number of frames to the turn, so that the last frame
// leads back into the first.
long turn_frames_motion(float rate);
Spin plane_spin_motion(int a, int b, float rate);

// The rate of a plane spin in degrees a second, as it was asked for to
// float precision.
float rate_motion(const Spin* spin);

// Moves a running tour one step, after a frame is drawn, as a spin moves.
void advance_tour_motion();
