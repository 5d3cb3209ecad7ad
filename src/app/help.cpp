// Usage and help: the table of options with what --help says of each, and
// the texts a user reads, made from it and from the table of keys.
#include "app/help.h"

#include <cstdarg>
#include <cstring>

#include "app/keys.h"
#include "core/log.h"
#include "app/options.h"

const OptionRow option_rows[] = {
    {"frames", 0, "N", true, false, OPTION_FRAMES,
        "draw N frames, then close as the window's close button does"},
    {"show", 0, "A,B,C,D", true, true, OPTION_SHOW,
        "show coordinates A, B, C of FILE as x, y, z and hide D as\n"
        "w; coordinates count from 1"},
    {"swap", 0, "x|y|z", true, true, OPTION_SWAP, "start the turn that I, O or P starts, once FILE is shown"},
    {"view", 0, "FILE", true, true, OPTION_VIEW,
        "restore a view saved with --save-view before the first frame\n"
        "(--show, when given too, chooses the coordinates)"},
    {"turn", 0, "PLANE=DEGREES,...", true, true, OPTION_TURN,
        "turn the shown coordinates in four dimensions, after\n"
        "--view, in the order given; PLANE is xy, xz, yz, xw, yw or\n"
        "zw, and xw=90 turns x toward w as I does; or A:B, the\n"
        "surface's coordinates A and B from 1: 1:5=90 shows x5 as x"},
    {"basis", 0, "F11,...,F4m", true, true, OPTION_BASIS,
        "show FILE through the frame of R^m with these rows (x, y, z\n"
        "and w, each of the surface's m coordinates), orthonormal"},
    {"zoom", 0, "F", true, false, OPTION_ZOOM, "magnify the picture F times, 0.125 to 8"},
    {"light", 0, "file|shape|smooth", true, false, OPTION_LIGHT,
        "light with the file's normals (the default) or with the\n"
        "normals of the surface as drawn, right in every view: of\n"
        "each triangle, or smooth from the tangent planes"},
    {"spin", 0, "PLANE[=DEGREES_PER_SECOND]", true, true, OPTION_SPIN,
        "keep turning in PLANE, 60 degrees a second unless given;\n"
        "with --record, make exactly one full turn that loops"},
    {"tour", 0, "grand[=SEED]|little", true, true, OPTION_TOUR,
        "tour through frames of R^m from the frame on show: to random\n"
        "frames (of SEED's sequence) or through choices of 4 coordinates"},
    {"tour-speed", 0, "DEG", true, false, OPTION_TOUR_SPEED,
        "the tour turns DEG degrees a second (default 20), 0.1 to 3600"},
    {"save-view", 0, "FILE", true, false, OPTION_SAVE_VIEW,
        "write the orientation, the shown coordinates, the 4-D\n"
        "turn, zoom, pan and lighting at shutdown"},
    {"color", 0, "fixed|w[=S|auto]", true, false, OPTION_COLOR,
        "colour the surface as ever, or by w: blue at -s, grey at 0,\n"
        "red at +s, s the largest length of the shown (x, y, z, w)\n"
        "unless given; auto: the largest |w| as shown"},
    {"slice", 0, "C[,DELTA]", true, false, OPTION_SLICE,
        "show only what lies within DELTA (s/16 unless given) of\n"
        "the hyperplane w = C"},
    {"eye4", 0, "D", true, false, OPTION_EYE4,
        "look from an eye on the w axis at distance D (0.000001 to\n"
        "1000000): x, y, z scaled by D / (D - w)"},
    {"gizmo", 0, nullptr, true, false, OPTION_GIZMO,
        "show where the four axes point, in the lower left corner"},
    {"wire", 0, "on|off", true, false, OPTION_WIRE, "draw the wireframe (on by default)"},
    {"double-curve", 0, nullptr, true, false, OPTION_DOUBLE_CURVE,
        "draw where the shadow crosses itself, in a dark ink, and\n"
        "the two curves of the surface above it: the upper (larger\n"
        "w) in the map's red, the lower in its blue"},
    {"broken", 0, nullptr, true, false, OPTION_BROKEN,
        "draw a broken-surface diagram: along the double curve the\n"
        "lower sheet is cut away, and the upper passes over it"},
    {"aa", 0, "1|2|4|8", true, false, OPTION_AA,
        "anti-alias with that many samples a pixel (1, the default,\n"
        "is none; past what the GL offers, what it offers)"},
    {"opacity", 0, "A", true, false, OPTION_OPACITY,
        "draw the surface with opacity A, above 0 to 1 (the default),\n"
        "the same whatever the order of its triangles"},
    {"stereo", 0, "off|anaglyph|side-by-side[=D]", true, false, OPTION_STEREO,
        "draw for two eyes D apart (0.25 unless given, 0 to 2): red\n"
        "for the left and cyan for the right, or each in its half"},
    {"output", 0, "FILE.png", true, true, OPTION_OUTPUT,
        "draw without showing a window and write the last frame as\n"
        "an 8-bit RGB PNG"},
    {"record", 0, "OUT", true, true, OPTION_RECORD,
        "draw without showing a window and write every frame: OUT\n"
        "with %d (e.g. turn-%03d.png) makes PNG files numbered from\n"
        "1; OUT ending in .mp4, .webm or .gif makes a clip at 60\n"
        "frames a second with ffmpeg (a GIF at 50, every frame\n"
        "2 hundredths of a second)"},
    {"size", 0, "N", true, false, OPTION_SIZE,
        "the picture is N x N pixels, 16 to 8192 (default 512);\n"
        "only with --output or --record"},
    {"ui-scale", 0, "F", true, false, OPTION_UI_SCALE,
        "the control panel's text and controls F times their size,\n"
        "0.5 to 4 (1 unless given), as Ctrl+ and Ctrl- make them"},
    {"quiet", 0, nullptr, true, false, OPTION_QUIET, "print no progress messages on standard output"},
    {"no-preferences", 0, nullptr, true, false, OPTION_NO_PREFERENCES,
        "do not apply the preferences file, default.view in\n"
        "$XDG_CONFIG_HOME/plexorama (else ~/.config/plexorama)"},
    {"print-view", 0, nullptr, true, true, OPTION_PRINT_VIEW,
        "print the view that FILE and the other options give, as a\n"
        "view file, and open no window"},
    {"info", 0, nullptr, false, true, OPTION_INFO,
        "print FILE's size, coordinate ranges, bad values and\n"
        "normals, and whether it fits the view; with --view, the\n"
        "length, components, triple points and branch points of\n"
        "the double curve of its shadow in that view; open no window"},
    {"help", 'h', nullptr, false, false, OPTION_HELP, "show this help and exit"},
    {"version", 'V', nullptr, false, false, OPTION_VERSION, "show the version and exit"},
};
const int option_row_count = sizeof option_rows / sizeof option_rows[0];
static_assert(
    sizeof option_rows / sizeof option_rows[0] == OPTION_VERSION + 1, "a row for every action, in its order");

static const char help_head[] = "\n"
                                "Shows a surface of four or more dimensions from a KLEIN file. Drop another\n"
                                "file onto the window to show it instead.\n"
                                "\n"
                                "  FILE              KLEIN surface file to show at start; after -- it may\n"
                                "                    start with '-'\n";

static const char help_middle[]
    = "\n"
      "A run with --output or --record ends after --frames N frames if given, else\n"
      "after one full turn of --spin (360 x 60 / rate frames), after the frame that\n"
      "ends the turn of --swap (159 frames), or after the first frame. It still needs\n"
      "a display, as the window does: on a machine without one, run it under\n"
      "xvfb-run.\n"
      "\n"
      "Keys:\n";
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
      "  plexorama --light smooth --opacity 0.5 --aa 4 --output figure.png surface.klein\n"
      "\n"
      "Exit status: 0 after a normal close; 1 when a run fails (no window, a FILE\n"
      "that cannot be drawn offscreen, an output that cannot be written, no ffmpeg);\n"
      "2 for a usage error, a bad coordinate choice or a bad view file.\n";

// The usage line of every usage error, wrapped as a terminal shows it.
void usage_help(FILE* out)
{
    const char* const lead = "usage: plexorama";
    int width = fprintf(out, "%s", lead);
    char item[64];
    for (int place = 0; place < option_row_count + 2; place++) {
        const OptionRow* row
            = place < option_row_count && option_rows[place].usage ? &option_rows[place] : nullptr;
        if (row)
            snprintf(item, sizeof item, "[--%s%s%s]", row->name, row->argument ? " " : "",
                row->argument ? row->argument : "");
        else if (place >= option_row_count)
            snprintf(item, sizeof item, "%s", place == option_row_count ? "[--]" : "[FILE]");
        else
            continue;
        if (width + 1 + static_cast<int>(strlen(item)) > 80)
            width = fprintf(out, "\n%*s", static_cast<int>(strlen(lead)), "") - 1;
        width += fprintf(out, " %s", item);
    }
    fprintf(out, "\n       plexorama");
    const char* between = " ";
    for (int k = 0; k < option_row_count; k++) {
        const OptionRow& row = option_rows[k];
        if (row.usage)
            continue;
        if (row.letter)
            fprintf(out, "%s-%c | --%s", between, row.letter, row.name);
        else
            fprintf(out, "%s--%s%s%s%s", between, row.name, row.argument ? " " : "",
                row.argument ? row.argument : "", row.needs_file ? " [--view FILE] FILE" : "");
        between = " | ";
    }
    fprintf(out, "\n");
}

void print_help()
{
    usage_help(stdout);
    printf("%s", help_head);
    // Help goes in a column of its own, on the next line after a long name.
    for (int k = 0; k < option_row_count; k++) {
        const OptionRow& row = option_rows[k];
        char name[64];
        if (row.letter)
            snprintf(name, sizeof name, "-%c, --%s", row.letter, row.name);
        else
            snprintf(name, sizeof name, "--%s%s%s", row.name, row.argument ? " " : "",
                row.argument ? row.argument : "");
        int length = static_cast<int>(strlen(name));
        printf("  %s%*s", name, length <= 17 ? 18 - length : 0, "");
        if (length > 17)
            printf("\n%20s", "");
        for (const char* c = row.help; *c; c++) {
            if (*c == '\n')
                printf("\n%20s", "");
            else
                putchar(*c);
        }
        putchar('\n');
    }
    printf("%s", help_middle);
    // The actions line up after the keys, two blanks apart at the least.
    for (int k = 0; k < key_row_count; k++) {
        const KeyRow& row = key_rows[k];
        if (!row.keys || row.place == KEYS_PAGE)
            continue;
        int blanks = static_cast<int>(strlen(row.keys)) < 14 ? 16 - static_cast<int>(strlen(row.keys)) : 2;
        printf("  %s%*s%s\n", row.keys, row.help[0] ? blanks : 0, "", row.help);
    }
    printf("%s", help_end);
}

// One line naming the problem, then the usage; the exit code of a usage error.
int usage_error_help(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    vcomplain_log(format, arguments);
    va_end(arguments);
    usage_help(stderr);
    return 2;
}
