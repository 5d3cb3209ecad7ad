// The command line: the table of what the program accepts, and the parsing
// of arguments into an Options record through it. The usage and help texts
// are made from the same table by the help module.
//
//     plexorama [--frames N] [--show A,B,C,D] [--swap x|y|z] [--view FILE]
//               [--turn PLANE=DEGREES,...] [--zoom F] [--light file|shape]
//               [--spin PLANE[=DEGREES_PER_SECOND]] [--save-view FILE]
//               [--color fixed|w[=S|auto]] [--slice C[,DELTA]] [--eye4 D] [--gizmo]
//               [--wire on|off] [--double-curve] [--broken] [--aa N] [--opacity A] [--line-width W]
//               [--point-size P] [--tubes R|off] [--colors C1,C2,...]
//               [--stereo off|anaglyph|side-by-side[=D]] [--output FILE.png]
//               [--record OUT] [--size N] [--ui-scale F] [--quiet] [--no-preferences]
//               [--print-view] [--] [FILE...]
//     plexorama --info [--view FILE] FILE | -h | --help | -V | --version
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/frame.h"
#include "core/values.h"
#include "core/view.h"

constexpr int max_files_options = 64;

// What the command line asks for; the defaults run the plain viewer. What
// a view holds is read into asked, over the initial view, and read again
// over the view on show once a saved view is restored (read_view_options).
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
    bool describe;          // --info
    const char* info;       // and the file to describe without a window
    int turn_count;         // --turn: how many turns, composed in this order
    Turn turns[16];
    bool quiet;             // --quiet: no progress messages
    bool print_view;        // --print-view: the view as text, no window
    bool no_preferences;    // --no-preferences: the preferences file is not read
    float ui_scale;         // --ui-scale, or 0 when not given
    int tour;               // --tour: a TourKind, or -1 when not given
    bool seeded;            // it names a seed
    uint64_t seed;          // the grand tour's
    int frame_count;        // --basis: how many values, 4 m; 0 when not given
    float frame[1020];      // its rows one after the other
    bool help, version;     // answered at once, before anything else is checked
    View asked;             // the view options' values over the initial view
    const char* values[64]; // the value text of each row given, by row
    uint64_t given;         // 1 << the row of every option given
};

// What a row is and does besides reading its value.
enum OptionFlag {
    OPTION_USAGE = 1,    // in the usage's first form, in the table's order; else in its second
    OPTION_FILE = 2,     // acts on the FILE shown at start
    OPTION_INFO = 4,     // and is taken by --info too
    OPTION_DRAWS = 8,    // draws, writes or turns: nothing --print-view can print
    OPTION_VIEW = 16,    // sets a field of the view: read into Options::asked, and again over
                         // the view restored
    OPTION_ANSWERS = 32, // answered at once: --help, --version
};

struct OptionRow;

// Reads a row's value into record, an Options or, with OPTION_VIEW, a View.
// Returns none, or the usage error (a value the caller must not free).
using OptionReader = const char* (*)(const OptionRow& row, const char* value, char* record);

// A row of the table of options, from which getopt_long's table, the
// parse, the usage, --help, the manual's check and Python's keywords come.
// A new option is one row: its reader is one of the kinds below when one
// fits (a switch, a text, one of the argument's words, a number within a
// range of core/ranges.h), else a function of its own in options.cpp.
struct OptionRow {
    const char* name;     // the long name
    char letter;          // the short name, or 0
    const char* argument; // what --help calls its value, or none when it takes none; "a|b|c"
                          // are the words of a word option
    unsigned flags;       // OptionFlag bits
    OptionReader read;
    size_t at;            // the offset of the field it sets, in Options or in View
    int range;            // a number's RangeName
    const int* words;     // a word option's values, in the argument's order; none: their places
    const char* what;     // how a fault names the value: "bad WHAT 'VALUE': ..."
    const char* help;     // what --help says of it, its lines joined by '\n'
};

extern const OptionRow option_rows[];
extern const int option_row_count;

// The row of a long name, or none.
const OptionRow* row_options(const char* name);

// Parses the command line into options. Returns none to go on (to run, or
// to answer the --help or --version it holds), else the usage error.
const char* parse_options(int argc, char** argv, Options* options);

// Reads the view options given into next, over what it holds: they were
// checked when parsed.
void read_view_options(const Options* options, View* next);
