// Cues to the hidden coordinate: colour by w, a slice of the surface about
// the hyperplane w = c, the perspective from an eye on the w axis, the axes
// gizmo and the wireframe switch. w is the hidden coordinate as shown, after
// the 4-D turn and any swap turn. All are off at start but the wireframe.
#pragma once

#include <cstdint>

#include "mesh.h"

enum Tint {
    TINT_FIXED, // the surface's one colour
    TINT_W,     // the cool-warm map of w, blue at -s, grey at 0, red at +s
};

struct Cues {
    Tint tint;
    bool slice;        // only what lies within slice_width of w = slice_at
    float slice_at;    // c
    float slice_width; // delta; 0: s / 16
    bool eye4;         // the 4-D perspective
    float eye4_at;     // the eye's distance d on the w axis; 0: 3 s
    bool gizmo;        // the images of the four axes in the lower left corner
    bool wire;         // the wireframe over the filled surface
};

extern Cues cues;  // all off, the wireframe on
extern float reach; // s, the largest length of the shown (x, y, z, w) over the surface; 0 with none

// Samples of the cool-warm map at 33 evenly spaced points from -s to +s,
// RGB from 0 to 1, worked out in Moreland's Msh space.
constexpr int ramp_size_cues = 33;
void ramp_cues(float rgb[][3]);

// The map's colour at t from 0 (blue) to 1 (red), 8-bit RGB.
void tint_cues(double t, uint8_t* rgb);

// The slice's width and the eye's distance in effect: as given, or from s.
float slice_width_cues();
float eye4_at_cues();

// Moves the slice by sign times a 240th of its travel from -s to +s: held,
// [ and ] cross it in 4 seconds.
void move_slice_cues(float sign);

// Says that a cue was set directly.
void touch_cues();

// Whether the cues' uniforms must be uploaded again: a cue changed, or s,
// which is measured again whenever the surface or its shown coordinates
// change while a cue needs it.
int take_change_cues(Projection p);
