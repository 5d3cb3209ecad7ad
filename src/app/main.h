// The application: start-up, the run in the window or offscreen, and
// shutdown.
#pragma once

#include "app/options.h"

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
