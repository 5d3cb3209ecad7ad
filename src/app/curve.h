// The double curve of the surface's shadow as the frame draws it: found on
// a thread of its own for the view on show, and drawn through the same
// stages as the surface, lifted to R^m. Above each of its points lie two of
// the surface, on the upper sheet (larger w) and the lower; the curve is
// drawn on the upper, in a dark ink, over the decker sets, the upper in the
// map's red and the lower in its blue. The broken-surface diagram cuts the
// lower sheet away along the curve through a band, drawn from the points
// midway between the two, which hold the w that tells the sheets apart.
#pragma once

#include "draw/shapes.h"

// Keeps the curve in step with the view, once a frame before it is drawn:
// a job is started when the view moves and none is under way, and the curve
// of the last one finished is drawn meanwhile; the window never waits for
// it, a frame without a window (a picture, a clip) waits for its own.
void update_curve();

// Whether the curve is asked for, so that the frame has a program for lines.
bool wanted_curve();

// Draws the curve and its decker sets with the frame's program for lines.
void draw_curve(const Programs* programs);

// Draws the band along the curve, width pixels across, and its edges, edge
// pixels wide, with the program whose fragment stage writes the w midway
// between the sheets; fetched as the frame's lines are.
void draw_band_curve(unsigned int program, bool fetched, float width, float edge);

// Stops the job and lets go of the curve and the copy of the surface.
void stop_curve();
