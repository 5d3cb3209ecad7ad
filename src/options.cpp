// The command line: option table, usage and help texts, and parsing.
#include "options.h"

#include <getopt.h>

#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <strings.h>

#include <GLFW/glfw3.h>

#include "motion.h"
#include "record.h"

static const char usage[] = "usage: plexorama [--frames N] [--show A,B,C,D] [--swap x|y|z] [--view FILE]\n"
                            "                 [--turn PLANE=DEGREES,...] [--zoom F] [--light file|shape]\n"
                            "                 [--spin PLANE[=DEGREES_PER_SECOND]] [--save-view FILE]\n"
                            "                 [--color fixed|w] [--slice C[,DELTA]] [--eye4 D] [--gizmo]\n"
                            "                 [--wire on|off] [--output FILE.png] [--record OUT] [--size N]\n"
                            "                 [--quiet] [--] [FILE]\n"
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
      "  --turn PLANE=DEGREES,...\n"
      "                    turn the shown coordinates in four dimensions, after\n"
      "                    --view, in the order given; PLANE is xy, xz, yz, xw, yw or\n"
      "                    zw, and xw=90 turns x toward w as I does\n"
      "  --zoom F          magnify the picture F times, 0.125 to 8\n"
      "  --light file|shape\n"
      "                    light with the file's normals (the default) or with the\n"
      "                    normals of the surface as drawn, right in every view\n"
      "  --spin PLANE[=DEGREES_PER_SECOND]\n"
      "                    keep turning in PLANE, 60 degrees a second unless given;\n"
      "                    with --record, make exactly one full turn that loops\n"
      "  --color fixed|w   colour the surface as ever, or by w: blue at -s, grey at 0,\n"
      "                    red at +s, s the largest length of the shown (x, y, z, w)\n"
      "  --slice C[,DELTA] show only what lies within DELTA (s/16 unless given) of\n"
      "                    the hyperplane w = C\n"
      "  --eye4 D          look from an eye on the w axis at distance D: x, y, z\n"
      "                    scaled by D / (D - w)\n"
      "  --gizmo           show where the four axes point, in the lower left corner\n"
      "  --wire on|off     draw the wireframe (on by default)\n"
      "  --save-view FILE  write the orientation, the shown coordinates, the 4-D\n"
      "                    turn, zoom, pan and lighting at shutdown\n"
      "  --output FILE.png draw without showing a window and write the last frame as\n"
      "                    an 8-bit RGB PNG\n"
      "  --record OUT      draw without showing a window and write every frame: OUT\n"
      "                    with %d (e.g. turn-%03d.png) makes PNG files numbered from\n"
      "                    1; OUT ending in .mp4, .webm or .gif makes a clip at 60\n"
      "                    frames a second with ffmpeg (a GIF at 50, every frame\n"
      "                    2 hundredths of a second)\n"
      "  --size N          the picture is N x N pixels, 16 to 8192 (default 512);\n"
      "                    only with --output or --record\n"
      "  --quiet           print no progress messages on standard output\n"
      "  --info FILE       print FILE's size, coordinate ranges, bad values and\n"
      "                    normals, and whether it fits the view; open no window\n"
      "  -h, --help        show this help and exit\n"
      "  -V, --version     show the version and exit\n"
      "\n"
      "A run with --output or --record ends after --frames N frames if given, else\n"
      "after one full turn of --spin (360 x 60 / rate frames), after the frame that\n"
      "ends the turn of --swap (159 frames), or after the first frame. It still needs\n"
      "a display, as the window does: on a machine without one, run it under\n"
      "xvfb-run.\n"
      "\n"
      "Keys:\n";

const KeyRow key_rows_options[] = {
    {"Q W, A S, Z X", "hold to turn the surface about its own x, y, z axes"},
    {"E R, D F, C V", "hold to turn x, y, z toward w and back, in four dimensions"},
    {"scroll wheel", "turn it about the view's horizontal and vertical axes"},
    {"left drag", "turn it so, too; let go while moving to keep it spinning"},
    {"right drag", "turn it in four dimensions: +w comes toward the pointer"},
    {"  or Shift-left drag", ""},
    {"middle drag", "move the picture"},
    {"Ctrl-scroll, = -", "zoom in and out"},
    {"Space", "stop spinning (a click does too)"},
    {"Backspace", "back to the first view: orientation, 4-D turn, zoom, pan"},
    {"L", "light with the file's normals or the surface's shape"},
    {"H", "colour by w, or as ever"},
    {"K", "slice about w = c; hold [ and ] to move c"},
    {"J", "the 4-D perspective, from an eye at 3 s on the w axis"},
    {"G", "the axes: x red, y green, z blue, w magenta"},
    {"T", "the wireframe"},
    {"1 to 9", "choose which coordinate is hidden as w"},
    {"I, O, P", "turn the hidden coordinate into view as x, y or z"},
    {"Tab", "show or hide the control panel"},
};
const int key_row_count_options = sizeof key_rows_options / sizeof key_rows_options[0];

static const char help_end[]
    = "\n"
      "Examples:\n"
      "  plexorama --show 1,3,4,2 --output figure.png surface.klein\n"
      "  plexorama --save-view turned.view surface.klein\n"
      "  plexorama --view turned.view --size 2048 --output large.png surface.klein\n"
      "  plexorama --swap y --record turn.mp4 surface.klein\n"
      "  plexorama --turn yw=40 --output figure.png surface.klein\n"
      "  plexorama --spin xw=30 --size 400 --record spin.webm surface.klein\n"
      "  plexorama --color w --slice 0.2 --output slice.png surface.klein\n"
      "\n"
      "Exit status: 0 after a normal close; 1 when a run fails (no window, a FILE\n"
      "that cannot be drawn offscreen, an output that cannot be written, no ffmpeg);\n"
      "2 for a usage error, a bad coordinate choice or a bad view file.\n";

static void __help_options()
{
    printf("%s%s", usage, help);
    // The actions line up after the keys, two blanks apart at the least.
    for (const KeyRow& row : key_rows_options) {
        int blanks = static_cast<int>(strlen(row.keys)) < 14 ? 16 - static_cast<int>(strlen(row.keys)) : 2;
        printf("  %s%*s%s\n", row.keys, row.action[0] ? blanks : 0, "", row.action);
    }
    printf("%s", help_end);
}

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
    OPTION_TURN,
    OPTION_ZOOM,
    OPTION_LIGHT,
    OPTION_SPIN,
    OPTION_QUIET,
    OPTION_COLOR,
    OPTION_SLICE,
    OPTION_EYE4,
    OPTION_GIZMO,
    OPTION_WIRE,
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
    {"turn", required_argument, nullptr, OPTION_TURN},
    {"zoom", required_argument, nullptr, OPTION_ZOOM},
    {"light", required_argument, nullptr, OPTION_LIGHT},
    {"spin", required_argument, nullptr, OPTION_SPIN},
    {"quiet", no_argument, nullptr, OPTION_QUIET},
    {"color", required_argument, nullptr, OPTION_COLOR},
    {"slice", required_argument, nullptr, OPTION_SLICE},
    {"eye4", required_argument, nullptr, OPTION_EYE4},
    {"gizmo", no_argument, nullptr, OPTION_GIZMO},
    {"wire", required_argument, nullptr, OPTION_WIRE},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// One line naming the problem, then the usage; the exit code of a usage error.
[[gnu::format(printf, 1, 2)]] static int __usage_error_options(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    fputs("plexorama: ", stderr);
    vfprintf(stderr, format, arguments);
    va_end(arguments);
    fprintf(stderr, "\n%s", usage);
    return 2;
}

int __number_options(const char* text, unsigned long long limit, unsigned long long* value)
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

static int __ends_with_png_options(const char* name)
{
    size_t length = strlen(name);
    return length > 4 && strcasecmp(name + length - 4, ".png") == 0;
}

// A finite float written out in full.
static int __float_options(const char* text, float* value)
{
    char* end = nullptr;
    *value = strtof(text, &end);
    return end != text && *end == '\0' && std::isfinite(*value);
}

int __turns_options(const char* text, Turn* turns, int count)
{
    int read = 0;
    for (const char* c = text;; c++) {
        size_t length = strcspn(c, ",");
        char item[64];
        if (read == count || length >= sizeof item)
            return -1;
        memcpy(item, c, length);
        item[length] = '\0';
        char* equals = strchr(item, '=');
        Turn& t = turns[read++];
        if (!equals || !plane_motion(item, static_cast<size_t>(equals - item), &t.a, &t.b)
            || !__float_options(equals + 1, &t.degrees))
            return -1;
        c += length;
        if (*c == '\0')
            return read;
    }
}

// 0 for the first word, 1 for the second, -1 for anything else.
static int __word_options(const char* text, const char* first, const char* second)
{
    return strcmp(text, first) == 0 ? 0 : strcmp(text, second) == 0 ? 1 : -1;
}

// "C" or "C,DELTA", DELTA not below 0; 0, or none given, is s / 16.
static int __band_options(const char* text, float* band)
{
    char first[64];
    size_t length = strcspn(text, ",");
    if (length >= sizeof first)
        return 0;
    memcpy(first, text, length);
    first[length] = '\0';
    band[1] = 0.0f;
    return __float_options(first, &band[0]) && (text[length] == '\0' || (__float_options(text + length + 1, &band[1]) && band[1] >= 0.0f));
}

// "PLANE" or "PLANE=RATE": a rate from 1 to 3600 degrees a second, either
// way; slower would take hours to turn once.
static int __spin_options(const char* text, Turn* spin)
{
    const char* equals = strchr(text, '=');
    size_t length = equals ? static_cast<size_t>(equals - text) : strlen(text);
    float rate = 60.0f;
    if (!plane_motion(text, length, &spin->a, &spin->b) || (equals && !__float_options(equals + 1, &rate))
        || !(fabsf(rate) >= 1.0f && fabsf(rate) <= 3600.0f))
        return 0;
    spin->degrees = rate;
    return 1;
}

const char* __coordinates_options(const char* text, uint8_t* coordinates)
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
static int __prefix_count_options(const char* argument)
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
static int __refused_options(int code, const char* argument)
{
    if (code == ':')
        return __usage_error_options(
            "option '%.*s' needs a value", static_cast<int>(strcspn(argument, "=")), argument);
    for (const struct option* o = long_options; o->name; o++)
        if (o->val == optopt)
            return __usage_error_options("option '--%s' takes no value", o->name);
    if (optopt != 0)
        return __usage_error_options("unknown option '-%c'", optopt);
    if (__prefix_count_options(argument) > 1)
        return __usage_error_options("ambiguous option '%s'", argument);
    return __usage_error_options("unknown option '%s'", argument);
}

int parse_options(int argc, char** argv, Options* options)
{
    *options = {};
    options->frames = -1;
    options->light = -1;
    options->tint = -1;
    options->wire = -1;
    // 0 starts getopt_long afresh, so the parser can run more than once in a
    // process; the leading ':' tells a missing value from an unknown option.
    optind = 0;
    opterr = 0;
    int code;
    while ((code = getopt_long(argc, argv, ":hV", long_options, nullptr)) != -1) {
        unsigned long long number = 0;
        switch (code) {
        case 'h':
            __help_options();
            return 0;
        case 'V':
            printf("plexorama %s\n", PLEXORAMA_VERSION);
            return 0;
        case OPTION_FRAMES:
            if (!__number_options(optarg, LONG_MAX, &number))
                return __usage_error_options("bad frame count '%s'", optarg);
            options->frames = static_cast<long>(number);
            break;
        case OPTION_SHOW: {
            const char* fault = __coordinates_options(optarg, options->coordinates);
            if (fault)
                return __usage_error_options("bad coordinate list '%s': %s", optarg, fault);
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
                return __usage_error_options("bad swap '%s': x, y or z", optarg);
            break;
        case OPTION_VIEW:
            options->view = optarg;
            break;
        case OPTION_SAVE_VIEW:
            options->save_view = optarg;
            break;
        case OPTION_OUTPUT:
            // The picture is PNG whatever its name; a name that says
            // otherwise would mislead every program that goes by it.
            if (!__ends_with_png_options(optarg))
                return __usage_error_options("bad picture name '%s': it must end in .png", optarg);
            options->output = optarg;
            break;
        case OPTION_RECORD:
            if (kind_record(optarg) == RECORD_NONE)
                return __usage_error_options(
                    "bad recording name '%s': a %%d pattern for PNG frames, or .mp4, .webm, .gif", optarg);
            options->record = optarg;
            break;
        case OPTION_SIZE:
            if (!__number_options(optarg, 8192, &number) || number < 16)
                return __usage_error_options("bad picture size '%s': 16 to 8192", optarg);
            options->size = static_cast<int>(number);
            break;
        case OPTION_INFO:
            options->info = optarg;
            break;
        case OPTION_TURN:
            options->turn_count = __turns_options(optarg, options->turns, 16);
            if (options->turn_count < 0)
                return __usage_error_options(
                    "bad turn '%s': PLANE=DEGREES,... with PLANE xy, xz, yz, xw, yw or zw, at most 16", optarg);
            break;
        case OPTION_ZOOM:
            if (!__float_options(optarg, &options->zoom) || !(options->zoom >= min_zoom_motion)
                || !(options->zoom <= max_zoom_motion))
                return __usage_error_options("bad zoom '%s': 0.125 to 8", optarg);
            break;
        case OPTION_LIGHT:
            options->light = __word_options(optarg, "file", "shape");
            if (options->light < 0)
                return __usage_error_options("bad light '%s': file or shape", optarg);
            break;
        case OPTION_QUIET:
            options->quiet = true;
            break;
        case OPTION_COLOR:
            options->tint = __word_options(optarg, "fixed", "w");
            if (options->tint < 0)
                return __usage_error_options("bad color '%s': fixed or w", optarg);
            break;
        case OPTION_SLICE:
            if (!__band_options(optarg, options->band))
                return __usage_error_options("bad slice '%s': C or C,DELTA, DELTA not below 0", optarg);
            options->slice = true;
            break;
        case OPTION_EYE4:
            if (!__float_options(optarg, &options->eye4) || !(options->eye4 > 0.0f))
                return __usage_error_options("bad eye distance '%s': a number above 0", optarg);
            break;
        case OPTION_GIZMO:
            options->gizmo = true;
            break;
        case OPTION_WIRE:
            options->wire = __word_options(optarg, "off", "on");
            if (options->wire < 0)
                return __usage_error_options("bad wire '%s': on or off", optarg);
            break;
        case OPTION_SPIN:
            if (!__spin_options(optarg, &options->spin))
                return __usage_error_options(
                    "bad spin '%s': PLANE or PLANE=DEGREES_PER_SECOND, 1 to 3600 either way", optarg);
            break;
        default:
            return __refused_options(code, argv[optind - 1]);
        }
    }
    if (optind < argc)
        options->file = argv[optind++];
    if (optind < argc)
        return __usage_error_options("more than one file: '%s'", argv[optind]);
    if (options->info) {
        if (options->file)
            return __usage_error_options("--info takes its one FILE, not '%s'", options->file);
        return -1;
    }
    // These act on the file shown at start.
    const char* needs_file = options->show ? "--show"
        : options->swap                    ? "--swap"
        : options->view                    ? "--view"
        : options->turn_count              ? "--turn"
        : options->spin.degrees != 0.0f    ? "--spin"
        : options->output                  ? "--output"
        : options->record                  ? "--record"
                                           : nullptr;
    if (needs_file && !options->file)
        return __usage_error_options("%s needs a FILE", needs_file);
    bool offscreen = options->output || options->record;
    if (options->size && !offscreen)
        return __usage_error_options("--size needs --output or --record");
    if (options->frames == 0 && offscreen)
        return __usage_error_options("--frames 0 draws nothing to write");
    if (!options->size)
        options->size = 512;
    // H.264 in 4:2:0 takes only even sizes.
    if (options->record && kind_record(options->record) == RECORD_MP4 && options->size % 2)
        return __usage_error_options("--size %d is odd: .mp4 needs an even size", options->size);
    return -1;
}
