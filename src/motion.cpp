// Motion: the 4-D turn, zoom, pan, spin and lighting, computed with cglm.
#include "motion.h"

#include <cmath>
#include <cstring>

#include <cglm/cglm.h>

mat4 turn4 = GLM_MAT4_IDENTITY_INIT;
float zoom = 1.0f;
vec2 pan = {0.0f, 0.0f};
Light light = LIGHT_FILE;
Spin spin = {SPIN_NONE, 0.0f, 0.0f, 0, 0, 0.0f};

// The slot each slot's coordinate moved to since the last binding.
static int moved[4] = {0, 1, 2, 3};
static bool changed = false;

// The rotation in the plane of the orthonormal u and v that carries v
// toward u by angle, applied to turn4 from the left: in the shown space.
static void __rotate_motion(const vec4 u, const vec4 v, float angle)
{
    float c = cosf(angle), s = sinf(angle);
    mat4 g, turned;
    for (int j = 0; j < 4; j++)
        for (int i = 0; i < 4; i++)
            g[j][i] = static_cast<float>(i == j) + (c - 1.0f) * (u[i] * u[j] + v[i] * v[j]) + s * (u[i] * v[j] - v[i] * u[j]);
    glm_mat4_mul(g, turn4, turned);
    glm_mat4_copy(turned, turn4);
    changed = true;
}

void turn_plane_motion(int a, int b, float angle)
{
    vec4 u = {0.0f, 0.0f, 0.0f, 0.0f}, v = {0.0f, 0.0f, 0.0f, 0.0f};
    u[a] = 1.0f;
    v[b] = 1.0f;
    // Carrying b toward a turns a's content toward b's.
    __rotate_motion(u, v, angle);
}

void drag_motion(const float* q, float dx, float dy, int side)
{
    if (side <= 0 || (dx == 0.0f && dy == 0.0f))
        return;
    // The camera draws +x to the left; the rows of the orientation's matrix
    // are the screen's axes among the shown coordinates.
    versor orientation = {q[0], q[1], q[2], q[3]};
    mat4 r;
    glm_quat_mat4(orientation, r);
    const vec4 right = {-r[0][0], -r[1][0], -r[2][0], 0.0f};
    const vec4 up = {r[0][1], r[1][1], r[2][1], 0.0f};
    const vec4 w = {0.0f, 0.0f, 0.0f, 1.0f};
    float half_turns = GLM_PIf / static_cast<float>(side);
    if (dx != 0.0f)
        __rotate_motion(right, w, dx * half_turns);
    // Window rows count down; dragging up brings +w up.
    if (dy != 0.0f)
        __rotate_motion(up, w, -dy * half_turns);
}

void zoom_motion(float steps)
{
    float zoomed = zoom * powf(1.1f, steps);
    if (!std::isfinite(zoomed))
        return;
    zoom = glm_clamp(zoomed, min_zoom_motion, max_zoom_motion);
    changed = true;
}

void pan_motion(float dx, float dy, int side)
{
    if (side <= 0)
        return;
    // Before zoom, so that the picture follows the pointer at any zoom.
    pan[0] += 2.0f * dx / static_cast<float>(side) / zoom;
    pan[1] -= 2.0f * dy / static_cast<float>(side) / zoom;
    changed = true;
}

void set_light_motion(Light mode)
{
    changed = changed || light != mode;
    light = mode;
}

void reset_motion()
{
    glm_mat4_identity(turn4);
    zoom = 1.0f;
    glm_vec2_zero(pan);
    spin = {SPIN_NONE, 0.0f, 0.0f, 0, 0, 0.0f};
    changed = true;
}

void exchange_motion(int slot)
{
    for (int& to : moved)
        if (to == slot || to == 3)
            to = to == slot ? 3 : slot;
}

void carry_motion()
{
    // The coordinate bound at slot i is now bound at moved[i], so the shown
    // space takes the same permutation on both sides of turn4; the identity
    // stays the identity.
    mat4 carried;
    for (int j = 0; j < 4; j++)
        for (int i = 0; i < 4; i++)
            carried[moved[j]][moved[i]] = turn4[j][i];
    if (memcmp(carried, turn4, sizeof carried) != 0) {
        glm_mat4_copy(carried, turn4);
        changed = true;
    }
    for (int i = 0; i < 4; i++)
        moved[i] = i;
}

// Gram-Schmidt on the rows: each turn is exact only to float rounding,
// and thousands of them would shear and scale the picture.
static void __orthonormalise_motion()
{
    mat4 rows;
    glm_mat4_transpose_to(turn4, rows);
    for (int i = 0; i < 4; i++) {
        for (int j = 0; j < i; j++) {
            vec4 part;
            glm_vec4_scale(rows[j], glm_vec4_dot(rows[i], rows[j]), part);
            glm_vec4_sub(rows[i], part, rows[i]);
        }
        glm_vec4_normalize(rows[i]);
    }
    glm_mat4_transpose_to(rows, turn4);
}

void touch_motion()
{
    changed = true;
}

int take_change_motion()
{
    if (!changed)
        return 0;
    __orthonormalise_motion();
    changed = false;
    return 1;
}

int plane_motion(const char* name, size_t length, int* a, int* b)
{
    static const char* const planes[] = {"xy", "xz", "yz", "xw", "yw", "zw"};
    if (length != 2)
        return 0;
    for (const char* plane : planes)
        if (strncmp(name, plane, 2) == 0) {
            *a = plane[0] == 'w' ? 3 : plane[0] - 'x';
            *b = plane[1] == 'w' ? 3 : plane[1] - 'x';
            return 1;
        }
    return 0;
}
