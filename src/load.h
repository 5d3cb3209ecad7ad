// View uniforms: the fixed camera "fix", the rotation "rot" from the
// orientation quaternion, the surface colour "color", the 4-D turn "turn4",
// the "zoom" and "pan" of the picture, the "light" mode, and the cues to w:
// "reach", "slice", "eye4" and the map's samples "ramp".
#pragma once

#include <cstdint>

#include "cues.h"

extern uint8_t color[4]; // R, G, B, A; 47, 60, 126, 255, a dark opaque blue

void fix_matrix_load(unsigned int program, float aspect);
void rot_matrix_load(unsigned int program, const float* q);
void color_load(unsigned int program, const uint8_t* c);
void turn4_matrix_load(unsigned int program, const float* turn4);
void zoom_load(unsigned int program, float zoom, const float* pan);
void light_load(unsigned int program, int light);
void cues_load(unsigned int program, const Cues* cues, float reach);
void ramp_load(unsigned int program);

// The values the loaders upload, column-major where a matrix.
void __fix_matrix_load(float aspect, float* matrix);
void __rot_matrix_load(const float* q, float* matrix);
void __color_vector_load(const uint8_t* c, float* vector);
