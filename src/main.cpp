// The application: start-up, the frame loop, shutdown and the swap state.
#include "main.h"

#include <malloc.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include <GLFW/glfw3.h>

#include "context.h"
#include "cues.h"
#include "gizmo.h"
#include "glsl.h"
#include "headless.h"
#include "info.h"
#include "input.h"
#include "load.h"
#include "mesh.h"
#include "motion.h"
#ifndef __EMSCRIPTEN__
#include "panel.h"
#endif
#include "scene.h"
#include "shader.h"
#include "view.h"
#include "window.h"

GLFWwindow* window = nullptr;
unsigned int shader = 0;
unsigned int shader_plain = 0;
const char* wname = "plexorama: surface plotter";
uint8_t animate_index = 0;
bool quiet = false;

void mlog(const char* message)
{
    if (quiet)
        return;
    // Flushed at once so that a pipe or a log shows how far start-up got.
    fputs(message, stdout);
    fflush(stdout);
}

// The 4-D turn, zoom, pan and lighting: at start-up, then when they change.
static void __load_motion_main(unsigned int program)
{
    turn4_matrix_load(program, turn4[0]);
    zoom_load(program, zoom, pan);
    light_load(program, light);
}

// The cues to w, when one changes.
static void __load_cues_main()
{
    for (unsigned int program : {shader, shader_plain})
        cues_load(program, &cues, reach);
    set_clip_context(cues.eye4, cues.slice);
}

// Colour by w takes fragment stages of its own, which look the map up from
// w at every fragment: the plain stages do without w, since a value passed
// to every fragment costs every frame. Switching builds both programs anew
// and gives them what the old ones held; a program that cannot be made
// leaves the old ones in place.
static void __tint_main(Tint tint)
{
    unsigned int lit = create_shader(), plain = create_shader();
    if (!lit || !plain) {
        destroy_shader(lit);
        destroy_shader(plain);
        return;
    }
    load_program_to_shader(lit, vs, 0);
    load_program_to_shader(lit, tint == TINT_W ? fs_tint : fs, 1);
    load_program_to_shader(plain, vs, 0);
    load_program_to_shader(plain, tint == TINT_W ? fs_plain_tint : fs_plain, 1);
    destroy_shader(shader);
    destroy_shader(shader_plain);
    shader = lit;
    shader_plain = plain;
    for (unsigned int program : {shader, shader_plain}) {
        fix_matrix_load(program, 1.0f);
        __load_motion_main(program);
        if (tint == TINT_W)
            ramp_load(program);
    }
    touch_cues();
}

void main_loop()
{
    // Swap angle in radians; 0 while no turn runs.
    static float angle = 0.0f;
    // The colouring the programs were built for.
    static Tint built = TINT_FIXED;
    if (cues.tint != built) {
        __tint_main(cues.tint);
        built = cues.tint;
    }

    float* orientation = poll_input(window);
    rot_matrix_load(shader, orientation);
    rot_matrix_load(shader_plain, orientation);
    color_load(shader, color);
    color_load(shader_plain, color);

    // Just short of pi / 2: the turn's last frame shows 1.57 and the next
    // shows the exchanged coordinates bound at angle 0.
    if (static_cast<double>(angle) > 1.570795) {
        animate_index = 0;
        angle = 0.0f;
        load_float_to_shader(shader, "angle", angle);
        load_float_to_shader(shader_plain, "angle", angle);
        carry_motion();
        if (projection.mesh)
            set_projection_mesh(projection);
    }
    if (animate_index != 0) {
        float turning = static_cast<float>(animate_index - 1);
        load_float_to_shader(shader, "i", turning);
        load_float_to_shader(shader_plain, "i", turning);
        angle = static_cast<float>(angle + 0.01);
        load_float_to_shader(shader, "angle", angle);
        load_float_to_shader(shader_plain, "angle", angle);
    }
    if (take_change_motion()) {
        __load_motion_main(shader);
        __load_motion_main(shader_plain);
    }
    if (take_change_cues(projection))
        __load_cues_main();

    clean_context();

    if (projection.mesh) {
        draw_mesh(shader, projection.mesh);
        if (cues.wire)
            draw_mesh_lines(shader_plain, projection.mesh);
    }
    if (cues.gizmo)
        draw_gizmo(orientation, turn4[0]);
#ifndef __EMSCRIPTEN__
    // The page in a browser has no panel: Debian's ImGui is the desktop's.
    draw_panel();
#endif
    advance_spin_input();
}

int start_main()
{
    // The GL driver allocates and frees its memory for every frame. By
    // default glibc hands the top of the heap back to the kernel at each
    // free and serves blocks from 128 KiB up with fresh mappings, so every
    // frame faulted the same pages in and cleared them anew.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);

    mlog("[VENTANA] Inicializando...\n");
    window = init_window(512, 512, wname);
    if (!window) {
        mlog("[VENTANA] Error al inicializar...\n");
        fprintf(stderr, "plexorama: cannot open a window: %s\n", failure_window());
        return 1;
    }

    use_window(window);
    mlog("[CONTEXT] Inicializando...\n");
    if (!init_context()) {
        mlog("[CONTEXT] Error al inicializar...\n");
        char found[64];
        describe_context(found, sizeof found);
        fprintf(stderr, "plexorama: cannot use the GL context: %s found, OpenGL 3.3 needed\n", found);
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

    mlog("[SHADER] Inicializando...\n");
    shader = create_shader();
    if (!shader) {
        mlog("[SHADER] Error al inicializar...\n");
        mlog("[WINDOW] Destruyendo...\n");
        close_window(window);
        return 1;
    }
    load_program_to_shader(shader, vs, 0);
    load_program_to_shader(shader, fs, 1);
    fix_matrix_load(shader, 1.0f);
    __load_motion_main(shader);

    mlog("[SHADER] Inicializando...\n");
    shader_plain = create_shader();
    if (!shader_plain) {
        mlog("[SHADER] Error al inicializar...\n");
        mlog("[SHADER] Destruyendo...\n");
        destroy_shader(shader);
        mlog("[WINDOW] Destruyendo...\n");
        close_window(window);
        return 1;
    }
    load_program_to_shader(shader_plain, vs, 0);
    load_program_to_shader(shader_plain, fs_plain, 1);
    fix_matrix_load(shader_plain, 1.0f);
    __load_motion_main(shader_plain);
    return 0;
}

void stop_main()
{
    mlog("[MESH] Destruyendo...\n");
    destroy_mesh(projection.mesh);
    projection.mesh = nullptr;
    destroy_gizmo();
    mlog("[SHADER] Destruyendo...\n");
    destroy_shader(shader_plain);
    mlog("[SHADER] Destruyendo...\n");
    destroy_shader(shader);
#ifndef __EMSCRIPTEN__
    stop_panel();
#endif
    mlog("[WINDOW] Destruyendo...\n");
    close_window(window);
}

// One line on standard error saying why a file is not on show.
static void __report_main(const char* path, ShowStatus status, const KleinReport* report)
{
    char reason[96];
    describe_show_input(status, report, reason, sizeof reason);
    fprintf(stderr, "plexorama: %s: %s\n", path, reason);
}

// Shows the file given at start, in the view asked for. Returns 0 to go on,
// else the exit code: a file the window cannot show is only reported, but a
// picture of something else would pass for the file's.
static int __open_file_main(const Options* options, const View* view)
{
    KleinReport report;
    ShowStatus status = show_surface_input(options->file, &report);
    if (status == SHOW_DONE)
        return prepare_scene(options, view);
    __report_main(options->file, status, &report);
    return options->output || options->record ? 1 : 0;
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

int run_main(const Options* options)
{
    if (options->info)
        return run_info(options->info);

    // Read before any window opens: a bad view file is a usage error.
    View view;
    if (options->view) {
        const char* fault = read_view(options->view, &view);
        if (fault) {
            fprintf(stderr, "plexorama: %s: %s\n", options->view, fault);
            return 2;
        }
    }

    bool offscreen = options->output || options->record;
    hidden_window = offscreen;
    quiet = options->quiet;
    int failed = start_main();
    if (failed)
        return failed;
    if (options->file)
        failed = __open_file_main(options, &view);
    if (!failed)
        failed = offscreen ? run_headless(options) : __run_window_main(options);
    stop_main();
    return failed;
}
