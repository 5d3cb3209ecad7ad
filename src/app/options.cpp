// The command line: the table of options and the readers of their values.
#include "app/options.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <strings.h>

#include "app/options_parts.h"

#include "app/keys.h"
#include "app/record.h"
#include "core/motion.h"
#include "core/ranges.h"

const char* fault_options(const char* format, ...)
{
    static char fault[4096];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(fault, sizeof fault, format, arguments);
    va_end(arguments);
    return fault;
}

template <typename T> static T* __field_options(const OptionRow& row, char* record)
{
    return reinterpret_cast<T*>(record + row.at);
}

static const char* __switch_options(const OptionRow& row, const char*, char* record)
{
    *__field_options<bool>(row, record) = true;
    return nullptr;
}

static const char* __text_options(const OptionRow& row, const char* value, char* record)
{
    *__field_options<const char*>(row, record) = value;
    return nullptr;
}

// The place of text among the words of a row's argument, "x|y|z" (a value
// after the last word, "[=S]", is not a word); -1 when it is none of them,
// with the fault that says so.
static int __place_options(const OptionRow& row, const char* text, const char** fault)
{
    char listed[96] = "";
    int place = 0, found = -1;
    for (const char* word = row.argument; *word && *word != '['; place++) {
        size_t length = strcspn(word, "|[");
        if (strlen(text) == length && strncmp(text, word, length) == 0)
            found = place;
        const char* between = !*listed ? "" : word[length] && word[length] != '[' ? ", " : " or ";
        snprintf(listed + strlen(listed), sizeof listed - strlen(listed), "%s%.*s", between,
            static_cast<int>(length), word);
        word += length + (word[length] == '|');
    }
    if (found < 0)
        *fault = fault_options("bad %s '%s': %s", row.name, text, listed);
    return found;
}

// One of the argument's words, held as an int: its value in the row's
// words, else its place.
static const char* __word_options(const OptionRow& row, const char* value, char* record)
{
    const char* fault = nullptr;
    int place = __place_options(row, value, &fault);
    if (place >= 0)
        *__field_options<int>(row, record) = row.words ? row.words[place] : place;
    return fault;
}

// on|off, held as a bool: a word's int would write past it.
static const char* __on_off_options(const OptionRow& row, const char* value, char* record)
{
    const char* fault = nullptr;
    int place = __place_options(row, value, &fault);
    if (place >= 0)
        *__field_options<bool>(row, record) = place == 0;
    return fault;
}

// A float within the row's range.
static const char* __number_options(const OptionRow& row, const char* value, char* record)
{
    float number = 0.0f;
    RangeName range = static_cast<RangeName>(row.range);
    if (!float_values(value, &number) || !within_range(range, number))
        return fault_options("bad %s '%s': %s", row.what, value, text_range(range));
    *__field_options<float>(row, record) = number;
    return nullptr;
}

static const char* __frames_options(const OptionRow& row, const char* value, char* record)
{
    unsigned long long number = 0;
    if (!number_values(value, LONG_MAX, &number))
        return fault_options("bad %s '%s'", row.what, value);
    *__field_options<long>(row, record) = static_cast<long>(number);
    return nullptr;
}

static const char* __size_options(const OptionRow& row, const char* value, char* record)
{
    unsigned long long number = 0;
    if (!number_values(value, 8192, &number) || number < 16)
        return fault_options("bad %s '%s': 16 to 8192", row.what, value);
    *__field_options<int>(row, record) = static_cast<int>(number);
    return nullptr;
}

static const char* __show_options(const OptionRow& row, const char* value, char* record)
{
    Options* options = reinterpret_cast<Options*>(record);
    if (const char* fault = coordinates_values(value, options->coordinates))
        return fault_options("bad %s '%s': %s", row.what, value, fault);
    options->show = value;
    return nullptr;
}

static const char* __swap_options(const OptionRow& row, const char* value, char* record)
{
    const char* fault = nullptr;
    int place = __place_options(row, value, &fault);
    if (place >= 0)
        reinterpret_cast<Options*>(record)->swap = row_keys(KEY_SWAP)->codes[place];
    return fault;
}

static const char* __turn_options(const OptionRow&, const char* value, char* record)
{
    Options* options = reinterpret_cast<Options*>(record);
    if ((options->turn_count = turns_values(value, options->turns, 16)) < 0)
        return fault_options(
            "bad turn '%s': PLANE=DEGREES,... with PLANE xy, xz, yz, xw, yw, zw or A:B, at most 16", value);
    return nullptr;
}

static const char* __basis_options(const OptionRow&, const char* value, char* record)
{
    Options* options = reinterpret_cast<Options*>(record);
    options->frame_count = floats_values(value, options->frame, 4 * max_dim_frame);
    if (options->frame_count < 16 || options->frame_count % 4)
        return fault_options("bad basis '%.40s': 4 m numbers, m from 4 to 255, row after row", value);
    return nullptr;
}

static const char* __tour_options(const OptionRow&, const char* value, char* record)
{
    Options* options = reinterpret_cast<Options*>(record);
    if (!(options->tour = tour_values(value, &options->seed, &options->seeded)))
        return fault_options("bad tour '%s': grand[=SEED], little or guided=KIND[=SEED], "
                             "KIND fewest-crossings or spread",
            value);
    return nullptr;
}

static const char* __output_options(const OptionRow& row, const char* value, char* record)
{
    // The picture is PNG whatever its name; a name that says otherwise
    // would mislead every program that goes by it.
    size_t length = strlen(value);
    if (length <= 4 || strcasecmp(value + length - 4, ".png") != 0)
        return fault_options("bad picture name '%s': it must end in .png", value);
    return __text_options(row, value, record);
}

static const char* __record_options(const OptionRow& row, const char* value, char* record)
{
    if (kind_record(value) == RECORD_NONE)
        return fault_options(
            "bad recording name '%s': a %%d pattern for PNG frames, or .mp4, .webm, .gif", value);
    return __text_options(row, value, record);
}

static const char* __ui_scale_options(const OptionRow&, const char* value, char* record)
{
    float scale = 0.0f;
    if (!float_values(value, &scale) || !(scale >= 0.5f) || !(scale <= 4.0f))
        return fault_options("bad interface scale '%s': 0.5 to 4", value);
    reinterpret_cast<Options*>(record)->ui_scale = scale;
    return nullptr;
}

static const char* __spin_options(const OptionRow&, const char* value, char* record)
{
    Turn spin = {};
    if (!spin_values(value, &spin))
        return fault_options(
            "bad spin '%s': PLANE or PLANE=DEGREES_PER_SECOND, %s", value, text_range(RANGE_SPIN_RATE));
    reinterpret_cast<View*>(record)->spin = plane_spin_motion(spin.a, spin.b, spin.degrees);
    return nullptr;
}

// --color and --stereo: a word, and the map's scale or the eyes' distance
// after it but for the first word, fixed or off, which has none to take.
static const char* __word_number_options(const OptionRow& row, const char* value, char* record)
{
    View* next = reinterpret_cast<View*>(record);
    bool tint = row.at == offsetof(View, cues.tint);
    if (tint && strcmp(value, "w=auto") == 0) {
        next->cues.tint = TINT_W;
        next->cues.tint_scale = -1.0f;
        return nullptr;
    }
    char text[32];
    float number = 0.0f;
    const char* fault = nullptr;
    RangeName range = static_cast<RangeName>(row.range);
    if (!word_number_values(value, text, sizeof text, &number))
        return fault_options("bad %s '%s': %s", row.name, value, row.argument);
    int word = __place_options(row, text, &fault);
    if (word < 0)
        return fault;
    if (word == 0 && number != -1.0f)
        return fault_options("bad %s '%s': %s takes no number", row.name, value, text);
    if (number != -1.0f && !within_range(range, number))
        return fault_options("bad %s '%s': %s", row.name, value, fault_range(range));
    *__field_options<int>(row, record) = word;
    if (number != -1.0f)
        *(tint ? &next->cues.tint_scale : &next->finish.eyes) = number;
    return nullptr;
}

static const char* __slice_options(const OptionRow&, const char* value, char* record)
{
    Cues& c = reinterpret_cast<View*>(record)->cues;
    float band[2];
    if (!band_values(value, band))
        return fault_options("bad slice '%s': C or C,DELTA, DELTA %s", value, text_range(RANGE_WIDTH, true));
    c.slice = true;
    c.slice_at = band[0];
    c.slice_width = band[1];
    return nullptr;
}

static const char* __eye4_options(const OptionRow& row, const char* value, char* record)
{
    const char* fault = __number_options(row, value, record);
    if (!fault)
        reinterpret_cast<View*>(record)->cues.eye4 = true;
    return fault;
}

static const char* __tubes_options(const OptionRow& row, const char* value, char* record)
{
    float radius = 0.0f;
    if (strcmp(value, "off") != 0
        && (!float_values(value, &radius) || !within_range(RANGE_TUBES, radius, true)))
        return fault_options("bad %s '%s': off, 0 or %s", row.what, value, ranges[RANGE_TUBES].text);
    *__field_options<float>(row, record) = radius;
    return nullptr;
}

static const char* __colors_options(const OptionRow& row, const char* value, char* record)
{
    Finish& f = reinterpret_cast<View*>(record)->finish;
    if (const char* fault = colors_values(value, ',', f.colors, max_colors_view, &f.color_count))
        return fault_options("bad %s '%s': %s", row.what, value, fault);
    return nullptr;
}

static const int aa_words[] = {1, 2, 4, 8};

#define RUN(field) offsetof(Options, field)
#define SEEN(field) offsetof(View, field)
// Short for the flags most rows have.
constexpr unsigned U = OPTION_USAGE, F = OPTION_FILE, V = OPTION_VIEW;
static_assert(sizeof(Light) == sizeof(int) && sizeof(Tint) == sizeof(int) && sizeof(Stereo) == sizeof(int),
    "word options are held as ints");

// Rows: name, letter, argument, flags, reader, field, range, words, what
// the faults call the value, help. RANGE_COUNT: no range.
const OptionRow option_rows[] = {
    {"frames", 0, "N", U | OPTION_DRAWS, __frames_options, RUN(frames), RANGE_COUNT, nullptr, "frame count",
        "draw N frames, then close as the window's close button does"},
    {"show", 0, "A,B,C,D", U | F, __show_options, RUN(show), RANGE_COUNT, nullptr, "coordinate list",
        "show coordinates A, B, C of FILE as x, y, z and hide D as\n"
        "w; coordinates count from 1"},
    {"swap", 0, "x|y|z", U | F | OPTION_DRAWS, __swap_options, RUN(swap), RANGE_COUNT, nullptr, "swap",
        "start the turn that I, O or P starts, once FILE is shown"},
    {"view", 0, "FILE", U | F | OPTION_INFO, __text_options, RUN(view), RANGE_COUNT, nullptr, "view",
        "restore a view saved with --save-view before the first frame\n"
        "(--show, when given too, chooses the coordinates)"},
    {"turn", 0, "PLANE=DEGREES,...", U | F, __turn_options, RUN(turns), RANGE_COUNT, nullptr, "turn",
        "turn the shown coordinates in four dimensions, after\n"
        "--view, in the order given; PLANE is xy, xz, yz, xw, yw or\n"
        "zw, and xw=90 turns x toward w as I does; or A:B, the\n"
        "surface's coordinates A and B from 1: 1:5=90 shows x5 as x"},
    {"basis", 0, "F11,...,F4m", U | F, __basis_options, RUN(frame), RANGE_COUNT, nullptr, "basis",
        "show FILE through the frame of R^m with these rows (x, y, z\n"
        "and w, each of the surface's m coordinates), orthonormal"},
    {"zoom", 0, "F", U | V, __number_options, SEEN(zoom), RANGE_ZOOM, nullptr, "zoom",
        "magnify the picture F times, 0.125 to 8"},
    {"light", 0, "file|shape|smooth", U | V, __word_options, SEEN(light), RANGE_COUNT, nullptr, "light",
        "light with the file's normals (the default) or with the\n"
        "normals of the surface as drawn, right in every view: of\n"
        "each triangle, or smooth from the tangent planes"},
    {"spin", 0, "PLANE[=DEGREES_PER_SECOND]", U | F | V, __spin_options, SEEN(spin), RANGE_SPIN_RATE, nullptr,
        "spin",
        "keep turning in PLANE, 60 degrees a second unless given;\n"
        "with --record, make exactly one full turn that loops"},
    {"tour", 0, "grand[=SEED]|little|guided=KIND[=SEED]", U | F, __tour_options, RUN(tour), RANGE_COUNT, nullptr, "tour",
        "tour through frames of R^m from the frame on show: to random\n"
        "frames (of SEED's sequence) or through choices of 4 coordinates,\n"
        "guided, to where the double curve is shortest (KIND\n"
        "fewest-crossings) or the shadow largest (spread), and stop\n"
        "there, printing the frame"},
    {"tour-speed", 0, "DEG", U | V, __number_options, SEEN(tour.speed), RANGE_TOUR_SPEED, nullptr,
        "tour speed", "the tour turns DEG degrees a second (default 20), 0.1 to 3600"},
    {"save-view", 0, "FILE", U | OPTION_DRAWS, __text_options, RUN(save_view), RANGE_COUNT, nullptr,
        "view file",
        "write the orientation, the shown coordinates, the 4-D\n"
        "turn, zoom, pan and lighting at shutdown"},
    {"color", 0, "fixed|w[=S|auto]", U | V, __word_number_options, SEEN(cues.tint), RANGE_SCALE, nullptr,
        "color",
        "colour the surface as ever, or by w: blue at -s, grey at 0,\n"
        "red at +s, s the largest length of the shown (x, y, z, w)\n"
        "unless given; auto: the largest |w| as shown"},
    {"slice", 0, "C[,DELTA]", U | V, __slice_options, SEEN(cues.slice), RANGE_WIDTH, nullptr, "slice",
        "show only what lies within DELTA (s/16 unless given) of\n"
        "the hyperplane w = C"},
    {"eye4", 0, "D", U | V, __eye4_options, SEEN(cues.eye4_at), RANGE_EYE4, nullptr, "eye distance",
        "look from an eye on the w axis at distance D (0.000001 to\n"
        "1000000): x, y, z scaled by D / (D - w)"},
    {"gizmo", 0, nullptr, U | V, __switch_options, SEEN(cues.gizmo), RANGE_COUNT, nullptr, "gizmo",
        "show where the four axes point, in the lower left corner"},
    {"wire", 0, "on|off", U | V, __on_off_options, SEEN(cues.wire), RANGE_COUNT, nullptr, "wire",
        "draw the wireframe (on by default)"},
    {"double-curve", 0, nullptr, U | V, __switch_options, SEEN(cues.curve), RANGE_COUNT, nullptr, "double curve",
        "draw where the shadow crosses itself, in a dark ink, and\n"
        "the two curves of the surface above it: the upper (larger\n"
        "w) in the map's red, the lower in its blue"},
    {"broken", 0, nullptr, U | V, __switch_options, SEEN(cues.broken), RANGE_COUNT, nullptr, "broken",
        "draw a broken-surface diagram: along the double curve the\n"
        "lower sheet is cut away, and the upper passes over it"},
    {"aa", 0, "1|2|4|8", U | V, __word_options, SEEN(finish.aa), RANGE_COUNT, aa_words, "aa",
        "anti-alias with that many samples a pixel (1, the default,\n"
        "is none; past what the GL offers, what it offers)"},
    {"opacity", 0, "A", U | V, __number_options, SEEN(finish.opacity), RANGE_OPACITY, nullptr, "opacity",
        "draw the surface with opacity A, above 0 to 1 (the default),\n"
        "the same whatever the order of its triangles"},
    {"line-width", 0, "W", U | V, __number_options, SEEN(finish.line_width), RANGE_LINE_WIDTH, nullptr,
        "line width", "draw lines W pixels wide, 0.5 to 64 (default 2)"},
    {"point-size", 0, "P", U | V, __number_options, SEEN(finish.point_size), RANGE_POINT_SIZE, nullptr,
        "point size", "draw points P pixels across, 0.5 to 64 (default 4)"},
    {"tubes", 0, "R|off", U | V, __tubes_options, SEEN(finish.tubes), RANGE_TUBES, nullptr, "tube radius",
        "draw lines as lit tubes of radius R in the shown units\n"
        "(0.000001 to 1000000); off or 0: flat lines (the default)"},
    {"colors", 0, "C1,C2,...", U | V, __colors_options, SEEN(finish.colors), RANGE_COUNT, nullptr, "colors",
        "colour each FILE's shapes in this order, where the file\n"
        "gives no colours: #rrggbb, or red, orange, yellow, green,\n"
        "teal, blue, purple, pink, brown, grey, black or white"},
    {"stereo", 0, "off|anaglyph|side-by-side[=D]", U | V, __word_number_options, SEEN(finish.stereo),
        RANGE_EYES, nullptr, "stereo",
        "draw for two eyes D apart (0.25 unless given, 0 to 2): red\n"
        "for the left and cyan for the right, or each in its half"},
    {"output", 0, "FILE.png", U | F | OPTION_DRAWS, __output_options, RUN(output), RANGE_COUNT, nullptr,
        "picture name",
        "draw without showing a window and write the last frame as\n"
        "an 8-bit RGB PNG"},
    {"record", 0, "OUT", U | F | OPTION_DRAWS, __record_options, RUN(record), RANGE_COUNT, nullptr,
        "recording name",
        "draw without showing a window and write every frame: OUT\n"
        "with %d (e.g. turn-%03d.png) makes PNG files numbered from\n"
        "1; OUT ending in .mp4, .webm or .gif makes a clip at 60\n"
        "frames a second with ffmpeg (a GIF at 50, every frame\n"
        "2 hundredths of a second)"},
    {"size", 0, "N", U, __size_options, RUN(size), RANGE_COUNT, nullptr, "picture size",
        "the picture is N x N pixels, 16 to 8192 (default 512);\n"
        "only with --output or --record"},
    {"ui-scale", 0, "F", U, __ui_scale_options, RUN(ui_scale), RANGE_COUNT, nullptr, "interface scale",
        "the control panel's text and controls F times their size,\n"
        "0.5 to 4 (1 unless given), as Ctrl+ and Ctrl- make them"},
    {"quiet", 0, nullptr, U, __switch_options, RUN(quiet), RANGE_COUNT, nullptr, "quiet",
        "print no progress messages on standard output"},
    {"no-preferences", 0, nullptr, U, __switch_options, RUN(no_preferences), RANGE_COUNT, nullptr,
        "no-preferences",
        "do not apply the preferences file, default.view in\n"
        "$XDG_CONFIG_HOME/plexorama (else ~/.config/plexorama)"},
    {"print-view", 0, nullptr, U | F, __switch_options, RUN(print_view), RANGE_COUNT, nullptr, "print-view",
        "print the view that FILE and the other options give, as a\n"
        "view file, and open no window"},
    {"info", 0, nullptr, F | OPTION_INFO, __switch_options, RUN(describe), RANGE_COUNT, nullptr, "info",
        "print FILE's size, coordinate ranges, bad values and\n"
        "normals, and whether it fits the view; with --view, the\n"
        "length, components, triple points and branch points of\n"
        "the double curve of its shadow in that view; open no window"},
    {"help", 'h', nullptr, OPTION_ANSWERS, __switch_options, RUN(help), RANGE_COUNT, nullptr, "help",
        "show this help and exit"},
    {"version", 'V', nullptr, OPTION_ANSWERS, __switch_options, RUN(version), RANGE_COUNT, nullptr, "version",
        "show the version and exit"},
};
const int option_row_count = sizeof option_rows / sizeof option_rows[0];
static_assert(sizeof option_rows / sizeof option_rows[0] <= 64, "a bit of Options::given a row");

#undef RUN
#undef SEEN
