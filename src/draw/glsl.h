// The GLSL stages: the vertex stage with the four-dimensional coordinate
// swap (in two forms: four coordinates bound, or all m through a frame), the
// lit fragment stage and the plain (unlit) fragment stage, and the stages
// made from them for the cues and the finish: colour by w, transparent
// layers, and the pass that lays the layers over the picture.
#pragma once

extern const char* const vs;
extern const char* const vs_frame; // the same through a frame of R^m
extern const char* const fs;
extern const char* const fs_plain;

// The vertex stage, bound to the coordinate choice (vs) or through a frame
// (vs_frame), taking the tangent planes for smooth light or not.
const char* vertex_glsl(bool smooth, bool framed);

// The lit fragment stage, coloured by w or not, writing the picture or the
// transparent layers; fs for neither.
const char* lit_glsl(bool tint, bool layered);

// The plain fragment stage, coloured by w or not; fs_plain for not.
const char* plain_glsl(bool tint);

// The pass that lays the transparent layers over the picture: a triangle
// over the viewport, and the layers' mean colour over what they let through.
extern const char* const composite_vs;
extern const char* const composite_fs;
