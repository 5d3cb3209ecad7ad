// The GLSL stages: the vertex stage with the four-dimensional coordinate
// swap (in two forms: four coordinates bound, or all m through a frame), the lit fragment stage and the plain (unlit) fragment stage, and
// the two fragment stages that colour by w in their place.
#pragma once

extern const char* const vs;
extern const char* const vs_frame; // the same through a frame of R^m
extern const char* const fs;
extern const char* const fs_plain;
extern const char* const fs_tint;
extern const char* const fs_plain_tint;
