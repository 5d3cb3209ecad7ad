// The command line: what the program accepts, its usage and help texts, and
// the parsing of arguments into an Options record.
//
//     plexorama [--frames N] [--show A,B,C,D] [--swap x|y|z] [--view FILE]
//               [--turn PLANE=DEGREES,...] [--zoom F] [--light file|shape]
//               [--spin PLANE[=DEGREES_PER_SECOND]] [--save-view FILE]
//               [--color fixed|w] [--slice C[,DELTA]] [--eye4 D] [--gizmo]
//               [--wire on|off] [--output FILE.png] [--record OUT] [--size N]
//               [--quiet] [--] [FILE]
//     plexorama --info FILE | -h | --help | -V | --version
#pragma once

#include <cstdint>

// A turn of the shown coordinates a toward b, in degrees (or degrees a
// second for a spin); a and b count x, y, z, w from 0.
struct Turn {
    int a, b;
    float degrees;
};

// What the command line asks for; the defaults run the plain viewer.
struct Options {
    const char* file;       // surface to show at start, or none
    long frames;            // frames to draw before shutting down; negative: until closed
    const char* show;       // --show's list as given, or none
    uint8_t coordinates[4]; // from it: shown as x, y, z and hidden as w, from 0
    int swap;               // 0, or the GLFW key (I, O or P) of the turn to start at once
    const char* view;       // view file to restore before the first frame, or none
    const char* save_view;  // view file to write at shutdown, or none
    const char* output;     // PNG to draw offscreen, or none
    const char* record;     // recording to make offscreen, or none
    int size;               // offscreen picture side in pixels, 512 unless given
    const char* info;       // file to describe without a window, or none
    int turn_count;         // --turn: how many turns, composed in this order
    Turn turns[16];
    float zoom;      // --zoom, or 0 when not given
    int light;       // --light: a Light, or -1 when not given
    Turn spin;       // --spin: its plane and rate in degrees a second; 0 when not given
    bool quiet;      // --quiet: no progress messages
    int tint;        // --color: a Tint, or -1 when not given
    bool slice;      // --slice
    float band[2];   // its c and delta; delta 0: s / 16
    float eye4;      // --eye4: the eye's distance, or 0 when not given
    bool gizmo;      // --gizmo
    int wire;        // --wire: 1 on, 0 off, -1 when not given
};

// A row of the table of keys that --help prints and the panel shows; a row
// with no action goes on with the keys of the row above.
struct KeyRow {
    const char* keys;
    const char* action;
};

extern const KeyRow key_rows_options[];
extern const int key_row_count_options;

// Parses the command line into options. Returns -1 to go on and run, or the
// exit code of a request answered here (--help, --version, a usage error).
int parse_options(int argc, char** argv, Options* options);

// Reads a list of four different coordinate numbers from 1 to 255, "A,B,C,D",
// into indices from 0. Returns none, or what is wrong with the list.
const char* __coordinates_options(const char* text, uint8_t* coordinates);

// Reads "PLANE=DEGREES[,PLANE=DEGREES...]" into at most count turns.
// Returns the number read, or -1 when the text is not such a list.
int __turns_options(const char* text, Turn* turns, int count);

// Reads text made only of decimal digits, at most limit, into value.
// Returns 0 for anything else: empty, a sign, a blank, an overflow.
int __number_options(const char* text, unsigned long long limit, unsigned long long* value);
