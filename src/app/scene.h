// The scene: a whole view put on show from a saved view, the preferences
// and the command line before the first frame, and view files read,
// written and saved.
#pragma once

#include <cstdint>

#include "app/options.h"
#include "core/view.h"

// Puts a saved view's orientation, axes and view on show; s and a swap
// under way stay. The coordinates are the caller's to check and bind.
void restore_scene(const View* scene);

// Puts the saved view (--view's over the preferences, or the preferences
// alone; none without either) and the view options on show for a surface of
// dim coordinates, and chooses its coordinates, without binding them.
// Returns 0, or 2 after saying why when a coordinate of --view or --show is
// past the surface's; the preferences' are then left out.
int apply_scene(const Options* options, const View* saved, uint8_t dim);

// The same, then binds the chosen coordinates of the surface on show and
// starts the asked-for swap, all before the first frame.
int prepare_scene(const Options* options, const View* saved);

// Reads a view file; a frame in it must be of R^dim unless dim is 0. Keys it
// leaves out keep base's values, as parse_over_view reads. Returns none on
// success, else why not.
const char* read_scene(const char* path, View* scene, uint8_t dim = 0, const View* base = &initial_view,
    bool partial = false);

// Writes a view file whole or not at all. Returns 1, or 0 with errno set.
int write_scene(const char* path, const View* scene);

// Reads the preferences, the keys of default.view in
// $XDG_CONFIG_HOME/plexorama (else ~/.config/plexorama) over the view at
// start. Returns 1 when there are some; 0 without the file, or after one
// line on standard error when it cannot be read or is not valid.
int read_preferences_scene(View* scene);

// Writes the view on show; returns 0, or 1 after saying why it could not.
int save_scene(const char* path);

// --save-view's file, which the view is written to at shutdown; none
// unless given.
extern const char* save_path_scene;

// A name in the working folder that no file has: stem-N.view, N the
// least from 1; none when a thousand are taken.
const char* fresh_path_scene(const char* stem);

// Writes the view on show now, as Ctrl+S does: to --save-view's file, else
// to a new plexorama-N.view in the working folder, and says where in one
// line. Returns the path written, or none after saying why not.
const char* save_now_scene();

// How many frames make one full turn of the spin --spin asks for.
long spin_frames_scene(const Options* options);
