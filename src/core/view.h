// The view: everything that decides the picture but the shapes and their
// colours: the orientation, the coordinate choice, the 4-D turn, the cues
// and the finish. One record, owned here and changed only through set_view,
// which notes what the frame must upload or bind again; view files, links,
// options, the panel, the page and headless runs all read and write it.
// Slots number the shown coordinates x, y, z, w as 0, 1, 2, 3.
#pragma once

#include <cstdint>

#include <cglm/types.h>

#include "core/frame.h"
#include "core/tour.h"

enum Light {
    LIGHT_FILE,   // the file's normal components of the shown coordinates
    LIGHT_SHAPE,  // the normal of the surface as drawn, from its geometry
    LIGHT_SMOOTH, // the same from the tangent planes at the vertices, interpolated
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

enum Tint {
    TINT_FIXED, // the surface's one colour
    TINT_W,     // the cool-warm map of w, blue at -scale, grey at 0, red at +scale
};

// Cues to the hidden coordinate w as shown, after the 4-D turn and any swap.
struct Cues {
    Tint tint;
    bool slice;        // only what lies within slice_width of w = slice_at
    float slice_at;    // c
    float slice_width; // delta; 0: s / 16
    bool eye4;         // the 4-D perspective
    float eye4_at;     // the eye's distance d on the w axis; 0: 3 s
    bool gizmo;        // the images of the four axes in the lower left corner
    bool wire;         // the wireframe over the filled surface
    float tint_scale;  // the map's scale as given; 0: s; below 0: the largest |w| shown
    bool curve;        // the double curve of the shadow, with its decker sets on the surface
    bool broken;       // along it the lower sheet cut away, as broken-surface diagrams draw it
};

enum Stereo {
    STEREO_OFF,
    STEREO_ANAGLYPH,     // the left eye's view in red, the right one's in cyan
    STEREO_SIDE_BY_SIDE, // the left eye's view in the left half, the right one's in the right
};

// Colours --colors may give, one a file.
constexpr int max_colors_view = 16;

// How the picture is finished.
struct Finish {
    int aa;        // samples a pixel: 1 (none), 2, 4 or 8
    float opacity; // of the filled surface, above 0 to 1
    Stereo stereo;
    float eyes;       // the eyes' distance apart, in the units of the shown coordinates
    float line_width; // lines, in pixels of the window: 2
    float point_size; // points across, in pixels of the window: 4
    float tubes;      // lines drawn as lit tubes of this radius in the shown units; 0 for none
    uint8_t colors[max_colors_view][3]; // each file's shapes' R, G, B in order, where it gives none
    int color_count;                    // how many
};

struct View {
    mat4 turn4; // shown (x, y, z, w) = turn4 times the bound (x, y, z, w)
    float zoom; // magnification about the centre of the drawing area, 1/8 to 8
    vec2 pan;   // the picture's shift before zoom, in half-sides of the drawing area
    Light light;
    Spin spin;
    Cues cues;
    Finish finish;
    float reach;      // s, the largest length of the shown (x, y, z, w) over the surface; 0 with none
    uint8_t moved[4]; // the slot each slot's coordinate goes to when a swap's new binding lands
    bool framed;      // shown (x, y, z, w) = turn4 frame c, not the coordinate choice
    Frame frame;      // with framed: a frame of R^m that is no coordinate choice
    Tour tour;
    float reach_w; // the largest |w| as shown over the surface, while the map's scale follows it; else 0
    versor q;      // orientation, x, y, z, w with w real; (0, 0, 0, 1) at start
    vec3 axis[3];  // the surface's own x, y and z axes as turned by q; never re-normalised
    uint8_t show[4]; // coordinates shown as x, y, z and hidden as w, from 0: the choice
    uint8_t dim;     // m of the shapes in view; 0 with none
};

// What set_view found changed, for the frame to act on.
enum Change {
    CHANGE_MOTION = 1, // turn4, zoom, pan or the lighting: their uniforms
    CHANGE_CUES = 2,   // the cues or s: their uniforms and clip planes
    CHANGE_FRAME = 4,  // the frame of R^m, or whether there is one
    CHANGE_FINISH = 8, // anti-aliasing, opacity or stereo: the framebuffers they need
    CHANGE_CHOICE = 16, // the coordinate choice, or m: the shapes' attributes
    CHANGE_COLORS = 32, // the files' colours: the shapes' own
};

// The view at start: no turn, zoom 1, the file's normals, the cues off but
// the wireframe, no spin, and the picture as the window draws it: no
// anti-aliasing, opaque, one eye.
extern const View initial_view;

// The view on show; read-only but through set_view.
extern const View& view;

// Puts next on show and notes what differs from the view before.
void set_view(const View* next);

// What changed since the last call, as Change bits; turn4 is made
// orthonormal again first when it did.
int take_changes_view();
