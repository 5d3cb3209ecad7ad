// What the files of rendering share: the stages the programs are built
// for, the programs and the GL objects of the frame, and the passes that
// draw the shapes and finish the picture.
#pragma once

#include "core/view.h"

// What the programs' stages are made for.
struct Stages {
    Tint tint;
    bool framed;     // they read the surface through a frame of R^m
    uint8_t columns; // its m, where they read every coordinate from attributes; else 0
    bool layered;    // the lit program draws a transparent surface's layers
    bool smooth;     // the lit program takes the tangent planes
    bool lines;      // lines are on show, and need a program of their own
    bool points;     // and points
    bool fetched;    // lines and points fetch their coordinates through a frame of R^m
    bool tubes;      // lines are lit as tubes
    bool painted;    // some triangles have a colour a vertex
    bool broken;     // the surface is cut along the band of the double curve
    bool operator==(const Stages&) const = default;
};

// The programs in use beside `shader` and `shader_plain`, and the GL
// objects of the frame that the passes share.
struct Rendering {
    Stages built;             // what the programs' stages are made for
    unsigned int lines;       // the program of lines
    unsigned int points;      // and of points
    unsigned int band;        // draws the band that cuts the surface; 0 while the surface is whole
    unsigned int frame_block; // the frame's columns, for the programs that read through one
    unsigned int map;         // the map's texture, made when first coloured by w
    bool layers_refused;      // set once the layers could not be made: transparency blends plainly then
};

extern Rendering rendering;

// Every program there is, for the uniforms they all take.
struct Every {
    unsigned int list[5];
    int count;
    const unsigned int* begin() const { return list; }
    const unsigned int* end() const { return list + count; }
};

Every every();

// The widths of lines and points in this frame's pixels.
void sizes_passes();

// The shapes and the overlays, drawn straight into the window's picture.
void draw_passes(const float* orientation);

// The same through the render targets that anti-alias, blend the layers
// of a transparent surface and draw each eye, then the picture finished.
void finish_passes(const float* orientation);
