// Views for the tests of view files and links.
#include "scenes.h"

#include <cfloat>
#include <cstring>

#include "core/link.h"
#include "core/tour.h"
#include "core/viewfile.h"

const View sample_scene = {
    // Held column by column: x turned toward w.
    {{0.955336511f, 0.0f, 0.0f, -0.295520216f}, {0.0f, 1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f, 0.0f},
        {0.295520216f, 0.0f, 0.0f, 0.955336511f}},
    1.7f,
    {FLT_TRUE_MIN, -0.3f},
    LIGHT_SHAPE,
    {SPIN_NONE, 0.0f, 0.0f, 0, 0, 0.0f},
    {TINT_W, true, -0.25f, 1e-3f, true, 4.5f, true, false, 0.1f, true, false},
    {8, 0.3f, STEREO_SIDE_BY_SIDE, 0.2f, 3.5f, 6.0f, 0.05f, {{255, 0, 0}, {0, 128, 255}}, 2},
    0.0f,
    {0, 1, 2, 3},
    false,
    {},
    {TOUR_NONE, false, 0, default_speed_tour, 0},
    0.0f,
    {0.1f, -0.2f, 0.3f, 0.927361849f},
    {{0.995004177f, 0.0998334214f, 0.0f}, {-0.0998334214f, 0.995004177f, 0.0f}, {0.0f, 0.0f, 1.0f}},
    {0, 1, 2, 11},
    0,
};

bool same_scene(const View& a, const View& b)
{
    const View &v = a, &w = b;
    const Cues &c = v.cues, &d = w.cues;
    // A frame of R^m is shown in place of the coordinate choice.
    bool framed = v.framed && w.framed && memcmp(&v.frame, &w.frame, sizeof v.frame) == 0;
    const Tour &s = v.tour, &t = w.tour;
    return memcmp(a.q, b.q, sizeof a.q) == 0 && memcmp(a.axis, b.axis, sizeof a.axis) == 0
        && (framed || (!v.framed && !w.framed && memcmp(a.show, b.show, sizeof a.show) == 0))
        && s.kind == t.kind && s.running == t.running && s.seed == t.seed && s.speed == t.speed
        && s.target == t.target && memcmp(v.turn4, w.turn4, sizeof v.turn4) == 0
        && memcmp(&v.zoom, &w.zoom, sizeof v.zoom) == 0 && memcmp(v.pan, w.pan, sizeof v.pan) == 0
        && v.light == w.light && c.tint == d.tint && c.slice == d.slice
        && memcmp(&c.slice_at, &d.slice_at, sizeof c.slice_at) == 0
        && memcmp(&c.slice_width, &d.slice_width, sizeof c.slice_width) == 0 && c.eye4 == d.eye4
        && memcmp(&c.eye4_at, &d.eye4_at, sizeof c.eye4_at) == 0 && c.gizmo == d.gizmo && c.wire == d.wire
        && c.curve == d.curve && c.broken == d.broken
        && memcmp(&c.tint_scale, &d.tint_scale, sizeof c.tint_scale) == 0 && v.finish.aa == w.finish.aa
        && memcmp(&v.finish.opacity, &w.finish.opacity, sizeof v.finish.opacity) == 0
        && v.finish.stereo == w.finish.stereo
        && memcmp(&v.finish.eyes, &w.finish.eyes, sizeof v.finish.eyes) == 0
        && v.finish.line_width == w.finish.line_width && v.finish.point_size == w.finish.point_size
        && v.finish.tubes == w.finish.tubes && v.finish.color_count == w.finish.color_count
        && memcmp(v.finish.colors, w.finish.colors, sizeof v.finish.colors) == 0;
}

std::string text_of(const View& scene)
{
    static char text[longest_view];
    size_t length = format_view(&scene, text, sizeof text);
    return std::string(text, length);
}

std::string link_of(const View& scene)
{
    static char text[longest_view];
    size_t length = format_link(&scene, text, sizeof text);
    return std::string(text, length);
}

void walk_tour_scene(const View& scene, int steps)
{
    const View& v = scene;
    Frame f = v.frame;
    if (!v.framed)
        choice_frame(scene.show, max_dim_frame, &f);
    compose_frame(v.turn4[0], &f);
    Tour tour = v.tour;
    for (int k = 0; k < steps; k++)
        step_tour(&tour, &f);
}

Choice chosen()
{
    return {view.dim, view.show[0], view.show[1], view.show[2], view.show[3]};
}

void choose(Choice choice)
{
    View next = view;
    next.dim = choice.dim;
    const uint8_t show[4] = {choice.x, choice.y, choice.z, choice.w};
    memcpy(next.show, show, sizeof show);
    set_view(&next);
}
