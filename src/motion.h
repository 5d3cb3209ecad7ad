// Motion: the view state beside the orientation. The 4-D turn of the shown
// coordinates, the zoom and pan of the picture, the spin, and where the
// lighting takes its normals from; the window, headless runs and the
// browser share it. Planes and slots number the shown coordinates x, y, z,
// w as 0, 1, 2, 3.
#pragma once

#include <cstddef>

#include <cglm/types.h>

enum Light {
    LIGHT_FILE,  // the file's normal components of the shown coordinates
    LIGHT_SHAPE, // the normal of the surface as drawn, from its geometry
};

enum SpinKind {
    SPIN_NONE,
    SPIN_TURN3, // a left drag let go while moving: turns q as that drag did
    SPIN_TURN4, // a right drag let go while moving: turns turn4 as that drag did
    SPIN_PLANE, // --spin: turns turn4 in one plane
};

struct Spin {
    SpinKind kind;
    float dx, dy; // drag spins: pixels a frame
    int a, b;     // plane spins: a turns toward b
    float step;   // plane spins: radians a frame
};

extern mat4 turn4;  // shown (x, y, z, w) = turn4 times the bound (x, y, z, w); identity at start
extern float zoom;  // magnification about the centre of the drawing area, 1/8 to 8; 1 at start
extern vec2 pan;    // the picture's shift before zoom, in half-sides of the drawing area; 0 at start
extern Light light; // LIGHT_FILE at start
extern Spin spin;   // SPIN_NONE at start

constexpr float min_zoom_motion = 0.125f;
constexpr float max_zoom_motion = 8.0f;

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

void set_light_motion(Light mode);

// turn4 to the identity, zoom 1, no pan, no spin; the lighting stays.
void reset_motion();

// Remembers that slot (0, 1, 2) was exchanged with w in the coordinate
// choice; carry_motion moves turn4 along once the new choice is bound, so
// that the picture goes on from where the swap turn left it.
void exchange_motion(int slot);
void carry_motion();

// Says that turn4, zoom, pan or the lighting were set directly.
void touch_motion();

// Whether turn4, zoom, pan or the lighting changed since the last call;
// turn4 is made orthonormal again first.
int take_change_motion();

// The slots of a plane name such as "xw" (one of xy, xz, yz, xw, yw, zw).
// Returns 1, or 0 for any other text.
int plane_motion(const char* name, size_t length, int* a, int* b);
