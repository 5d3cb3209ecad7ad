// Saved views: the orientation, the three turning axes and the four shown
// coordinates, as a small text file that restores the same picture.
//
//     plexorama-view 1
//     q = X Y Z W
//     axis1 = X Y Z
//     axis2 = X Y Z
//     axis3 = X Y Z
//     show = A B C D
//
// Floats are printed with nine significant digits, which read back to the
// same float; the coordinates shown as x, y, z and hidden as w count from 1.
#pragma once

#include <cstddef>
#include <cstdint>

struct View {
    float q[4];       // orientation, x, y, z, w with w real
    float axis[3][3]; // the surface's own x, y, z axes as turned
    uint8_t show[4];  // coordinates shown as x, y, z and hidden as w, from 0
};

// Writes the text of a view file into text, NUL-terminated. Returns its
// length, or the length it needs when size is too small.
size_t format_view(const View* view, char* text, size_t size);

// Reads the text of a view file, which need not end in NUL. Returns none
// when it is valid and view holds it, else what is wrong, as a phrase.
const char* parse_view(const char* text, size_t length, View* view);

// Reads a view file. Returns none on success, else why not.
const char* read_view(const char* path, View* view);

// Writes a view file whole or not at all. Returns 1, or 0 with errno set.
int write_view(const char* path, const View* view);
