// The GL context: entry points, the fixed GL state and clearing the frame.
#pragma once

#include <cstddef>
#include <cstdint>

// Non-zero when a current context offers desktop GL 3.3 or later.
int init_context();

// Names the current context's API and version, e.g. "OpenGL 3.0", for the
// report of a context that init_context refuses.
void describe_context(char* text, size_t size);

// Turns depth testing on and sets the clear colour from 8-bit channels.
void set_clean_color_context(uint8_t r, uint8_t g, uint8_t b);

// Pushes filled triangles back a little in depth, so that the wireframe
// drawn over them wins every pixel the two share instead of about half.
void set_offset_context();

// Cuts away what lies beyond the 4-D eye, and what lies outside the slice,
// or stops doing so.
void set_clip_context(bool eye4, bool slice);

// Clears colour and depth of the whole window.
void clean_context();

// Takes the errors earlier calls left, so that they are not taken for the
// next call's; a lost context reports one for ever, hence a bound.
void drop_errors_context();
