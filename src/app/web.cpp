// The viewer in a browser: the entry point of the page. It starts the viewer
// as the desktop does, hands the frame loop to the browser, and answers the
// page's script: show a file, the view as link text and back, the canvas
// size, the state its controls show and what they set, and the fingers of
// a touch screen as the mouse's buttons.
#include <emscripten/emscripten.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/course.h"
#include "core/cues.h"
#include "app/render.h"
#include "app/input.h"
#include "app/surface.h"
#include "app/keys.h"
#include "core/link.h"
#include "core/log.h"
#include "app/main.h"
#include "draw/mesh.h"
#include "draw/shapes.h"
#include "core/motion.h"
#include "draw/platform.h"
#include "core/ranges.h"
#include "app/scene.h"
#include "core/viewfile.h"
#include "app/window.h"

// The browser calls this once for every frame of its display. The viewer turns
// by a step a frame and times its swap in frames, paced to 60 a second as on
// the desktop, so a faster display skips frames; a few milliseconds of slack
// keep a 60 Hz display from skipping one now and then.
static void __frame_web()
{
    static double due = 0.0;
    const double period = 1000.0 / 60.0, slack = 4.0;
    double now = emscripten_get_now();
    if (now + slack < due)
        return;
    due = now - due > period ? now + period : due + period;
    main_loop();
}

extern "C" {

// Shows the file at path in place of what is shown, as a drop does, or with
// add beside it, as a drop with Shift held does; its shapes are listed
// under name. Returns "" once on show, else why not; what is on show then
// stays.
EMSCRIPTEN_KEEPALIVE const char* show_file_web(const char* path, int add, const char* name)
{
    static char reason[128];
    ShowReport report;
    int first = add ? shape_count : 0;
    if (show_file_surface(path, &report, add != 0) == SHOW_DONE) {
        // The page's files all pass through one path: the shapes take the
        // name of the file the user gave.
        for (int k = first; k < shape_count; k++)
            snprintf(shapes[k].name, sizeof shapes[k].name, "%s", name);
        return "";
    }
    describe_surface(&report, reason, sizeof reason);
    return reason;
}

// The view on show as link text.
EMSCRIPTEN_KEEPALIVE const char* view_link_web()
{
    static char text[longest_view];
    View scene = view;
    format_link(&scene, text, sizeof text);
    return text;
}

// The longest view text, or link, the viewer reads.
EMSCRIPTEN_KEEPALIVE int longest_view_web()
{
    return static_cast<int>(longest_view);
}

// Puts a view on show, or says why not: coordinates past the surface's. Before
// any surface is shown the coordinates wait for one that has them, as a drop
// keeps the shown ones when it can.
static const char* __put_scene_web(const View* scene)
{
    static char fault[96];
    if (shape_count > 0)
        for (uint8_t c : scene->show)
            if (c >= view.dim) {
                snprintf(fault, sizeof fault, "coordinate %d is past the surface's %d", c + 1, view.dim);
                return fault;
            }
    restore_scene(scene);
    if (!scene->framed) {
        View next = view;
        memcpy(next.show, scene->show, sizeof next.show);
        set_view(&next);
    }
    return "";
}

// Puts the view of link text on show. Returns "", or what is wrong with it;
// nothing changes then.
EMSCRIPTEN_KEEPALIVE const char* set_view_web(const char* link)
{
    View scene;
    const char* wrong = parse_link(link, &scene, dim_shapes());
    return wrong ? wrong : __put_scene_web(&scene);
}

// The same for the text of a view file, as a one-file page holds it.
EMSCRIPTEN_KEEPALIVE const char* set_view_text_web(const char* text)
{
    View scene;
    const char* wrong = parse_view(text, strlen(text), &scene, dim_shapes());
    return wrong ? wrong : __put_scene_web(&scene);
}

// The canvas is side x side pixels from now on.
EMSCRIPTEN_KEEPALIVE void resize_web(int side)
{
    glfwSetWindowSize(window, side, side);
}

// What the page's controls show, as JSON: the surface's sizes, the shown
// coordinates (from 0), the cues as set (a width, distance or scale of 0
// follows s) and in effect, the lighting (a Light), the zoom, whether a spin
// runs, whether a frame of R^m is shown, the tour (its seed as a string:
// a page's numbers lose what lies past 2^53), and the finish. The page
// asks every frame, so it is one formatting and no more.
EMSCRIPTEN_KEEPALIVE const char* state_web()
{
    static char text[1024];
    const uint8_t* p = view.show;
    const Cues& c = view.cues;
    snprintf(text, sizeof text,
        "{\"m\":%d,\"n\":%u,\"show\":[%d,%d,%d,%d],\"reach\":%.9g,\"tint\":%d,"
        "\"slice\":%d,\"slice_at\":%.9g,\"slice_width\":%.9g,\"band\":%.9g,\"eye4\":%d,\"eye4_at\":%.9g,"
        "\"eye\":%.9g,\"gizmo\":%d,\"wire\":%d,\"curve\":%d,\"broken\":%d,\"light\":%d,\"zoom\":%.9g,"
        "\"spin\":%d,\"framed\":%d,"
        "\"tour\":%d,\"running\":%d,\"seed\":\"%llu\",\"speed\":%.9g,\"target\":%u,\"scale\":%.9g,"
        "\"map\":%.9g,\"aa\":%d,\"opacity\":%.9g,\"stereo\":%d,\"eyes\":%.9g,\"line_width\":%.9g,"
        "\"point_size\":%.9g,\"tubes\":%.9g}",
        dim_shapes(), shape_count > 0 ? vertices_shapes() : 0u, p[0], p[1], p[2], p[3],
        static_cast<double>(view.reach), c.tint == TINT_W, c.slice, static_cast<double>(c.slice_at),
        static_cast<double>(c.slice_width), static_cast<double>(slice_width_cues()), c.eye4,
        static_cast<double>(c.eye4_at), static_cast<double>(eye4_at_cues()), c.gizmo, c.wire, c.curve,
        c.broken, view.light, static_cast<double>(view.zoom), view.spin.kind != SPIN_NONE, view.framed,
        view.tour.kind, view.tour.running, static_cast<unsigned long long>(view.tour.seed),
        static_cast<double>(view.tour.speed), view.tour.target, static_cast<double>(c.tint_scale),
        static_cast<double>(tint_scale_cues()), view.finish.aa, static_cast<double>(view.finish.opacity),
        view.finish.stereo, static_cast<double>(view.finish.eyes), static_cast<double>(view.finish.line_width),
        static_cast<double>(view.finish.point_size), static_cast<double>(view.finish.tubes));
    return text;
}

// The shapes on show, for the page's list of them, as JSON: for each, its
// file's name, its kind, what it is made of and how many, whether it is
// shown, and its colour as "#rrggbb".
EMSCRIPTEN_KEEPALIVE const char* shapes_web()
{
    static char text[max_shapes * 200 + 8];
    size_t length = 0;
    text[length++] = '[';
    for (int k = 0; k < shape_count; k++) {
        const Shape& s = shapes[k];
        const KindRow* row = row_shapes(s.kind);
        // Names reach JSON as they are, but for the characters it cannot take.
        char name[sizeof s.name];
        size_t n = 0;
        for (const char* c = s.name; *c && n + 1 < sizeof name; c++)
            name[n++] = *c == '"' || *c == '\\' || static_cast<unsigned char>(*c) < 0x20 ? '_' : *c;
        name[n] = '\0';
        length += static_cast<size_t>(snprintf(text + length, sizeof text - length,
            "%s{\"name\":\"%s\",\"kind\":\"%s\",\"counted\":\"%s\",\"count\":%llu,\"shown\":%d,"
            "\"color\":\"#%02x%02x%02x\"}",
            k ? "," : "", name, row->name, row->counted, static_cast<unsigned long long>(row->count(&s)), s.shown,
            s.color[0], s.color[1], s.color[2]));
    }
    snprintf(text + length, sizeof text - length, "]");
    return text;
}

// Shows or hides shape k, and gives it the colour 0xrrggbb.
EMSCRIPTEN_KEEPALIVE void set_shape_web(int k, int shown, int colour)
{
    if (k < 0 || k >= shape_count)
        return;
    shapes[k].shown = shown != 0;
    const uint8_t rgb[3] = {static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8),
        static_cast<uint8_t>(colour)};
    if (memcmp(rgb, shapes[k].color, 3) != 0)
        color_file_shapes(k, rgb);
}

// The map's colours from -s to +s, for the page's legend: the samples the
// shader blends, as "#rrggbb" joined by commas.
EMSCRIPTEN_KEEPALIVE const char* ramp_web()
{
    static char text[8 * ramp_size_cues + 1];
    for (int k = 0; k < ramp_size_cues; k++) {
        uint8_t c[3];
        tint_cues(static_cast<double>(k) / (ramp_size_cues - 1), c);
        snprintf(text + 8 * k, 9, "#%02x%02x%02x,", c[0], c[1], c[2]);
    }
    text[8 * ramp_size_cues - 1] = '\0';
    return text;
}

// Coordinate c (from 0) becomes the hidden one, as a digit key makes it.
EMSCRIPTEN_KEEPALIVE int choose_hidden_web(int c)
{
    return c >= 0 && c < 256 && choose_hidden_input(static_cast<uint8_t>(c));
}

// The hidden coordinate is exchanged with x, y or z (0, 1, 2), as I, O and
// P do.
EMSCRIPTEN_KEEPALIVE int exchange_web(int slot)
{
    return exchange_input(slot);
}

// The cues as the controls set them, as their keys would. Widths,
// distances and scales outside their ranges follow s; a scale below 0
// follows the range of w.
EMSCRIPTEN_KEEPALIVE void set_cues_web(int tint, int slice, float slice_at, float slice_width, int eye4,
    float eye4_at, int gizmo, int wire, float scale, int curve, int broken)
{
    auto held = [](RangeName range, float value) { return within_range(range, value, true) ? value : 0.0f; };
    View next = view;
    next.cues = {tint ? TINT_W : TINT_FIXED, slice != 0, std::isfinite(slice_at) ? slice_at : 0.0f,
        held(RANGE_WIDTH, slice_width), eye4 != 0, held(RANGE_EYE4, eye4_at), gizmo != 0, wire != 0,
        scale < 0.0f ? -1.0f : held(RANGE_SCALE, scale), curve != 0, broken != 0};
    set_view(&next);
}

// Lighting from the file's normals (0), the shape as drawn (1) or the
// shape smoothly (2).
EMSCRIPTEN_KEEPALIVE void set_light_web(int light)
{
    View next = view;
    next.light = light == 1 ? LIGHT_SHAPE : light == 2 ? LIGHT_SMOOTH : LIGHT_FILE;
    set_view(&next);
}

// The finish as the controls set it: samples a pixel (1, 2, 4 or 8),
// opacity, stereo (a Stereo) and the eyes' distance, each in its range.
// What is none of these keeps its value.
EMSCRIPTEN_KEEPALIVE void set_finish_web(int aa, float opacity, int stereo, float eyes)
{
    View next = view;
    Finish& f = next.finish;
    if (aa == 1 || aa == 2 || aa == 4 || aa == 8)
        f.aa = aa;
    if (within_range(RANGE_OPACITY, opacity))
        f.opacity = opacity;
    if (stereo >= STEREO_OFF && stereo <= STEREO_SIDE_BY_SIDE)
        f.stereo = static_cast<Stereo>(stereo);
    if (within_range(RANGE_EYES, eyes))
        f.eyes = eyes;
    set_view(&next);
}

// Lines' width and points' size in pixels, and the tubes' radius (0 for
// flat lines), each in its range; what is none keeps its value.
EMSCRIPTEN_KEEPALIVE void set_strokes_web(float line_width, float point_size, float tubes)
{
    View next = view;
    Finish& f = next.finish;
    if (within_range(RANGE_LINE_WIDTH, line_width))
        f.line_width = line_width;
    if (within_range(RANGE_POINT_SIZE, point_size))
        f.point_size = point_size;
    if (within_range(RANGE_TUBES, tubes, true))
        f.tubes = tubes;
    set_view(&next);
}

// Zooms by 1.1 to the power steps, as = and - do by one step.
EMSCRIPTEN_KEEPALIVE void zoom_web(float steps)
{
    zoom_motion(steps);
}

// Starts a tour from the frame on show: 1 grand, from seed (a whole number
// below 2^53, as a page's numbers hold), 2 little, 3 guided toward the
// fewest crossings, 4 toward the largest shadow; speed in degrees a second.
EMSCRIPTEN_KEEPALIVE void tour_web(int kind, double seed, float speed)
{
    if (kind >= TOUR_GRAND && kind <= TOUR_SPREAD && seed >= 0 && seed < 9007199254740992.0
        && within_range(RANGE_TOUR_SPEED, speed))
        start_tour_course(static_cast<TourKind>(kind), static_cast<uint64_t>(seed), speed);
}

// Runs or pauses the tour, as U does.
EMSCRIPTEN_KEEPALIVE void run_tour_web(int run)
{
    run_tour_course(run != 0);
}

// Turns coordinate a toward b (from 0) by degrees in their plane in R^m, as
// --turn A:B=DEG does. Returns 0 when the surface lacks either.
EMSCRIPTEN_KEEPALIVE int turn_coordinates_web(int a, int b, float degrees)
{
    return std::isfinite(degrees) && turn_coordinates_course(a, b, radians_range(degrees));
}

// Stops a spin, as Space does.
EMSCRIPTEN_KEEPALIVE void stop_spin_web()
{
    stop_spin_input();
}

// Back to the first view, as Backspace goes.
EMSCRIPTEN_KEEPALIVE void reset_web()
{
    reset_input();
}

// The keys of the page as the table of keys gives them, for its list: JSON,
// [keys, what they do] for each row.
EMSCRIPTEN_KEEPALIVE const char* keys_web()
{
    static char text[4096];
    size_t length = 0;
    text[length++] = '[';
    for (int k = 0; k < key_row_count; k++) {
        const KeyRow& row = key_rows[k];
        if (!row.keys || row.place == KEYS_DESKTOP || length + 256 > sizeof text)
            continue;
        length += static_cast<size_t>(snprintf(text + length, sizeof text - length, "%s[\"%s\",\"%s\"]",
            length > 1 ? "," : "", row.keys, row.help));
    }
    snprintf(text + length, sizeof text - length, "]");
    return text;
}

// The page's script hands on touches as the mouse: one finger drags as the
// left button, two as the right one at their middle. x and y are in the
// canvas's pixels; button is GLFW's, action GLFW_PRESS or GLFW_RELEASE.
EMSCRIPTEN_KEEPALIVE void pointer_web(double x, double y)
{
    __cursor_callback_input(window, x, y);
}

EMSCRIPTEN_KEEPALIVE void button_web(int button, int action)
{
    __button_callback_input(window, button, action, 0);
}
}

int main()
{
    int failed = start_main();
    if (failed)
        return failed;
    mlog("[MAIN LOOP] Inicializando...\n");
    emscripten_set_main_loop(__frame_web, 0, false);
    return 0;
}
