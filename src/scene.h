// The scene: the view on show as a whole, which saved views and the command
// line set before the first frame. It gathers the orientation and axes, the
// shown coordinates, and the 4-D turn, zoom, pan and lighting into a View
// record, and puts one back.
#pragma once

#include "options.h"
#include "view.h"

// The view on show.
void capture_scene(View* view);

// Puts a saved view's orientation, 4-D turn, zoom, pan and lighting on
// show; the coordinates are the caller's to check and bind.
void restore_scene(const View* view);

// Puts the restored view (when --view is given) and the view options on
// show, binds the chosen coordinates and starts the asked-for turn and
// spin, all before the first frame. Returns 0, or 2 after saying why when a
// coordinate is past the surface's.
int prepare_scene(const Options* options, const View* view);

// Writes the view on show; returns 0, or 1 after saying why it could not.
int save_scene(const char* path);

// How many frames make one full turn of the spin --spin asks for.
long spin_frames_scene(const Options* options);
