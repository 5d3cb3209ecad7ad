// View uniforms: the fixed camera "fix", the rotation "rot" from the
// orientation quaternion, and the surface colour "color".
#pragma once

#include <cstdint>

extern uint8_t color[4]; // R, G, B, A; 47, 60, 126, 255, a dark opaque blue

void fix_matrix_load(unsigned int program, float aspect);
void rot_matrix_load(unsigned int program, const float* q);
void color_load(unsigned int program, const uint8_t* c);

// The values the loaders upload, column-major where a matrix.
void __fix_matrix_load(float aspect, float* matrix);
void __rot_matrix_load(const float* q, float* matrix);
void __color_vector_load(const uint8_t* c, float* vector);
