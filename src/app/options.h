// The command line: a table of what the program accepts, the usage and help
// texts made from it, and the parsing of arguments into an Options record.
//
//     plexorama [--frames N] [--show A,B,C,D] [--swap x|y|z] [--view FILE]
//               [--turn PLANE=DEGREES,...] [--zoom F] [--light file|shape]
//               [--spin PLANE[=DEGREES_PER_SECOND]] [--save-view FILE]
//               [--color fixed|w[=S|auto]] [--slice C[,DELTA]] [--eye4 D] [--gizmo]
//               [--wire on|off] [--double-curve] [--broken] [--aa N] [--opacity A]
//               [--stereo off|anaglyph|side-by-side[=D]] [--output FILE.png]
//               [--record OUT] [--size N] [--ui-scale F] [--quiet] [--no-preferences]
//               [--print-view] [--] [FILE...]
//     plexorama --info [--view FILE] FILE | -h | --help | -V | --version
#pragma once

#include <cstdint>

#include "core/frame.h"
#include "core/values.h"

// What the command line asks for; the defaults run the plain viewer.
constexpr int max_files_options = 64;

struct Options {
    const char* file;       // the first file to show at start, or none
    const char* files[max_files_options]; // every file to show at start, in order
    int file_count;         // how many
    long frames;            // frames to draw before shutting down; negative: until closed
    const char* show;       // --show's list as given, or none
    uint8_t coordinates[4]; // from it: shown as x, y, z and hidden as w, from 0
    int swap;               // 0, or the GLFW key (I, O or P) of the turn to start at once
    const char* view;       // view file to restore before the first frame, or none
    const char* save_view;  // view file to write at shutdown, or none
    const char* output;     // PNG to draw offscreen, or none
    const char* record;     // recording to make offscreen, or none
    int size;               // offscreen picture side in pixels, 512 unless given
    const char* info;       // --info: the file to describe without a window, or none
    int turn_count;         // --turn: how many turns, composed in this order
    Turn turns[16];
    float zoom;          // --zoom, or 0 when not given
    int light;           // --light: a Light, or -1 when not given
    Turn spin;           // --spin: its plane and rate in degrees a second; 0 when not given
    bool quiet;          // --quiet: no progress messages
    bool print_view;     // --print-view: the view as text, no window
    int tint;            // --color: a Tint, or -1 when not given
    float tint_scale;    // and the map's scale after '=', or -1 when not given
    bool tint_auto;      // or "auto" after '=': the largest |w| shown
    bool slice;          // --slice
    float band[2];       // its c and delta; delta 0: s / 16
    float eye4;          // --eye4: the eye's distance, or 0 when not given
    bool gizmo;          // --gizmo
    int wire;            // --wire: 1 on, 0 off, -1 when not given
    bool double_curve;   // --double-curve
    bool broken;         // --broken
    int aa;              // --aa: samples a pixel, or 0 when not given
    float opacity;       // --opacity, or 0 when not given
    int stereo;          // --stereo: a Stereo, or -1 when not given
    float eyes;          // and the eyes' distance after '=', or -1 when not given
    bool no_preferences; // --no-preferences: the preferences file is not read
    float ui_scale;      // --ui-scale, or 0 when not given
    int tour;            // --tour: a TourKind, or -1 when not given
    bool seeded;         // it names a seed
    uint64_t seed;       // the grand tour's
    float tour_speed;    // --tour-speed, or 0 when not given
    int frame_count;     // --basis: how many values, 4 m; 0 when not given
    float frame[1020];   // its rows one after the other
    unsigned given;      // 1 << the OptionAction of every option given
};

enum OptionAction {
    OPTION_FRAMES,
    OPTION_SHOW,
    OPTION_SWAP,
    OPTION_VIEW,
    OPTION_TURN,
    OPTION_BASIS,
    OPTION_ZOOM,
    OPTION_LIGHT,
    OPTION_SPIN,
    OPTION_TOUR,
    OPTION_TOUR_SPEED,
    OPTION_SAVE_VIEW,
    OPTION_COLOR,
    OPTION_SLICE,
    OPTION_EYE4,
    OPTION_GIZMO,
    OPTION_WIRE,
    OPTION_DOUBLE_CURVE,
    OPTION_BROKEN,
    OPTION_AA,
    OPTION_OPACITY,
    OPTION_STEREO,
    OPTION_OUTPUT,
    OPTION_RECORD,
    OPTION_SIZE,
    OPTION_QUIET,
    OPTION_NO_PREFERENCES,
    OPTION_PRINT_VIEW,
    OPTION_UI_SCALE,
    OPTION_INFO,
    OPTION_HELP,
    OPTION_VERSION,
};

// A row of the table of options (in the help module, beside the texts made
// from it), from which the usage, --help and getopt_long's table are made.
struct OptionRow {
    const char* name;     // the long name
    char letter;          // the short name, or 0
    const char* argument; // what --help calls its value, or none when it takes none
    bool usage;           // in the usage's first form, in the table's order; else in its second
    bool needs_file;      // it acts on the FILE shown at start
    OptionAction action;  // what the parser does with it
    const char* help;     // what --help says of it, its lines joined by '\n'
};

extern const OptionRow option_rows[];
extern const int option_row_count;

// Parses the command line into options. Returns -1 to go on and run, or the
// exit code of a request answered here (--help, --version, a usage error).
int parse_options(int argc, char** argv, Options* options);
