// The application: start-up, the run, shutdown.
#include "app/main.h"

#include <cstdio>

#include "draw/context.h"
#include "app/render.h"
#include "draw/glsl.h"
#include "app/headless.h"
#include "core/info.h"
#include "core/room.h"
#include "app/input.h"
#include "app/surface.h"
#include "core/log.h"
#include "core/oogl.h"
#include "draw/mesh.h"
#include "draw/shapes.h"
#include "draw/overlay.h"
#include "app/panel.h"
#include "app/pursuit.h"
#include "app/scene.h"
#include "draw/shader.h"
#include "draw/text.h"
#include "core/viewfile.h"
#include "app/window.h"

int start_main()
{
    use_heap_room(HEAP_FRAMES);

    mlog("[VENTANA] Inicializando...\n");
    window = init_window(512, 512, wname);
    if (!window) {
        mlog("[VENTANA] Error al inicializar...\n");
        complain_log("cannot open a window: %s", failure_window());
        return 1;
    }

    use_window(window);
    mlog("[CONTEXT] Inicializando...\n");
    if (!init_context()) {
        mlog("[CONTEXT] Error al inicializar...\n");
        char found[64];
        describe_context(found, sizeof found);
        complain_log("cannot use the GL context: %s found, OpenGL 3.3 needed", found);
        mlog("[SHADER] Destruyendo...\n");
        destroy_shader(shader_plain);
        mlog("[SHADER] Destruyendo...\n");
        destroy_shader(shader);
        mlog("[WINDOW] Destruyendo...\n");
        close_window(window);
        return 1;
    }

    set_clean_color_context(255, 255, 255);
    set_offset_context();

    // The lit program, then the plain one; a failure deletes what was made.
    unsigned int* programs[2] = {&shader, &shader_plain};
    const char* fragments[2] = {fs, fs_plain};
    for (int k = 0; k < 2; k++) {
        mlog("[SHADER] Inicializando...\n");
        if ((*programs[k] = build_program_render(vs, fragments[k])) != 0)
            continue;
        mlog("[SHADER] Error al inicializar...\n");
        for (int made = k - 1; made >= 0; made--) {
            mlog("[SHADER] Destruyendo...\n");
            destroy_shader(*programs[made]);
            *programs[made] = 0;
        }
        mlog("[WINDOW] Destruyendo...\n");
        close_window(window);
        return 1;
    }
    return 0;
}

void stop_main()
{
    stop_pursuit();
    mlog("[MESH] Destruyendo...\n");
    clear_shapes();
    destroy_overlay();
    destroy_text();
    stop_render();
    mlog("[SHADER] Destruyendo...\n");
    destroy_shader(shader_plain);
    mlog("[SHADER] Destruyendo...\n");
    destroy_shader(shader);
    stop_panel();
    mlog("[WINDOW] Destruyendo...\n");
    close_window(window);
}

// One line on standard error saying why a file is not on show.
static void __report_main(const char* path, const ShowReport* report)
{
    char reason[128];
    describe_surface(report, reason, sizeof reason);
    complain_log("%s: %s", path, reason);
}

// Shows the files given at start, each beside the ones before, in the view
// asked for. Returns 0 to go on, else the exit code: a file the window
// cannot show is only reported, but a picture of something else would pass
// for the files'.
static int __open_files_main(const Options* options, const View* saved)
{
    bool offscreen = options->output || options->record;
    // Offscreen, the light stays as asked; only the file's light takes the
    // file's normals: the others light by the surface as drawn.
    View asked = saved ? *saved : initial_view;
    read_view_options(options, &asked);
    bool normals = !offscreen || asked.light == LIGHT_FILE;
    for (int k = 0; k < options->file_count; k++) {
        ShowReport report;
        if (show_file_surface(options->files[k], &report, true, normals) == SHOW_DONE)
            continue;
        __report_main(options->files[k], &report);
        if (offscreen)
            return 1;
    }
    return shape_count > 0 ? prepare_scene(options, saved) : 0;
}

// The frame loop in the window, until it is closed or --frames are drawn.
static int __run_window_main(const Options* options)
{
    mlog("[MAIN LOOP] Inicializando...\n");
    long frames_left = options->frames;
    while (is_open_window(window) && frames_left != 0) {
        main_loop();
        if (frames_left > 0)
            frames_left--;
    }
    mlog("[MAIN LOOP] Terminando...\n");
    return options->save_view ? save_scene(options->save_view) : 0;
}

// The view that the file and the options give, as a view file on standard
// output, with no window: for programs that write pages of a view.
static int __print_view_main(const Options* options, const View* saved)
{
    KleinReport report;
    KleinFile file;
    uint8_t dim = 0;
    if (!open_surface_klein(options->file, &file, &report)) {
        dim = file.dim;
        close_surface_klein(&file);
    } else if (report.status == KLEIN_NOT_KLEIN) {
        // A Geomview file: its shapes' m, which they share.
        ShapeData data[max_shapes_oogl];
        int count = 0;
        const char* fault = read_shapes_oogl(options->file, data, &count);
        if (!fault && count == 0)
            fault = "it holds no vertex of a face, a line or a point";
        dim = !fault ? data[0].dim : 0;
        for (int k = 0; k < count; k++)
            free_shape(&data[k]);
        if (fault && fault != not_oogl) {
            ShowReport refused = {SHOW_UNREADABLE, report, fault, 0};
            __report_main(options->file, &refused);
            return 1;
        }
    }
    if (!dim) {
        ShowReport refused = {SHOW_UNREADABLE, report, nullptr, 0};
        __report_main(options->file, &refused);
        return 1;
    }
    if (dim < 4) {
        ShowReport refused = {SHOW_TOO_FEW_COORDINATES, report, nullptr, dim};
        __report_main(options->file, &refused);
        return 1;
    }
    int failed = apply_scene(options, saved, dim);
    if (failed)
        return failed;
    View scene = view;
    static char text[longest_view];
    size_t length = format_view(&scene, text, sizeof text);
    fwrite(text, 1, length < sizeof text ? length : 0, stdout);
    return length < sizeof text && fflush(stdout) == 0 ? 0 : 1;
}

// --info, with the double curve in the view of --view when given: a bad
// view file is a usage error, as for a picture.
static int __info_main(const Options* options)
{
    if (!options->view)
        return run_info(options->info);
    KleinFile file;
    KleinReport report;
    uint8_t dim = 0;
    if (!open_surface_klein(options->info, &file, &report)) {
        dim = file.dim;
        close_surface_klein(&file);
    }
    View scene;
    const char* fault = read_scene(options->view, &scene, dim);
    for (int k = 0; k < 4 && !fault && dim && !scene.framed; k++)
        if (scene.show[k] >= dim) {
            complain_log("%s: coordinate %d is past the surface's %d", options->view, scene.show[k] + 1, dim);
            return 2;
        }
    if (fault) {
        complain_log("%s: %s", options->view, fault);
        return 2;
    }
    return run_info(options->info, &scene);
}

int run_main(const Options* options)
{
    if (options->info)
        return __info_main(options);

    // Read before any window opens: a bad view file is a usage error. A
    // frame in it must be of the file's dimension. Its keys go over the
    // preferences'.
    View saved = initial_view;
    bool preferred = !options->no_preferences && read_preferences_scene(&saved);
    if (options->view) {
        KleinFile file;
        KleinReport report;
        uint8_t dim = 0;
        if (options->file && !open_surface_klein(options->file, &file, &report)) {
            dim = file.dim;
            close_surface_klein(&file);
        }
        const char* fault = read_scene(options->view, &saved, dim, &saved);
        if (fault) {
            complain_log("%s: %s", options->view, fault);
            return 2;
        }
    }
    const View* restored = options->view || preferred ? &saved : nullptr;

    if (options->print_view)
        return __print_view_main(options, restored);

    bool offscreen = options->output || options->record;
    hidden_window = offscreen;
    save_path_scene = options->save_view;
    if (options->ui_scale > 0.0f)
        set_scale_panel(options->ui_scale);
    quiet_log(options->quiet);
    int failed = start_main();
    if (failed)
        return failed;
    // Without a file, the view waits for one to be dropped.
    if (options->file)
        failed = __open_files_main(options, restored);
    else
        failed = apply_scene(options, restored, 0);
    if (!failed)
        failed = offscreen ? run_headless(options) : __run_window_main(options);
    stop_main();
    return failed;
}
