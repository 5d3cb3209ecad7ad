// The legend of colour by w, in the lower right corner of the drawing area,
// away from the gizmo: the map as a bar with -s, 0 and +s under it, s the
// map's scale; and the slice's centre c over it while it moves.
#pragma once

// Draws the legend over the frame: the map when map is true, and the centre
// c when centre is true; leaves the viewport and the depth test as they
// were, but for the program and the vertex array.
void draw_legend(bool map, float scale, bool centre, float c);
