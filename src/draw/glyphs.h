// Text as line segments: a small stroke font for the labels drawn in GL, the
// gizmo's axes and the legend of the colour map. It has the digits, '.',
// '-', '+', '=' and the letters c, e, s, w, x, y, z; any other character
// advances as a blank. A glyph is 4 units wide, capitals and digits 6 high
// above the baseline, small letters 4, y's tail 2 below, and each advances
// by 6.
#pragma once

// Writes the segments that draw text with its baseline starting at (x, y),
// capitals height high, as x0 y0 x1 y1 each, at most capacity of them.
// Returns how many it wrote.
int write_glyphs(const char* text, float x, float y, float height, float* segments, int capacity);

// The width that text takes at that height, from the first glyph's left to
// the last one's right.
float width_glyphs(const char* text, float height);
