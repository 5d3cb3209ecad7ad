// The application: start-up, the frame loop, shutdown and the swap state.
#include "main.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "context.h"
#include "glsl.h"
#include "input.h"
#include "load.h"
#include "mesh.h"
#include "shader.h"
#include "window.h"

GLFWwindow* window = nullptr;
unsigned int shader = 0;
unsigned int shader_plain = 0;
const char* wname = "plexorama: surface plotter";
uint8_t animate_index = 0;

void mlog(const char* message)
{
    // Flushed at once so that a pipe or a log shows how far start-up got.
    fputs(message, stdout);
    fflush(stdout);
}

void main_loop()
{
    // Swap angle in radians; 0 while no turn runs.
    static float angle = 0.0f;

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

    clean_context();

    if (projection.mesh) {
        draw_mesh(shader, projection.mesh);
        draw_mesh_lines(shader_plain, projection.mesh);
    }
}

int start_main()
{
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
    return 0;
}

void stop_main()
{
    mlog("[MESH] Destruyendo...\n");
    destroy_mesh(projection.mesh);
    projection.mesh = nullptr;
    mlog("[SHADER] Destruyendo...\n");
    destroy_shader(shader_plain);
    mlog("[SHADER] Destruyendo...\n");
    destroy_shader(shader);
    mlog("[WINDOW] Destruyendo...\n");
    close_window(window);
}

// One line on standard error saying why a file is not on show.
static void __report_main(const char* path, ShowStatus status, const KleinReport* report)
{
    char reason[96] = "";
    if (status == SHOW_TOO_FEW_COORDINATES)
        snprintf(reason, sizeof reason, "fewer than 4 coordinates");
    else if (status == SHOW_NO_MESH)
        snprintf(reason, sizeof reason, "too large for the GPU");
    else if (report->status == KLEIN_CANNOT_OPEN)
        snprintf(reason, sizeof reason, "cannot open: %s", strerror(report->error));
    else if (report->status == KLEIN_NOT_FILE)
        snprintf(reason, sizeof reason, "cannot open: not a regular file");
    else if (report->status == KLEIN_NOT_KLEIN)
        snprintf(reason, sizeof reason, "not a KLEIN file");
    else if (report->status == KLEIN_TRUNCATED)
        snprintf(reason, sizeof reason, "truncated: expected %llu bytes, found %llu",
            static_cast<unsigned long long>(report->expected),
            static_cast<unsigned long long>(report->found));
    else if (report->status == KLEIN_TOO_LARGE)
        snprintf(reason, sizeof reason, "too large: 2^32 or more coordinates");
    else if (report->status == KLEIN_NO_MEMORY)
        snprintf(reason, sizeof reason, "out of memory");
    fprintf(stderr, "plexorama: %s: %s\n", path, reason);
}

int run_main(const Options* options)
{
    int failed = start_main();
    if (failed)
        return failed;

    if (options->file) {
        KleinReport report;
        ShowStatus status = show_surface_input(options->file, &report);
        if (status != SHOW_DONE)
            __report_main(options->file, status, &report);
    }

    mlog("[MAIN LOOP] Inicializando...\n");
    long frames_left = options->frames;
    while (is_open_window(window) && frames_left != 0) {
        main_loop();
        if (frames_left > 0)
            frames_left--;
    }
    mlog("[MAIN LOOP] Terminando...\n");

    stop_main();
    return 0;
}

static const char usage[] = "usage: plexorama [--frames N] [FILE]\n"
                            "       plexorama --help | --version\n";

static const char help[] = "\n"
                           "Shows a surface of four or more dimensions from a KLEIN file. Drop\n"
                           "another file onto the window to show it instead.\n"
                           "\n"
                           "  FILE         KLEIN surface file to show at start\n"
                           "  --frames N   draw N frames, then close as the window's close button does\n"
                           "  --help       show this help and exit\n"
                           "  --version    show the version and exit\n"
                           "\n"
                           "Keys:\n"
                           "  Q W, A S, Z X   hold to turn the surface about its own x, y, z axes\n"
                           "  scroll wheel    turn it about the view's horizontal and vertical axes\n"
                           "  1 to 9          choose which coordinate is hidden as w\n"
                           "  I, O, P         turn the hidden coordinate into view as x, y or z\n";

static int __usage_error_main(const char* what, const char* argument)
{
    fprintf(stderr, "plexorama: %s '%s'\n%s", what, argument, usage);
    return 2;
}

int parse_options_main(int argc, char** argv, Options* options)
{
    *options = {nullptr, -1};
    bool only_files = false;
    for (int k = 1; k < argc; k++) {
        const char* argument = argv[k];
        if (only_files || argument[0] != '-' || argument[1] == '\0') {
            if (options->file)
                return __usage_error_main("more than one file:", argument);
            options->file = argument;
        } else if (strcmp(argument, "--") == 0) {
            only_files = true;
        } else if (strcmp(argument, "--help") == 0) {
            printf("%s%s", usage, help);
            return 0;
        } else if (strcmp(argument, "--version") == 0) {
            printf("plexorama %s\n", PLEXORAMA_VERSION);
            return 0;
        } else if (strcmp(argument, "--frames") == 0) {
            if (++k == argc)
                return __usage_error_main("missing frame count after", argument);
            char* end = nullptr;
            errno = 0;
            long frames = strtol(argv[k], &end, 10);
            if (errno || end == argv[k] || *end != '\0' || frames < 0)
                return __usage_error_main("bad frame count", argv[k]);
            options->frames = frames;
        } else {
            return __usage_error_main("unknown option", argument);
        }
    }
    return -1;
}
