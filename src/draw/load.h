// View uniforms: the fixed camera "fix", the rotation "rot" from the
// orientation quaternion, the surface colour "color", the 4-D turn "turn4",
// the "zoom" and "pan" of the picture, the "light" mode, and the cues to w:
// "reach", "slice", "eye4" and the map's "scale"; the map itself as a
// texture; the eyes' cameras of stereo.
#pragma once

#include <cstdint>

#include "core/view.h"

extern uint8_t color[4]; // R, G, B, A; 47, 60, 126, 255, a dark opaque blue

void fix_matrix_load(unsigned int program, float aspect);
// The width of a pixel at the depth of the origin, in the shown coordinates
// before zoom, of a square picture side pixels wide.
double pixel_load(int side);
// The camera of an eye moved sideways by eye, to the viewer's right when
// above 0, its view sheared so that the plane through the origin that
// faces the camera is seen where the centred camera sees it.
void fix_eye_matrix_load(unsigned int program, float aspect, float eye);
void rot_matrix_load(unsigned int program, const float* q);
void color_load(unsigned int program, const uint8_t* c);
// The 4-D turn, zoom, pan and lighting of a view.
void motion_load(unsigned int program, const View* v);
// The cues of a view: s, the slice and the 4-D eye.
void cues_load(unsigned int program, const View* v);
// The map's scale in effect, for the stages that colour by w.
void tint_load(unsigned int program);
// A texture of the map's samples in linear light, 33 texels in a row, bound
// to unit 0; 0 when it cannot be had.
unsigned int create_map_load();
// What a program that reads through a frame of R^m needs: the texture units
// of the coordinates and the normals, the frame's block at binding 0, and m.
void frame_load(unsigned int program, int coords_unit, int normals_unit, int dim);

// The values the loaders upload, column-major where a matrix.
void __fix_matrix_load(float aspect, float* matrix);
void __fix_eye_matrix_load(float aspect, float eye, float* matrix);
void __rot_matrix_load(const float* q, float* matrix);
void __color_vector_load(const uint8_t* c, float* vector);
