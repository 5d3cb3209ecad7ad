// The legend of colour by w, in the lower right corner of the drawing area,
// away from the gizmo: the map as a bar titled w with ticks at -s, 0 and
// +s, s the map's scale; and the slice's centre c over it while it moves.
// Its numbers are a 40th of the area's side tall, and never under 10 pixels.
#pragma once

// Draws the legend over the frame: the map when map is true, and the centre
// c when centre is true; leaves the viewport and the depth test as they
// were, but for the program and the vertex array.
void draw_legend(bool map, float scale, bool centre, float c);
