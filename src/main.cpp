// The application: start-up, the frame loop, shutdown and the swap state.
#include "main.h"

#include <getopt.h>
#include <malloc.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <GLFW/glfw3.h>

#include "context.h"
#include "glsl.h"
#include "info.h"
#include "input.h"
#include "load.h"
#include "mesh.h"
#include "output.h"
#include "picture.h"
#include "record.h"
#include "shader.h"
#include "view.h"
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

// Puts the restored view and the chosen coordinates on show and starts the
// asked-for turn, all before the first frame. Returns 0, or 2 when a
// coordinate is past the surface's.
static int __prepare_main(const Options* options, const View* view)
{
    uint8_t chosen[4];
    const char* source = nullptr;
    const char* option = "";
    if (options->view) {
        memcpy(q, view->q, sizeof view->q);
        memcpy(axis, view->axis, sizeof view->axis);
        memcpy(chosen, view->show, sizeof chosen);
        source = options->view;
    }
    // --show goes over the view's coordinates, so that one saved view can
    // give pictures of several choices.
    if (options->show) {
        memcpy(chosen, options->coordinates, sizeof chosen);
        source = options->show;
        option = "--show ";
    }
    if (source) {
        for (uint8_t c : chosen)
            if (c >= projection.dim) {
                fprintf(stderr, "plexorama: %s%s: coordinate %d is past the surface's %d\n", option, source,
                    c + 1, projection.dim);
                return 2;
            }
        projection.x = chosen[0];
        projection.y = chosen[1];
        projection.z = chosen[2];
        projection.w = chosen[3];
        set_projection_mesh(projection);
    }
    if (options->swap)
        __key_callback_input(window, options->swap, 0, GLFW_PRESS, 0);
    return 0;
}

// Writes the view on show; returns 0, or 1 after saying why it could not.
static int __save_view_main(const char* path)
{
    View view;
    memcpy(view.q, q, sizeof view.q);
    memcpy(view.axis, axis, sizeof view.axis);
    const uint8_t shown[4] = {projection.x, projection.y, projection.z, projection.w};
    memcpy(view.show, shown, sizeof shown);
    if (write_view(path, &view))
        return 0;
    fprintf(stderr, "plexorama: %s: cannot write: %s\n", path, strerror(errno));
    return 1;
}

// One line on standard error naming what failed and why; the exit code.
static int __fail_main(const char* what, const char* why)
{
    fprintf(stderr, "plexorama: %s: %s\n", what, why);
    return 1;
}

// Draws offscreen until the run is over, recording every frame, and writes
// the last one as the picture. Returns the exit code; after a failure
// nothing of the picture or the recording is left.
static int __draw_offscreen_main(const Options* options)
{
    int size = options->size;
    Picture picture;
    if (!create_picture(size, &picture)) {
        char why[64];
        snprintf(why, sizeof why, "cannot make a %d x %d picture", size, size);
        return __fail_main(options->output ? options->output : options->record, why);
    }
    uint8_t* rgb = static_cast<uint8_t*>(malloc(3 * static_cast<size_t>(size) * static_cast<size_t>(size)));
    // Opened at once, so that a path that cannot be written fails before
    // any drawing.
    Output output = {};
    Record record = {};
    int failed = 0;
    const char* fault = nullptr;
    if (!rgb)
        failed = __fail_main(options->output ? options->output : options->record, "out of memory");
    else if (options->output && !open_output(options->output, 0, &output)) {
        char why[128];
        snprintf(why, sizeof why, "cannot write: %s", strerror(errno));
        failed = __fail_main(options->output, why);
    } else if (options->record && (fault = open_record(options->record, size, &record)) != nullptr) {
        failed = __fail_main(options->record, fault);
        if (options->output)
            discard_output(&output);
    }
    if (failed) {
        free(rgb);
        destroy_picture(&picture);
        return failed;
    }

    // Without --frames the run ends once no turn is running: after the
    // first frame, or after the frame that binds a turn's new coordinates.
    mlog("[MAIN LOOP] Inicializando...\n");
    for (long drawn = 1;; drawn++) {
        main_loop();
        if (options->record) {
            read_picture(&picture, rgb);
            if ((fault = write_record(&record, rgb)) != nullptr) {
                failed = __fail_main(options->record, fault);
                break;
            }
        }
        if (options->frames >= 0 ? drawn == options->frames : animate_index == 0)
            break;
    }
    mlog("[MAIN LOOP] Terminando...\n");

    // Each file is complete once in place; a later failure takes the ones
    // before it away again, and the recording, the slowest to finish, comes last.
    const char* done[2] = {};
    if (!failed && options->save_view && !(failed = __save_view_main(options->save_view)))
        done[0] = options->save_view;
    if (!failed && options->output) {
        if (!options->record)
            read_picture(&picture, rgb);
        if ((fault = save_png_picture(&output, rgb, size)) != nullptr)
            failed = __fail_main(options->output, fault);
        else
            done[1] = options->output;
    }
    if (!failed && options->record && (fault = close_record(&record)) != nullptr)
        failed = __fail_main(options->record, fault);
    if (failed) {
        if (options->output)
            discard_output(&output);
        if (options->record)
            discard_record(&record);
        for (const char* path : done)
            if (path)
                unlink(path);
    }
    free(rgb);
    destroy_picture(&picture);
    return failed;
}

// --info: the figures of a file, read without a window.
static int __info_main(const char* path)
{
    SurfaceData data;
    KleinReport report;
    if (create_surface_klein(path, &data, &report) != 0) {
        __report_main(path, SHOW_UNREADABLE, &report);
        return 1;
    }
    SurfaceInfo info;
    measure_info(&data, &info);
    free(data.coords);
    free(data.normals);
    print_info(stdout, path, &info);
    return 0;
}

int run_main(const Options* options)
{
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
    int failed = start_main();
    if (failed)
        return failed;

    if (options->file) {
        KleinReport report;
        ShowStatus status = show_surface_input(options->file, &report);
        if (status != SHOW_DONE) {
            __report_main(options->file, status, &report);
            // A picture of something else would pass for the file's.
            if (offscreen) {
                stop_main();
                return 1;
            }
        } else if ((failed = __prepare_main(options, &view)) != 0) {
            stop_main();
            return failed;
        }
    }

    if (offscreen) {
        failed = __draw_offscreen_main(options);
    } else {
        mlog("[MAIN LOOP] Inicializando...\n");
        long frames_left = options->frames;
        while (is_open_window(window) && frames_left != 0) {
            main_loop();
            if (frames_left > 0)
                frames_left--;
        }
        mlog("[MAIN LOOP] Terminando...\n");
    }

    // An offscreen run saved the view with its other files.
    if (options->save_view && !offscreen)
        failed = __save_view_main(options->save_view);
    stop_main();
    return failed;
}

static const char usage[] = "usage: plexorama [--frames N] [--show A,B,C,D] [--swap x|y|z] [--view FILE]\n"
                            "                 [--save-view FILE] [--output FILE.png] [--record OUT]\n"
                            "                 [--size N] [--] [FILE]\n"
                            "       plexorama --info FILE | -h | --help | -V | --version\n";

static const char help[]
    = "\n"
      "Shows a surface of four or more dimensions from a KLEIN file. Drop another\n"
      "file onto the window to show it instead.\n"
      "\n"
      "  FILE              KLEIN surface file to show at start; after -- it may\n"
      "                    start with '-'\n"
      "  --frames N        draw N frames, then close as the window's close button does\n"
      "  --show A,B,C,D    show coordinates A, B, C of FILE as x, y, z and hide D as\n"
      "                    w; coordinates count from 1\n"
      "  --swap x|y|z      start the turn that I, O or P starts, once FILE is shown\n"
      "  --view FILE       restore a view saved with --save-view before the first frame\n"
      "                    (--show, when given too, chooses the coordinates)\n"
      "  --save-view FILE  write the orientation and the shown coordinates at shutdown\n"
      "  --output FILE.png draw without showing a window and write the last frame as\n"
      "                    an 8-bit RGB PNG\n"
      "  --record OUT      draw without showing a window and write every frame: OUT\n"
      "                    with %d (e.g. turn-%03d.png) makes PNG files numbered from\n"
      "                    1; OUT ending in .mp4, .webm or .gif makes a clip at 60\n"
      "                    frames a second with ffmpeg\n"
      "  --size N          the picture is N x N pixels, 16 to 8192 (default 512);\n"
      "                    only with --output or --record\n"
      "  --info FILE       print FILE's size, coordinate ranges, bad values and\n"
      "                    normals, and whether it fits the view; open no window\n"
      "  -h, --help        show this help and exit\n"
      "  -V, --version     show the version and exit\n"
      "\n"
      "A run with --output or --record ends after --frames N frames if given, else\n"
      "after the first frame, or with --swap after the frame that ends the turn (159\n"
      "frames). It still needs a display, as the window does: on a machine without\n"
      "one, run it under xvfb-run.\n"
      "\n"
      "Keys:\n"
      "  Q W, A S, Z X   hold to turn the surface about its own x, y, z axes\n"
      "  scroll wheel    turn it about the view's horizontal and vertical axes\n"
      "  1 to 9          choose which coordinate is hidden as w\n"
      "  I, O, P         turn the hidden coordinate into view as x, y or z\n"
      "\n"
      "Examples:\n"
      "  plexorama --show 1,3,4,2 --output figure.png surface.klein\n"
      "  plexorama --save-view turned.view surface.klein\n"
      "  plexorama --view turned.view --size 2048 --output large.png surface.klein\n"
      "  plexorama --swap y --record turn.mp4 surface.klein\n"
      "\n"
      "Exit status: 0 after a normal close; 1 when a run fails (no window, a FILE\n"
      "that cannot be drawn offscreen, an output that cannot be written, no ffmpeg);\n"
      "2 for a usage error, a bad coordinate choice or a bad view file.\n";

enum {
    OPTION_FRAMES = 256, // long-only options take values past any character
    OPTION_SHOW,
    OPTION_SWAP,
    OPTION_VIEW,
    OPTION_SAVE_VIEW,
    OPTION_OUTPUT,
    OPTION_RECORD,
    OPTION_SIZE,
    OPTION_INFO,
};

static const struct option long_options[] = {
    {"frames", required_argument, nullptr, OPTION_FRAMES},
    {"show", required_argument, nullptr, OPTION_SHOW},
    {"swap", required_argument, nullptr, OPTION_SWAP},
    {"view", required_argument, nullptr, OPTION_VIEW},
    {"save-view", required_argument, nullptr, OPTION_SAVE_VIEW},
    {"output", required_argument, nullptr, OPTION_OUTPUT},
    {"record", required_argument, nullptr, OPTION_RECORD},
    {"size", required_argument, nullptr, OPTION_SIZE},
    {"info", required_argument, nullptr, OPTION_INFO},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// One line naming the problem, then the usage; the exit code of a usage error.
[[gnu::format(printf, 1, 2)]] static int __usage_error_main(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    fputs("plexorama: ", stderr);
    vfprintf(stderr, format, arguments);
    va_end(arguments);
    fprintf(stderr, "\n%s", usage);
    return 2;
}

int __number_main(const char* text, unsigned long long limit, unsigned long long* value)
{
    // strtoull alone would take a sign, leading blanks and a "0x"; only
    // plain decimal digits are a number here.
    if (*text == '\0')
        return 0;
    unsigned long long n = 0;
    for (const char* c = text; *c; c++) {
        if (*c < '0' || *c > '9')
            return 0;
        unsigned digit = static_cast<unsigned>(*c - '0');
        if (n > (limit - digit) / 10)
            return 0;
        n = n * 10 + digit;
    }
    *value = n;
    return 1;
}

const char* __coordinates_main(const char* text, uint8_t* coordinates)
{
    const char* c = text;
    for (int k = 0; k < 4; k++, c++) {
        const char* start = c;
        unsigned number = 0;
        // Past 255 the number stops growing: it is refused either way.
        for (; *c >= '0' && *c <= '9'; c++)
            if (number <= 255)
                number = number * 10 + static_cast<unsigned>(*c - '0');
        if (c == start || *c != (k < 3 ? ',' : '\0'))
            return "not four numbers A,B,C,D";
        if (number == 0 || number > 255)
            return "coordinates count from 1 to 255";
        coordinates[k] = static_cast<uint8_t>(number - 1);
        for (int j = 0; j < k; j++)
            if (coordinates[j] == coordinates[k])
                return "a coordinate is named twice";
    }
    return nullptr;
}

// How many long options a "--name" or "--name=value" argument abbreviates.
static int __prefix_count_main(const char* argument)
{
    const char* name = argument + 2;
    size_t length = strcspn(name, "=");
    int count = 0;
    for (const struct option* o = long_options; o->name; o++)
        count += strncmp(o->name, name, length) == 0;
    return count;
}

// The usage error for what getopt_long refused. optopt holds the refused
// short option, or the known long option that was given a value, or 0 for
// an unknown long option, which is then the argument before optind.
static int __refused_main(int code, const char* argument)
{
    if (code == ':')
        return __usage_error_main(
            "option '%.*s' needs a value", static_cast<int>(strcspn(argument, "=")), argument);
    for (const struct option* o = long_options; o->name; o++)
        if (o->val == optopt)
            return __usage_error_main("option '--%s' takes no value", o->name);
    if (optopt != 0)
        return __usage_error_main("unknown option '-%c'", optopt);
    if (__prefix_count_main(argument) > 1)
        return __usage_error_main("ambiguous option '%s'", argument);
    return __usage_error_main("unknown option '%s'", argument);
}

int parse_options_main(int argc, char** argv, Options* options)
{
    *options = {};
    options->frames = -1;
    // 0 starts getopt_long afresh, so the parser can run more than once in a
    // process; the leading ':' tells a missing value from an unknown option.
    optind = 0;
    opterr = 0;
    int code;
    while ((code = getopt_long(argc, argv, ":hV", long_options, nullptr)) != -1) {
        unsigned long long number = 0;
        switch (code) {
        case 'h':
            printf("%s%s", usage, help);
            return 0;
        case 'V':
            printf("plexorama %s\n", PLEXORAMA_VERSION);
            return 0;
        case OPTION_FRAMES:
            if (!__number_main(optarg, LONG_MAX, &number))
                return __usage_error_main("bad frame count '%s'", optarg);
            options->frames = static_cast<long>(number);
            break;
        case OPTION_SHOW: {
            const char* fault = __coordinates_main(optarg, options->coordinates);
            if (fault)
                return __usage_error_main("bad coordinate list '%s': %s", optarg, fault);
            options->show = optarg;
            break;
        }
        case OPTION_SWAP:
            if (strcmp(optarg, "x") == 0)
                options->swap = GLFW_KEY_I;
            else if (strcmp(optarg, "y") == 0)
                options->swap = GLFW_KEY_O;
            else if (strcmp(optarg, "z") == 0)
                options->swap = GLFW_KEY_P;
            else
                return __usage_error_main("bad swap '%s': x, y or z", optarg);
            break;
        case OPTION_VIEW:
            options->view = optarg;
            break;
        case OPTION_SAVE_VIEW:
            options->save_view = optarg;
            break;
        case OPTION_OUTPUT:
            options->output = optarg;
            break;
        case OPTION_RECORD:
            if (kind_record(optarg) == RECORD_NONE)
                return __usage_error_main(
                    "bad recording name '%s': a %%d pattern for PNG frames, or .mp4, .webm, .gif", optarg);
            options->record = optarg;
            break;
        case OPTION_SIZE:
            if (!__number_main(optarg, 8192, &number) || number < 16)
                return __usage_error_main("bad picture size '%s': 16 to 8192", optarg);
            options->size = static_cast<int>(number);
            break;
        case OPTION_INFO:
            options->info = optarg;
            break;
        default:
            return __refused_main(code, argv[optind - 1]);
        }
    }
    if (optind < argc)
        options->file = argv[optind++];
    if (optind < argc)
        return __usage_error_main("more than one file: '%s'", argv[optind]);
    if (options->info) {
        if (options->file)
            return __usage_error_main("--info takes its one FILE, not '%s'", options->file);
        return __info_main(options->info);
    }
    // These act on the file shown at start.
    const char* needs_file = options->show ? "--show"
        : options->swap                    ? "--swap"
        : options->view                    ? "--view"
                                           : nullptr;
    if (needs_file && !options->file)
        return __usage_error_main("%s needs a FILE", needs_file);
    bool offscreen = options->output || options->record;
    if (options->size && !offscreen)
        return __usage_error_main("--size needs --output or --record");
    if (options->frames == 0 && offscreen)
        return __usage_error_main("--frames 0 draws nothing to write");
    if (!options->size)
        options->size = 512;
    // H.264 in 4:2:0 takes only even sizes.
    if (options->record && kind_record(options->record) == RECORD_MP4 && options->size % 2)
        return __usage_error_main("--size %d is odd: .mp4 needs an even size", options->size);
    return -1;
}
