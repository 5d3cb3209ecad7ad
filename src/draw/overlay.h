// Overlays: flat coloured lines and triangles drawn over the frame, with a
// program of their own, for the gizmo and the legend. Positions are in the
// viewport's own terms, -1 to 1 across and up the picture. Its GL objects
// are made the first time it draws.
#pragma once

struct OverlayVertex {
    float x, y;
    float r, g, b;
};

// Draws count vertices, two to a line or three to a triangle, without the
// depth test; leaves the program, the vertex array and (for triangles) the
// polygon mode changed, the depth test on.
void draw_overlay(const OverlayVertex* vertices, int count, bool lines);

// The viewport of a square corner of the drawing area, side / 4 wide,
// side / 64 in from its edges: the lower left one, or the lower right.
// Returns the drawing area's side in pixels and puts the drawing area's
// viewport in whole.
int corner_overlay(bool right, int* whole);

// Deletes its GL objects, if it made any.
void destroy_overlay();
