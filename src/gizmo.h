// The axes gizmo: in the lower left corner of the drawing area, the images
// of the four shown coordinate axes after the 4-D turn and the orientation,
// x red, y green, z blue and w magenta, so that a user sees where the
// hidden axis points. Its GL objects are made the first time it is drawn.
#pragma once

// Draws the gizmo over the frame for the orientation q (x, y, z, w) and the
// 4-D turn (16 floats, column by column); leaves the viewport, depth test
// and program as the frame had them, but for the current program.
void draw_gizmo(const float* q, const float* turn4);

// Deletes its GL objects, if it made any.
void destroy_gizmo();
