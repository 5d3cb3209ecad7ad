// The axes gizmo: in the lower left corner of the drawing area, the images
// of the four shown coordinate axes after the 4-D turn and the orientation,
// x red, y green, z blue and w magenta, each named by its letter, so that a
// user sees where the hidden axis points.
#pragma once

// Draws the gizmo over the frame for the orientation q (x, y, z, w) and the
// 4-D turn (16 floats, column by column); leaves the viewport and the depth
// test as the frame had them, but for the program and the vertex array.
void draw_gizmo(const float* q, const float* turn4);
