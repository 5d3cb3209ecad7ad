// The axes gizmo: in the lower left corner of the drawing area, where the
// surface's coordinate axes point after the frame, the 4-D turn and the
// orientation. Of four coordinates it draws x red, y green, z blue and w
// magenta, each named by its letter; of more, each coordinate's axis is
// numbered and coloured by its share of w, at most the 16 longest. The ends
// of the axes drawn last can be picked and aimed, to pull a coordinate's
// direction about.
#pragma once

// Draws the gizmo over the frame for the orientation q (x, y, z, w) and the
// view on show; leaves the viewport and the depth test as the frame had
// them, but for the program and the vertex array.
void draw_gizmo(const float* q);

// The coordinate whose axis, as last drawn, ends nearest the point (u, v) of
// the gizmo's corner (-1 to 1 across and up it), within reach of a pointer;
// -1 for none.
int pick_gizmo(float u, float v);

// The direction, as a column of the frame of R^m (4 floats), that puts the
// end of coordinate k's axis at the point (u, v) under the same turn and
// orientation as it was last drawn, its depth and w kept where they can be.
void aim_gizmo(int k, float u, float v, float* column);
