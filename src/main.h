// The application: start-up, the frame loop, shutdown, and the state of the
// animated coordinate swap.
#pragma once

#include <cstdint>

#include "options.h"

struct GLFWwindow;

extern GLFWwindow* window;        // the one window; none until start-up creates it
extern unsigned int shader;       // lit program, vs + fs; 0 until created
extern unsigned int shader_plain; // unlit wireframe program, vs + fs_plain; 0 until created
extern const char* wname;         // window title, "plexorama: surface plotter"
extern uint8_t animate_index;     // 0 idle; 1, 2, 3: x, y or z is turning toward w
extern bool quiet;                // false; true when mlog is to print nothing

// Writes a progress message to standard output as it stands, unless quiet.
void mlog(const char* message);

// Renders one frame: orientation, uniforms, swap animation, clear, draw.
void main_loop();

// Brings up window, context and both programs, printing the progress
// messages. Returns 0 on success; on failure it has already torn down what
// it made and returns the exit code, 1.
int start_main();

// Tears down in reverse order: mesh, gizmo, plain program, lit program, the
// panel, window.
void stop_main();

// The whole run: --info alone, or start-up, the optional file, the frame
// loop in the window or offscreen, shutdown. Returns the process exit code.
int run_main(const Options* options);
