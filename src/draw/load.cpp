// View uniforms: camera, rotation and colour, computed with cglm.
#include "draw/load.h"

#include <cmath>
#include <cstring>

#include <cglm/cglm.h>

#include "core/cues.h"
#include "draw/platform.h"
#include "draw/shader.h"

uint8_t color[4] = {47, 60, 126, 255};

// The camera stands at distance 7 on the negative z side looking at the
// origin, so the depth range -3 <= z <= 3 around the origin is visible, and
// sees 30 degrees from bottom to top.
static const int distance_load = 7;
static const float field_load = GLM_PIf / 6.0f;

void __fix_matrix_load(float aspect, float* matrix)
{
    vec3 eye = {0.0f, 0.0f, static_cast<float>(-distance_load)};
    vec3 centre = {0.0f, 0.0f, 0.0f};
    vec3 up = {0.0f, 1.0f, 0.0f};

    mat4 view, projection_matrix, fix;
    glm_lookat(eye, centre, up, view);
    glm_perspective(field_load, aspect, static_cast<float>(distance_load - 3),
        static_cast<float>(distance_load + 3), projection_matrix);
    glm_mat4_mul(projection_matrix, view, fix);
    memcpy(matrix, fix, sizeof fix);
}

void __fix_eye_matrix_load(float aspect, float eye, float* matrix)
{
    __fix_matrix_load(aspect, matrix);
    if (eye == 0.0f)
        return;
    // The camera's right is the surface's -x. Moved there by eye, the view
    // is sheared back in proportion to the depth, by as much at the depth
    // of the origin, 7: x_clip = c (X - eye) + c eye (-Z) / 7 in the
    // camera's own terms, whose first part is fix times a shift of x by eye.
    mat4 fix, shift = GLM_MAT4_IDENTITY_INIT, shear = GLM_MAT4_IDENTITY_INIT, moved;
    memcpy(fix, matrix, sizeof fix);
    shift[3][0] = eye;
    glm_mat4_mul(fix, shift, moved);
    // w_clip is -Z; x_clip gains c eye w_clip / 7, c the scale of x at w 1.
    shear[3][0] = fix[0][0] == 0.0f ? 0.0f : -fix[0][0] * eye / 7.0f;
    glm_mat4_mul(shear, moved, fix);
    memcpy(matrix, fix, sizeof fix);
}

void __rot_matrix_load(const float* q, float* matrix)
{
    versor quaternion = {q[0], q[1], q[2], q[3]};
    mat4 rot;
    glm_quat_mat4(quaternion, rot);
    memcpy(matrix, rot, sizeof rot);
}

void __color_vector_load(const uint8_t* c, float* vector)
{
    for (int k = 0; k < 4; k++)
        vector[k] = c[k] / 255.0f;
}

void fix_matrix_load(unsigned int program, float aspect)
{
    float fix[16];
    __fix_matrix_load(aspect, fix);
    load_mat4_to_shader(program, "fix", fix);
}

double pixel_load(int side)
{
    return 2.0 * distance_load * std::tan(field_load / 2.0) / side;
}

void fix_eye_matrix_load(unsigned int program, float aspect, float eye)
{
    float fix[16];
    __fix_eye_matrix_load(aspect, eye, fix);
    load_mat4_to_shader(program, "fix", fix);
}

void rot_matrix_load(unsigned int program, const float* q)
{
    float rot[16];
    __rot_matrix_load(q, rot);
    load_mat4_to_shader(program, "rot", rot);
}

void color_load(unsigned int program, const uint8_t* c)
{
    float vector[4];
    __color_vector_load(c, vector);
    load_float4_to_shader(program, "color", vector);
}

void motion_load(unsigned int program, const View* v)
{
    load_mat4_to_shader(program, "turn4", v->turn4[0]);
    load_float_to_shader(program, "zoom", v->zoom);
    load_float2_to_shader(program, "pan", v->pan);
    load_float_to_shader(program, "light", static_cast<float>(v->light));
}

void cues_load(unsigned int program, const View* v)
{
    load_float_to_shader(program, "reach", v->reach);
    const float slice[2] = {v->cues.slice_at, v->cues.slice ? slice_width_cues() : 0.0f};
    load_float2_to_shader(program, "slice", slice);
    load_float_to_shader(program, "eye4", v->cues.eye4 ? eye4_at_cues() : 0.0f);
}

void tint_load(unsigned int program)
{
    load_float_to_shader(program, "scale", tint_scale_cues());
}

unsigned int create_map_load()
{
    // The stages light the map in linear light.
    float ramp[ramp_size_cues][3];
    ramp_cues(ramp);
    for (auto& sample : ramp)
        for (float& channel : sample)
            channel = powf(channel, 2.2f);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB16F, ramp_size_cues, 1, 0, GL_RGB, GL_FLOAT, ramp);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return texture;
}

void frame_load(unsigned int program, int coords_unit, int normals_unit, int dim)
{
    load_int_to_shader(program, "coords", coords_unit);
    load_int_to_shader(program, "normals", normals_unit);
    load_int_to_shader(program, "dim", dim);
    load_block_to_shader(program, "Frame", 0);
}
