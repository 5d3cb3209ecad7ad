// Headless runs: `--output` and `--record` draw into an offscreen picture
// instead of the window, record every frame, and write the last one as a
// PNG. Files appear whole or not at all.
#pragma once

#include "app/options.h"

// Draws offscreen until the run is over: after --frames N frames, else once
// no turn is running. Saves the view when asked, writes the picture and
// finishes the recording. Returns the exit code; after a failure it has
// said why on standard error and left none of the files behind.
int run_headless(const Options* options);
