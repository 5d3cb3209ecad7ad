// Input: orientation, keys, mouse, coordinate choice, drops and the viewport.
#include "app/input.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <utility>

#include <cglm/cglm.h>

#include "app/course.h"
#include "core/cues.h"
#include "draw/gizmo.h"
#include "app/keys.h"
#include "draw/mesh.h"
#include "draw/shapes.h"
#include "core/motion.h"
#include "draw/platform.h"
#include "app/surface.h"
#include "core/view.h"

int (*key_state_input)(GLFWwindow* window, int key) = glfwGetKey;

// 2 pi / 255 to seven digits: a held key turns a full circle in 255 frames.
static const double step = 0.024639943838277563;

// A turn by angle about v. cglm takes only an axis of length exactly 0 as
// no axis; anything shorter than float precision must turn nothing too.
static void __quatv_input(versor s, float angle, vec3 v)
{
    if (glm_vec3_norm(v) < FLT_EPSILON)
        glm_quat_init(s, 0.0f, 0.0f, 0.0f, cosf(angle * 0.5f));
    else
        glm_quatv(s, angle, v);
}

// Turns the orientation and the three axes by the same step, so that each
// axis stays the image of its unit vector under q.
static void __turn_input(versor s)
{
    View next = view;
    versor before;
    memcpy(before, view.q, sizeof before);
    glm_quat_mul(s, before, next.q);
    for (vec3& a : next.axis)
        glm_quat_rotatev(s, a, a);
    set_view(&next);
}

// Turns about the fixed horizontal axis by ay, then the vertical one by ax.
static void __turn_screen_input(float ax, float ay)
{
    vec3 horizontal = {-1.0f, 0.0f, 0.0f}, vertical = {0.0f, 1.0f, 0.0f};
    versor sy, sx;
    __quatv_input(sy, ay, horizontal);
    __quatv_input(sx, ax, vertical);
    __turn_input(sy);
    __turn_input(sx);
}

// The drawing area's side in the window's units, for drags, and where its
// left and bottom edges are in the window, counted from the top left.
static int side = 512;
static int area_left = 0, area_bottom = 512;

// What a held mouse button does to the view.
enum Drag { DRAG_NONE, DRAG_TURN3, DRAG_TURN4, DRAG_PAN, DRAG_AXIS };

static Drag drag = DRAG_NONE;
static int drag_button = -1;
static double pointer[2] = {0.0, 0.0};
// The coordinate whose axis a drag in the gizmo pulls.
static int grabbed = -1;
// How far a turning drag moved in this frame and the three before it, so
// that letting go can tell whether it was still moving, and how fast.
static float moving[4][2] = {};

// A 3-D drag: across the drawing area is half a turn.
static void __drag_turn_input(float dx, float dy)
{
    float half_turns = GLM_PIf / static_cast<float>(side > 0 ? side : 1);
    __turn_screen_input(dx * half_turns, dy * half_turns);
}

// The first key held of a row that acts while held, or -1: its place among
// the row's codes.
static int __held_input(GLFWwindow* window, KeyAction action)
{
    const KeyRow* row = row_keys(action);
    for (int k = 0; k < 9 && row->codes[k]; k++)
        if (key_state_input(window, row->codes[k]) == GLFW_PRESS)
            return k;
    return -1;
}

static bool __control_input(GLFWwindow* window)
{
    return key_state_input(window, GLFW_KEY_LEFT_CONTROL) == GLFW_PRESS
        || key_state_input(window, GLFW_KEY_RIGHT_CONTROL) == GLFW_PRESS;
}

// [ or ] is held while the slice is on.
static bool moving_slice = false;

bool moves_slice_input()
{
    return moving_slice;
}

const float* poll_input(GLFWwindow* window)
{
    // The first held key in the row's order decides; one step per frame at
    // most. Pairs turn one way and back about each axis in turn.
    versor s = GLM_QUAT_IDENTITY_INIT;
    // With Ctrl held, S and Q save and quit: no letter turns then.
    bool control = __control_input(window);
    int held = control ? -1 : __held_input(window, KEY_TURN3);
    if (held >= 0) {
        vec3 about;
        memcpy(about, view.axis[held / 2], sizeof about);
        __quatv_input(s, (held % 2 ? -1.0f : 1.0f) * static_cast<float>(step), about);
    }
    __turn_input(s);
    // E, D and C turn x, y and z toward w as I, O and P do.
    held = control ? -1 : __held_input(window, KEY_TURN4);
    if (held >= 0)
        turn_plane_motion(held / 2, 3, (held % 2 ? -1.0f : 1.0f) * static_cast<float>(step));
    // [ and ] move the slice while held, ] toward +w.
    held = view.cues.slice ? __held_input(window, KEY_MOVE_SLICE) : -1;
    moving_slice = held >= 0;
    if (held >= 0)
        move_slice_cues(held ? 1.0f : -1.0f);
    for (int f = 3; f > 0; f--)
        memcpy(moving[f], moving[f - 1], sizeof moving[f]);
    moving[0][0] = moving[0][1] = 0.0f;
    View next = view;
    glm_quat_normalize(next.q);
    set_view(&next);
    return view.q;
}

void advance_spin_input()
{
    const Spin& spin = view.spin;
    if (spin.kind == SPIN_TURN3)
        __drag_turn_input(spin.dx, spin.dy);
    else if (spin.kind == SPIN_TURN4)
        drag_motion(view.q, spin.dx, spin.dy, side);
    else if (spin.kind == SPIN_PLANE)
        turn_plane_motion(spin.a, spin.b, spin.step);
}

void stop_spin_input()
{
    View next = view;
    next.spin.kind = SPIN_NONE;
    set_view(&next);
}

void reset_input()
{
    View next = view;
    memcpy(next.q, initial_view.q, sizeof next.q);
    memcpy(next.axis, initial_view.axis, sizeof next.axis);
    set_view(&next);
    reset_motion();
}

// A scroll unit turns twice as far as a key step. The angle is brought
// within one period of a turn's quaternion, 4 pi, while still a double: an
// offset past the range of float would make it infinite and the orientation
// NaN for good. An offset that is not a number turns nothing.
static float __scroll_angle_input(double offset)
{
    double angle = 2 * (step * offset);
    if (!std::isfinite(angle))
        return 0.0f;
    return static_cast<float>(std::fmod(angle, 4 * GLM_PI));
}

void __scroll_callback_input(GLFWwindow* window, double xoffset, double yoffset)
{
    if (__control_input(window)) {
        // A wheel turned away from the user comes closer.
        if (std::isfinite(yoffset))
            zoom_motion(static_cast<float>(glm_clamp(yoffset, -100.0, 100.0)));
        return;
    }
    __turn_screen_input(__scroll_angle_input(xoffset), __scroll_angle_input(yoffset));
}

int choose_hidden_input(uint8_t c)
{
    const uint8_t* p = view.show;
    if (c >= view.dim || c == p[0] || c == p[1] || c == p[2])
        return 0;
    // A digit names a coordinate choice: the frame of R^m goes back to it.
    View next = view;
    if (view.framed) {
        next.framed = false;
        next.tour.running = false;
    }
    // A running turn keeps its binding until it ends; the frame binds the
    // choice then.
    next.show[3] = c;
    set_view(&next);
    return 1;
}

int exchange_input(int slot)
{
    // Always so while no surface is shown: dim is 0.
    if (slot < 0 || slot > 2 || view.show[3] >= view.dim)
        return 0;
    // The record changes at once; the frame turns the old binding toward w
    // and binds the record when the turn ends. A frame of R^m exchanges its
    // rows then instead.
    View next = view;
    if (!view.framed)
        std::swap(next.show[3], next.show[slot]);
    set_view(&next);
    animate_index = static_cast<uint8_t>(slot + 1);
    exchange_motion(slot);
    return 1;
}

// A key that switches the lighting, one of the cues or of the finish.
static void __switch_input(KeyAction action)
{
    View next = view;
    Cues& c = next.cues;
    switch (action) {
    case KEY_LIGHT:
        next.light = next.light == LIGHT_FILE ? LIGHT_SHAPE : LIGHT_FILE;
        break;
    case KEY_TINT:
        c.tint = c.tint == TINT_FIXED ? TINT_W : TINT_FIXED;
        break;
    case KEY_SLICE:
        c.slice = !c.slice;
        break;
    case KEY_EYE4:
        c.eye4 = !c.eye4;
        break;
    case KEY_GIZMO:
        c.gizmo = !c.gizmo;
        break;
    case KEY_AA:
        next.finish.aa = next.finish.aa > 1 ? 1 : 4;
        break;
    case KEY_OPACITY:
        next.finish.opacity = next.finish.opacity < 1.0f ? 1.0f : 0.5f;
        break;
    case KEY_STEREO:
        next.finish.stereo = static_cast<Stereo>((next.finish.stereo + 1) % 3);
        break;
    default:
        c.wire = !c.wire;
        break;
    }
    set_view(&next);
}

void __key_callback_input(GLFWwindow*, int key, int, int action, int mods)
{
    int place = 0;
    const KeyRow* row = find_keys(key, &place, mods & GLFW_MOD_CONTROL);
    // Held, = and - zoom on with the keyboard's repeat; the other keys act
    // once a press.
    if (!row || action == GLFW_RELEASE || (action != GLFW_PRESS && row->action != KEY_ZOOM))
        return;
    switch (row->action) {
    case KEY_ZOOM:
        zoom_motion(place % 2 ? -1.0f : 1.0f);
        break;
    case KEY_STOP:
        stop_spin_input();
        run_tour_course(false);
        break;
    case KEY_TOUR:
        run_tour_course(!view.tour.running);
        break;
    case KEY_RESET:
        reset_input();
        break;
    case KEY_LIGHT:
    case KEY_TINT:
    case KEY_SLICE:
    case KEY_EYE4:
    case KEY_GIZMO:
    case KEY_WIRE:
    case KEY_AA:
    case KEY_OPACITY:
    case KEY_STEREO:
        __switch_input(row->action);
        break;
    case KEY_CURVE: {
        // N shows the curve; Shift+N breaks the lower sheet along it.
        View next = view;
        bool& on = mods & GLFW_MOD_SHIFT ? next.cues.broken : next.cues.curve;
        on = !on;
        set_view(&next);
        break;
    }
    case KEY_HIDE:
        choose_hidden_input(static_cast<uint8_t>(place));
        break;
    case KEY_SWAP:
        exchange_input(place);
        break;

    default:
        // Held keys are polled every frame; Tab is the panel's, and the
    // window's commands the window's.
        break;
    }
}

// The pointer in the gizmo's corner of the drawing area, -1 to 1 across
// and up it.
static void __corner_input(float* u, float* v)
{
    double corner = side / 4, left = area_left + side / 64, bottom = area_bottom - side / 64;
    *u = static_cast<float>(2.0 * (pointer[0] - left) / corner - 1.0);
    *v = static_cast<float>(2.0 * (bottom - pointer[1]) / corner - 1.0);
}

// Pulls the grabbed coordinate's axis to end under the pointer.
static void __pull_input()
{
    float u, v, column[4];
    __corner_input(&u, &v);
    aim_gizmo(grabbed, u, v, column);
    pull_course(grabbed, column);
}

void __button_callback_input(GLFWwindow*, int button, int action, int mods)
{
    if (action == GLFW_PRESS) {
        stop_spin_input();
        if (drag != DRAG_NONE)
            return;
        float u, v;
        __corner_input(&u, &v);
        grabbed = view.cues.gizmo && button == GLFW_MOUSE_BUTTON_LEFT && !(mods & GLFW_MOD_SHIFT)
            ? pick_gizmo(u, v)
            : -1;
        if (grabbed >= 0)
            drag = DRAG_AXIS;
        else if (button == GLFW_MOUSE_BUTTON_LEFT)
            drag = mods & GLFW_MOD_SHIFT ? DRAG_TURN4 : DRAG_TURN3;
        else if (button == GLFW_MOUSE_BUTTON_RIGHT)
            drag = DRAG_TURN4;
        else if (button == GLFW_MOUSE_BUTTON_MIDDLE)
            drag = DRAG_PAN;
        else
            return;
        drag_button = button;
        memset(moving, 0, sizeof moving);
        return;
    }
    if (action != GLFW_RELEASE || button != drag_button)
        return;
    // Let go while moving, the turn goes on at the pace of the last frames.
    float rate[2] = {0.0f, 0.0f};
    for (const float* m : moving) {
        rate[0] += m[0] / 4.0f;
        rate[1] += m[1] / 4.0f;
    }
    bool still = moving[0][0] == 0.0f && moving[0][1] == 0.0f && moving[1][0] == 0.0f && moving[1][1] == 0.0f;
    if (!still && (drag == DRAG_TURN3 || drag == DRAG_TURN4) && fabsf(rate[0]) + fabsf(rate[1]) >= 0.5f) {
        View next = view;
        next.spin = {drag == DRAG_TURN3 ? SPIN_TURN3 : SPIN_TURN4, rate[0], rate[1], 0, 0, 0.0f};
        set_view(&next);
    }
    drag = DRAG_NONE;
    drag_button = -1;
}

void __cursor_callback_input(GLFWwindow*, double x, double y)
{
    float dx = static_cast<float>(x - pointer[0]), dy = static_cast<float>(y - pointer[1]);
    pointer[0] = x;
    pointer[1] = y;
    if (!std::isfinite(dx) || !std::isfinite(dy))
        return;
    if (drag == DRAG_TURN3)
        __drag_turn_input(dx, dy);
    else if (drag == DRAG_TURN4)
        drag_motion(view.q, dx, dy, side);
    else if (drag == DRAG_PAN)
        pan_motion(dx, dy, side);
    else if (drag == DRAG_AXIS)
        __pull_input();
    moving[0][0] += dx;
    moving[0][1] += dy;
}

void __drop_callback_input(GLFWwindow* window, int count, const char** paths)
{
    // With Shift held, every file dropped joins what is shown; else the
    // first takes its place.
    bool add = window
        && (key_state_input(window, GLFW_KEY_LEFT_SHIFT) == GLFW_PRESS
            || key_state_input(window, GLFW_KEY_RIGHT_SHIFT) == GLFW_PRESS);
    for (int k = 0; k < (add ? count : count > 0); k++)
        show_file_surface(paths[k], nullptr, add);
}

void __window_callback_input(GLFWwindow*, int width, int height)
{
    // Clearing covers the whole window, so the strips beside the square
    // show the clear colour.
    side = width < height ? width : height;
    int bottom = (height - side) / 2;
    area_left = (width - side) / 2;
    area_bottom = height - bottom;
    glViewport(area_left, bottom, side, side);
}
