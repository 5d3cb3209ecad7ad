// View text: a whole view as a small text that restores the same picture, one "key = values" line a field of
// the view after a version line. One table of fields gives the one writer and the one reader of view text,
// which links follow too.
//
//     plexorama-view 3
//     q = X Y Z W
//     axis1 = X Y Z
//     axis2 = X Y Z
//     axis3 = X Y Z
//     show = A B C D
//     turn4 = 16 floats, row by row: shown = turn4 (x, y, z, w)
//     zoom = F
//     pan = X Y
//     light = file | shape | smooth
//     color = fixed | w
//     slice = C DELTA | off     (DELTA 0: s / 16)
//     eye4 = D | off            (D 0: 3 s)
//     gizmo = on | off
//     wire = on | off
//     frame = 4 m floats, row by row, in place of show and turn4: shown = frame c
//     tour = off | KIND SEED SPEED TARGET running|paused
//                               (KIND grand, little, guided=fewest-crossings or guided=spread)
//     scale = S                 (the colour map's s; 0: the measured s)
//     aa = 1 | 2 | 4 | 8        (samples a pixel)
//     opacity = A               (above 0 to 1)
//     stereo = off | anaglyph | side-by-side
//     eyes = D                  (the eyes' distance apart)
//
// Floats are printed with nine significant digits, which read back to the
// same float; the coordinates shown as x, y, z and hidden as w count from 1.
// Version 1 files hold the first five keys, version 2 files the keys to
// wire; any file may leave out the others, which then take their values at
// start, or a base scene's. Lines may end in CR LF;
// blank lines, lines starting with '#' and blanks around '=' are allowed.
#pragma once

#include <cstddef>

#include "core/view.h"

// Writes the text of a view file into text, NUL-terminated. Returns its
// length, or the length it needs when size is too small.
size_t format_view(const View* scene, char* text, size_t size);

// The longest line and the largest file of view text: a frame of R^255 is a
// line of at most 16,328 characters, 1,020 floats of up to 16 with their blanks.
constexpr size_t longest_line_view = 24 * 1024;
constexpr size_t longest_view = 64 * 1024;

// Reads the text of a view file, which need not end in NUL. Returns none
// when it is valid and scene holds it, else what is wrong, as a phrase that
// names the line where there is one. An orientation of another length than
// 1 is brought to length 1. A frame must be of R^dim unless dim is 0.
const char* parse_view(const char* text, size_t length, View* scene, uint8_t dim = 0);

// The same over a base scene: the keys left out keep base's values (but for
// its frame) and, when partial, the keys every file holds may be left out too.
const char* parse_over_view(
    const char* text, size_t length, const View* base, bool partial, View* scene, uint8_t dim = 0);
