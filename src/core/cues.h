// Cues to the hidden coordinate: the cool-warm map that colours by w, and
// the slice's width and the 4-D eye's distance in effect. The cues' switches
// and values are fields of the view record.
#pragma once

#include <cstdint>

// Samples of the cool-warm map at 33 evenly spaced points from -s to +s,
// RGB from 0 to 1, worked out in Moreland's Msh space.
constexpr int ramp_size_cues = 33;
void ramp_cues(float rgb[][3]);

// The map's colour at t from 0 (blue) to 1 (red), 8-bit RGB.
void tint_cues(double t, uint8_t* rgb);

// The map's scale, the slice's width and the eye's distance in effect: as
// given, or from s.
float tint_scale_cues();
float slice_width_cues();
float eye4_at_cues();

// Moves the slice by sign times a 240th of its travel from -s to +s: held,
// [ and ] cross it in 4 seconds.
void move_slice_cues(float sign);
