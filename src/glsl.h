// The GLSL stages: the vertex stage with the four-dimensional coordinate
// swap, the lit fragment stage and the plain (unlit) fragment stage.
#pragma once

extern const char* const vs;
extern const char* const fs;
extern const char* const fs_plain;
