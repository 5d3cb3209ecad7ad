// Motion: the 4-D turn, zoom, pan, spin and swap, computed with cglm.
#include "core/motion.h"

#include <cmath>
#include <cstring>

#include <cglm/cglm.h>

#include "core/view.h"

uint8_t animate_index = 0;

// The rotation in the plane of the orthonormal u and v that carries v
// toward u by angle, applied to turn4 from the left: in the shown space.
static void __rotate_motion(View* next, const vec4 u, const vec4 v, float angle)
{
    float c = cosf(angle), s = sinf(angle);
    mat4 g, turned;
    for (int j = 0; j < 4; j++)
        for (int i = 0; i < 4; i++)
            g[j][i] = static_cast<float>(i == j) + (c - 1.0f) * (u[i] * u[j] + v[i] * v[j])
                + s * (u[i] * v[j] - v[i] * u[j]);
    glm_mat4_mul(g, next->turn4, turned);
    glm_mat4_copy(turned, next->turn4);
}

void turn_plane_motion(int a, int b, float angle)
{
    vec4 u = {0.0f, 0.0f, 0.0f, 0.0f}, v = {0.0f, 0.0f, 0.0f, 0.0f};
    u[a] = 1.0f;
    v[b] = 1.0f;
    // Carrying b toward a turns a's content toward b's.
    View next = view;
    __rotate_motion(&next, u, v, angle);
    set_view(&next);
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
    View next = view;
    if (dx != 0.0f)
        __rotate_motion(&next, right, w, dx * half_turns);
    // Window rows count down; dragging up brings +w up.
    if (dy != 0.0f)
        __rotate_motion(&next, up, w, -dy * half_turns);
    set_view(&next);
}

void zoom_motion(float steps)
{
    float zoomed = view.zoom * powf(1.1f, steps);
    if (!std::isfinite(zoomed))
        return;
    View next = view;
    next.zoom = glm_clamp(zoomed, min_zoom_motion, max_zoom_motion);
    set_view(&next);
}

void pan_motion(float dx, float dy, int side)
{
    if (side <= 0)
        return;
    // Before zoom, so that the picture follows the pointer at any zoom.
    View next = view;
    next.pan[0] += 2.0f * dx / static_cast<float>(side) / view.zoom;
    next.pan[1] -= 2.0f * dy / static_cast<float>(side) / view.zoom;
    set_view(&next);
}

void reset_motion()
{
    View next = view;
    glm_mat4_identity(next.turn4);
    next.zoom = 1.0f;
    glm_vec2_zero(next.pan);
    next.spin = initial_view.spin;
    set_view(&next);
}

void exchange_motion(int slot)
{
    View next = view;
    for (uint8_t& to : next.moved)
        if (to == slot || to == 3)
            to = to == slot ? 3 : static_cast<uint8_t>(slot);
    set_view(&next);
}

void carry_motion()
{
    // The coordinate bound at slot i is now bound at moved[i], so the shown
    // space takes the same permutation on both sides of turn4; the identity
    // stays the identity.
    View next = view;
    for (int j = 0; j < 4; j++)
        for (int i = 0; i < 4; i++)
            next.turn4[next.moved[j]][next.moved[i]] = view.turn4[j][i];
    // A frame of R^m exchanged its rows, as a choice its coordinates.
    if (next.framed)
        for (int j = 0; j < 4; j++)
            memcpy(next.frame.rows[next.moved[j]], view.frame.rows[j], sizeof next.frame.rows[j]);
    memcpy(next.moved, initial_view.moved, sizeof next.moved);
    set_view(&next);
}

long turn_frames_motion(float rate)
{
    // A rate within its range turns once in 6 to 21,600 frames; the bounds
    // keep any other from overflowing the conversion.
    double frames = std::round(360.0 * 60.0 / std::fabs(static_cast<double>(rate)));
    return frames >= 1.0 ? static_cast<long>(std::fmin(frames, 21600.0)) : 1;
}

Spin plane_spin_motion(int a, int b, float rate)
{
    float step = 2.0f * GLM_PIf / static_cast<float>(turn_frames_motion(rate));
    return {SPIN_PLANE, 0.0f, 0.0f, a, b, rate < 0.0f ? -step : step};
}

float rate_motion(const Spin* spin)
{
    double frames = std::round(2.0 * M_PI / std::fabs(static_cast<double>(spin->step)));
    return static_cast<float>((spin->step < 0.0f ? -21600.0 : 21600.0) / frames);
}

void advance_tour_motion()
{
    if (!view.tour.running || !view.framed)
        return;
    View next = view;
    step_tour(&next.tour, &next.frame);
    set_view(&next);
}
