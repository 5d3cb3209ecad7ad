// GL programs: creation, adding compiled stages, and single uniform uploads.
// Every upload makes its program current first.
#pragma once

// A new program id, 0 on failure.
unsigned int create_shader();

// Deletes the program; 0 is ignored without touching GL.
void destroy_shader(unsigned int program);

void use_shader(unsigned int program);

// Compiles source as stage 0 (vertex) or 1 (fragment), attaches it and
// re-links the program. On a compile error prints the info log (at most 255
// characters) and returns 0; returns 1 otherwise. The link is not checked.
int load_program_to_shader(unsigned int program, const char* source, int stage);

void load_float_to_shader(unsigned int program, const char* name, float value);
void load_int_to_shader(unsigned int program, const char* name, int value);
void load_int4_to_shader(unsigned int program, const char* name, const int* vector);

// Reads the uniform block of that name from the uniform buffer bound at binding.
void load_block_to_shader(unsigned int program, const char* name, unsigned int binding);
void load_mat4_to_shader(unsigned int program, const char* name, const float* matrix);
void load_float2_to_shader(unsigned int program, const char* name, const float* vector);
void load_float3_array_to_shader(unsigned int program, const char* name, int count, const float* vectors);
void load_float4_to_shader(unsigned int program, const char* name, const float* vector);
