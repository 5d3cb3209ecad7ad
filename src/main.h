// The application: start-up, the frame loop, shutdown, and the state of the
// animated coordinate swap.
#pragma once

#include <cstdint>

struct GLFWwindow;

extern GLFWwindow* window;        // the one window; none until start-up creates it
extern unsigned int shader;       // lit program, vs + fs; 0 until created
extern unsigned int shader_plain; // unlit wireframe program, vs + fs_plain; 0 until created
extern const char* wname;         // window title, "plexorama: surface plotter"
extern uint8_t animate_index;     // 0 idle; 1, 2, 3: x, y or z is turning toward w

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
};

// Writes a progress message to standard output as it stands.
void mlog(const char* message);

// Renders one frame: orientation, uniforms, swap animation, clear, draw.
void main_loop();

// Brings up window, context and both programs, printing the progress
// messages. Returns 0 on success; on failure it has already torn down what
// it made and returns the exit code, 1.
int start_main();

// Tears down in reverse order: mesh, plain program, lit program, window.
void stop_main();

// The whole run: start-up, the optional file, the frame loop, shutdown.
// Returns the process exit code.
int run_main(const Options* options);

// Parses the command line into options. Returns -1 to go on and run, or the
// exit code of a request answered here (--help, --version, a usage error).
int parse_options_main(int argc, char** argv, Options* options);

// Reads a list of four different coordinate numbers from 1 to 255, "A,B,C,D",
// into indices from 0. Returns none, or what is wrong with the list.
const char* __coordinates_main(const char* text, uint8_t* coordinates);

// Reads text made only of decimal digits, at most limit, into value.
// Returns 0 for anything else: empty, a sign, a blank, an overflow.
int __number_main(const char* text, unsigned long long limit, unsigned long long* value);
