// The GLSL stages: the vertex stage with the four-dimensional coordinate
// swap, the lit fragment stage and the plain (unlit) fragment stage, and
// the two fragment stages that colour by w in their place.
#pragma once

extern const char* const vs;
extern const char* const fs;
extern const char* const fs_plain;
extern const char* const fs_tint;
extern const char* const fs_plain_tint;
