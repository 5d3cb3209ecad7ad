// Text on the picture in a real typeface: the gizmo's names and the
// legend's title and numbers. On the desktop Dear ImGui rasterises DejaVu
// Sans (Debian's fonts-dejavu-core; ImGui's own font where it is missing)
// at the size asked for, into a texture a size; in the page the browser
// writes it on a canvas over the picture. Sizes are the height of a digit,
// in pixels.
#pragma once

#include "core/labels.h"

// The ink's box of text whose baseline starts at the origin, in pixels,
// digits pixels tall; an empty box for empty text.
Box measure_text(const char* text, float digits);

// Writes text in colour rgb (0 to 1) with its baseline starting at (x, y),
// in pixels from the lower left of the viewport, over what is drawn;
// leaves the depth test on and the blending off.
void draw_text(const char* text, float x, float y, float digits, const float* rgb);

// A label as written: its text, digit height, and the ink's box in pixels
// of the framebuffer from its lower left.
struct TextDrawn {
    char text[24];
    float digits;
    Box box;
};

// What was written since the last clear_text, at most 64 labels. Returns
// how many.
int drawn_text(const TextDrawn** drawn);

// Starts a frame's text: forgets what was written before (and in the page,
// wipes it off).
void clear_text();

// The typeface's TrueType bytes, for the control panel to use as well; none
// where DejaVu Sans cannot be read.
const unsigned char* font_text(int* size);

// Deletes its GL objects and textures, if it made any.
void destroy_text();
