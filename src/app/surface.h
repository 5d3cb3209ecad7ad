// The surface on show: KLEIN files put on show in place of the one shown,
// read straight into the GPU's buffers, and the reasons a file is not.
#pragma once

#include <climits>
#include <cstddef>

#include "core/klein.h"

// The file of the surface on show, as it was given or dropped; empty with
// none, or with a surface that came from no file. Set by show_file_surface.
extern char shown_path[PATH_MAX];

enum ShowStatus {
    SHOW_DONE,
    SHOW_UNREADABLE,          // refused by the reader; its report says why
    SHOW_TOO_FEW_COORDINATES, // under 4: x, y, z and w need four different ones
    SHOW_NO_MESH,             // the GPU could not take it
};

// Puts the surface of a KLEIN file on show in place of the one shown. On any
// refusal the shown surface and the coordinate choice stay as they were.
// report, when given, receives the reader's verdict.
ShowStatus show_file_surface(const char* path, KleinReport* report);

// Says in a few words why a file is not on show, as "fewer than 4 coordinates".
void describe_surface(ShowStatus status, const KleinReport* report, char* text, size_t size);

// The same for a surface already read; its arrays stay the caller's.
ShowStatus show_data_surface(SurfaceData data);

// The same for a file opened and checked; it stays open.
ShowStatus show_open_surface(const KleinFile* file, KleinReport* report);
