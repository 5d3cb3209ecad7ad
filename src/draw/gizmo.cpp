// The axes gizmo: a coloured line from the centre of a corner toward where
// each coordinate's axis is shown, drawn as an overlay, and its name in
// the typeface of the labels.
#include "draw/gizmo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/cues.h"
#include "core/frame.h"
#include "core/labels.h"
#include "draw/load.h"
#include "draw/mesh.h"
#include "draw/shapes.h"
#include "draw/overlay.h"
#include "draw/platform.h"
#include "draw/text.h"
#include "core/view.h"

namespace {

constexpr int most_axes = 16;

// Short of the corner's edge, to leave room for the names beyond.
const float length = 0.75f;

// The axes as last drawn, for picking and aiming: the view's terms and each
// axis's coordinate and end.
struct Drawn {
    float rot[16];
    float turn4[16];
    int count;
    int coordinate[most_axes];
    float end[most_axes][2];
    float shade[most_axes]; // how far the axis lies in w, which colours it
};

Drawn drawn;

// The frame on show: the view's frame of R^m, else the coordinate choice as
// bound, which lags the choice while a swap turns it into view.
const Frame& __frame_gizmo()
{
    static Frame frame;
    if (view.framed && view.frame.dim > 4)
        return view.frame;
    const uint8_t* p = view.show;
    uint8_t show[4] = {0, 1, 2, 3};
    if (shape_count > 0) {
        std::copy(bound_shapes(), bound_shapes() + 4, show);
    } else if (view.dim >= 4) {
        std::copy(p, p + 4, show);
    }
    choice_frame(show, view.dim < 4 ? 4 : view.dim, &frame);
    return frame;
}

// Where coordinate k's axis goes, in the turned (x, y, z, w).
void __turned_gizmo(const Frame& frame, int k, const float* turn4, float* turned)
{
    for (int i = 0; i < 4; i++) {
        turned[i] = 0.0f;
        for (int j = 0; j < 4; j++)
            turned[i] += turn4[4 * j + i] * frame.rows[j][k];
    }
}

// The end of an axis in the corner for its turned direction. The camera
// draws +x to the left.
void __end_gizmo(const float* rot, const float* turned, float* end)
{
    float seen[2] = {};
    for (int k = 0; k < 2; k++)
        for (int i = 0; i < 3; i++)
            seen[k] += rot[4 * i + k] * turned[i];
    end[0] = -length * seen[0];
    end[1] = length * seen[1];
}

// The coordinates to draw: all of at most 16, else the 16 whose axes are
// longest in x, y and z, so that the choice does not flicker as the view
// turns in 3-D.
int __chosen_gizmo(const Frame& frame, const float* turn4, int* chosen)
{
    float reach[max_dim_frame];
    int order[max_dim_frame];
    for (int k = 0; k < frame.dim; k++) {
        float turned[4];
        __turned_gizmo(frame, k, turn4, turned);
        reach[k] = std::hypot(turned[0], turned[1], turned[2]);
        order[k] = k;
    }
    int count = std::min<int>(frame.dim, most_axes);
    std::partial_sort(order, order + count, order + frame.dim,
        [&](int a, int b) { return reach[a] > reach[b] || (reach[a] == reach[b] && a < b); });
    std::sort(order, order + count);
    std::copy(order, order + count, chosen);
    return count;
}

// Of four coordinates, the slot (x, y, z or w) that coordinate k is chosen
// for: the frame is a choice then.
int __slot_gizmo(const Frame& frame, int k)
{
    int slot = 0;
    for (int i = 0; i < 4; i++)
        if (frame.rows[i][k] != 0.0f)
            slot = i;
    return slot;
}

// An axis's colour: of four, its slot's; of more, a dark ink going to the
// map's red or blue as the axis turns into +w or -w.
void __colour_gizmo(const Frame& frame, int k, float w, float* rgb)
{
    static const float slots[4][3]
        = {{0.9f, 0.1f, 0.1f}, {0.1f, 0.7f, 0.1f}, {0.1f, 0.2f, 0.95f}, {0.85f, 0.1f, 0.85f}};
    if (frame.dim == 4) {
        const float* slot = slots[__slot_gizmo(frame, k)];
        std::copy(slot, slot + 3, rgb);
        return;
    }
    uint8_t map[3];
    float share = std::min(std::fabs(w), 1.0f);
    tint_cues(0.5 + 0.5 * std::clamp(static_cast<double>(w), -1.0, 1.0), map);
    for (int i = 0; i < 3; i++)
        rgb[i] = (1.0f - share) * 0.2f + share * (static_cast<float>(map[i]) / 255.0f);
}

// An axis's name: of four, its slot's letter; of more, its number from 1.
void __name_gizmo(const Frame& frame, int k, char (&name)[12])
{
    static const char* const letters[4] = {"x", "y", "z", "w"};
    if (frame.dim == 4)
        snprintf(name, sizeof name, "%s", letters[__slot_gizmo(frame, k)]);
    else
        snprintf(name, sizeof name, "%d", k + 1);
}

} // namespace

// The axes' names in the drawing area whole, in its pixels: each beyond its
// axis's end, or where it overlaps no other name and no axis, with a
// leader to the end; the longest axes first. An axis seen nearly end on
// is left unnamed, its end among the others' lines.
static void __names_gizmo(const Frame& frame, const int* whole)
{
    const Drawn& d = drawn;
    int side = whole[2] < whole[3] ? whole[2] : whole[3];
    float half = static_cast<float>(side / 4) / 2.0f, centre[2] = {side / 64 + half, side / 64 + half};
    float digits = digits_labels(side);
    Segment axes[most_axes];
    int order[most_axes];
    for (int a = 0; a < d.count; a++) {
        axes[a] = {centre[0], centre[1], centre[0] + half * d.end[a][0], centre[1] + half * d.end[a][1]};
        order[a] = a;
    }
    std::stable_sort(order, order + d.count, [&](int a, int b) {
        return std::hypot(d.end[a][0], d.end[a][1]) > std::hypot(d.end[b][0], d.end[b][1]);
    });
    Box placed[most_axes];
    Segment lines[2 * most_axes];
    std::copy(axes, axes + d.count, lines);
    // The left of the area is the gizmo's, the right the legend's; the
    // names keep off the edges as the corner does.
    float edge = static_cast<float>(side / 64);
    Clearance clear = {placed, 0, lines, d.count, {edge, edge, 0.42f * side, 0.7f * side}, 0.5f * digits};
    static OverlayVertex leaders[2 * most_axes];
    int leader_count = 0;
    for (int k = 0; k < d.count; k++) {
        int a = order[k];
        if (std::hypot(d.end[a][0], d.end[a][1]) < 0.2f)
            continue;
        char name[12];
        float rgb[3];
        __name_gizmo(frame, d.coordinate[a], name);
        __colour_gizmo(frame, d.coordinate[a], d.shade[a], rgb);
        Box ink = measure_text(name, digits), box;
        Segment leader;
        int found = place_labels(&axes[a].x0, &axes[a].x1, ink.x1 - ink.x0, ink.y1 - ink.y0, clear, &box, &leader);
        if (!found)
            continue;
        placed[clear.box_count++] = box;
        draw_text(name, box.x0 - ink.x0, box.y0 - ink.y0, digits, rgb);
        if (found == 2) {
            lines[clear.segment_count++] = leader;
            float w = static_cast<float>(whole[2]), h = static_cast<float>(whole[3]);
            leaders[leader_count++] = {2 * leader.x0 / w - 1, 2 * leader.y0 / h - 1, rgb[0], rgb[1], rgb[2]};
            leaders[leader_count++] = {2 * leader.x1 / w - 1, 2 * leader.y1 / h - 1, rgb[0], rgb[1], rgb[2]};
        }
    }
    draw_overlay(leaders, leader_count, true);
}

void draw_gizmo(const float* q)
{
    const Frame& frame = __frame_gizmo();
    Drawn& d = drawn;
    __rot_matrix_load(q, d.rot);
    memcpy(d.turn4, view.turn4, sizeof d.turn4);
    d.count = __chosen_gizmo(frame, d.turn4, d.coordinate);
    static OverlayVertex vertices[2 * most_axes];
    int count = 0;
    for (int a = 0; a < d.count; a++) {
        int k = d.coordinate[a];
        // What of an axis lies in w is hidden, so the axis grows as it
        // turns into view.
        float turned[4], rgb[3];
        __turned_gizmo(frame, k, d.turn4, turned);
        __end_gizmo(d.rot, turned, d.end[a]);
        d.shade[a] = turned[3];
        __colour_gizmo(frame, k, turned[3], rgb);
        vertices[count++] = {0.0f, 0.0f, rgb[0], rgb[1], rgb[2]};
        vertices[count++] = {d.end[a][0], d.end[a][1], rgb[0], rgb[1], rgb[2]};
    }
    int whole[4];
    corner_overlay(false, whole);
    draw_overlay(vertices, count, true);
    glViewport(whole[0], whole[1], whole[2], whole[3]);
    __names_gizmo(frame, whole);
}

int pick_gizmo(float u, float v)
{
    // A tenth of the corner: a few pixels at the smallest window.
    float nearest = 0.1f;
    int picked = -1;
    for (int a = 0; a < drawn.count; a++) {
        float distance = std::hypot(u - drawn.end[a][0], v - drawn.end[a][1]);
        if (distance < nearest) {
            nearest = distance;
            picked = drawn.coordinate[a];
        }
    }
    return picked;
}

void aim_gizmo(int k, float u, float v, float* column)
{
    const Frame& frame = __frame_gizmo();
    const float* rot = drawn.rot;
    const float* turn4 = drawn.turn4;
    float turned[4];
    __turned_gizmo(frame, k, turn4, turned);
    // In the camera's terms: across and up as asked, the depth and w as
    // they were.
    float seen[3] = {-u / length, v / length, 0.0f}, w = turned[3];
    for (int i = 0; i < 3; i++)
        seen[2] += rot[4 * i + 2] * turned[i];
    // An axis is at most a unit long, and of R^4 always: what is left goes
    // to depth and w in the shares they had.
    float across = seen[0] * seen[0] + seen[1] * seen[1], rest = seen[2] * seen[2] + w * w;
    if (across >= 1.0f) {
        seen[0] /= std::sqrt(across);
        seen[1] /= std::sqrt(across);
        seen[2] = w = 0.0f;
    } else if (frame.dim == 4 || across + rest > 1.0f) {
        if (rest == 0.0f)
            seen[2] = rest = 1.0f;
        float scale = std::sqrt((1.0f - across) / rest);
        seen[2] *= scale;
        w *= scale;
    }
    float wanted[4] = {0.0f, 0.0f, 0.0f, w};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            wanted[i] += rot[4 * i + j] * seen[j];
    // Back through the turn, which is orthogonal.
    for (int j = 0; j < 4; j++) {
        column[j] = 0.0f;
        for (int i = 0; i < 4; i++)
            column[j] += turn4[4 * j + i] * wanted[i];
    }
}
