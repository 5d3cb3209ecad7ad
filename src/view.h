// Saved views: the orientation, the three turning axes, the four shown
// coordinates and the 4-D turn, zoom, pan and lighting, as a small text file
// that restores the same picture.
//
//     plexorama-view 2
//     q = X Y Z W
//     axis1 = X Y Z
//     axis2 = X Y Z
//     axis3 = X Y Z
//     show = A B C D
//     turn4 = 16 floats, row by row: shown = turn4 (x, y, z, w)
//     zoom = F
//     pan = X Y
//     light = file | shape
//     color = fixed | w
//     slice = C DELTA | off     (DELTA 0: s / 16)
//     eye4 = D | off            (D 0: 3 s)
//     gizmo = on | off
//     wire = on | off
//
// Floats are printed with nine significant digits, which read back to the
// same float; the coordinates shown as x, y, z and hidden as w count from 1.
// Version 1 files hold the first five keys; any file may leave out the
// others, which then take their values at start. Lines may end in CR LF; blank lines, lines starting with
// '#' and blanks around '=' are allowed.
#pragma once

#include <cstddef>
#include <cstdint>

struct View {
    float q[4];       // orientation, x, y, z, w with w real
    float axis[3][3]; // the surface's own x, y, z axes as turned
    uint8_t show[4];  // coordinates shown as x, y, z and hidden as w, from 0
    float turn4[16];  // the 4-D turn, row by row; orthonormal
    float zoom;       // 1/8 to 8
    float pan[2];
    int32_t light; // 0 from the file's normals, 1 from the shape
    int32_t tint;  // 0 the surface's colour, 1 the map of w
    int32_t slice; // 1 with a slice
    float band[2]; // the slice's c and delta
    int32_t eye4; // 1 with the 4-D perspective
    float eye4_at;
    int32_t gizmo, wire;
};

// The view of a fresh viewer: no turn, the first four coordinates shown.
extern const View initial_view;

// Writes the text of a view file into text, NUL-terminated. Returns its
// length, or the length it needs when size is too small.
size_t format_view(const View* view, char* text, size_t size);

// Reads the text of a view file, which need not end in NUL. Returns none
// when it is valid and view holds it, else what is wrong, as a phrase that
// names the line where there is one.
const char* parse_view(const char* text, size_t length, View* view);

// Reads a view file. Returns none on success, else why not.
const char* read_view(const char* path, View* view);

// Writes a view file whole or not at all. Returns 1, or 0 with errno set.
int write_view(const char* path, const View* view);
