// The viewer in a browser: the entry point of the page. It starts the viewer
// as the desktop does, hands the frame loop to the browser, and answers the
// page's script: show a file, the view as link text and back, the canvas size.
#include <emscripten/emscripten.h>

#include <cstdio>

#include <GLFW/glfw3.h>

#include "input.h"
#include "link.h"
#include "main.h"
#include "mesh.h"
#include "scene.h"

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

// Shows the KLEIN file at path, as a drop does. Returns "" once on show, else
// why not; the surface on show then stays.
EMSCRIPTEN_KEEPALIVE const char* show_file_web(const char* path)
{
    static char reason[96];
    KleinReport report;
    ShowStatus status = show_surface_input(path, &report);
    if (status == SHOW_DONE)
        return "";
    describe_show_input(status, &report, reason, sizeof reason);
    return reason;
}

// The view on show as link text.
EMSCRIPTEN_KEEPALIVE const char* view_link_web()
{
    static char text[1024];
    View view;
    capture_scene(&view);
    format_link(&view, text, sizeof text);
    return text;
}

// Puts the view of link text on show. Returns "", or what is wrong with it;
// nothing changes then. Before any surface is shown the coordinates wait for
// one that has them, as a drop keeps the shown ones when it can.
EMSCRIPTEN_KEEPALIVE const char* set_view_web(const char* link)
{
    static char fault[96];
    View view;
    const char* wrong = parse_link(link, &view);
    if (wrong) {
        snprintf(fault, sizeof fault, "%s", wrong);
        return fault;
    }
    if (projection.mesh)
        for (uint8_t c : view.show)
            if (c >= projection.dim) {
                snprintf(fault, sizeof fault, "coordinate %d is past the surface's %d", c + 1, projection.dim);
                return fault;
            }
    restore_scene(&view);
    projection.x = view.show[0];
    projection.y = view.show[1];
    projection.z = view.show[2];
    projection.w = view.show[3];
    // A running turn binds the record when it ends.
    if (projection.mesh && animate_index == 0)
        set_projection_mesh(projection);
    return "";
}

// The canvas is side x side pixels from now on.
EMSCRIPTEN_KEEPALIVE void resize_web(int side)
{
    glfwSetWindowSize(window, side, side);
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
