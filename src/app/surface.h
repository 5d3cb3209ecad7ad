// The shapes on show as files give them: KLEIN files read straight into the
// GPU's buffers, files of other formats read into shapes and uploaded, each
// put on show in place of what is shown or beside it, and the reasons a file
// is not.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>

#include "core/klein.h"
#include "core/shape.h"

// The file of the first shape on show, as it was given or dropped; empty
// with none, or with a surface that came from no file.
extern char shown_path[PATH_MAX];

enum ShowStatus {
    SHOW_DONE,
    SHOW_UNREADABLE,          // refused by the reader; its report says why
    SHOW_TOO_FEW_COORDINATES, // under 4: x, y, z and w need four different ones
    SHOW_NO_MESH,             // the GPU could not take it
    SHOW_OTHER_DIM,           // its m is not that of the shapes on show beside it
};

// Why a file is not on show.
struct ShowReport {
    ShowStatus status;
    KleinReport klein; // the KLEIN reader's verdict, for SHOW_UNREADABLE
    const char* fault; // another reader's reason, for SHOW_UNREADABLE, or none
    uint8_t dim;       // the file's m
};

// Puts the shapes of a file on show, in place of those shown or, with add,
// after them. On any refusal what is on show and the coordinate choice stay
// as they were. report, when given, says why. Without normals, a KLEIN
// file's normals are left unread: for a run whose light never takes them.
ShowStatus show_file_surface(const char* path, ShowReport* report, bool add = false, bool normals = true);

// Says in a few words why a file is not on show, as "fewer than 4 coordinates".
void describe_surface(const ShowReport* report, char* text, size_t size);

// The same for shapes already read, in the order triangles, lines, points;
// where polygons' edges are lines of their own, those stand in for the
// triangles' wireframe. Their arrays stay the caller's to free, but lines'
// and points' are spent as add_shapes spends them.
ShowStatus show_shapes_surface(
    ShapeData* data, int count, ShowReport* report = nullptr, bool add = false, const char* path = nullptr);

// The same for a surface already read, put in place of those shown; its
// arrays stay the caller's.
ShowStatus show_data_surface(SurfaceData data);

// The same for a KLEIN file opened and checked, from path where given; it
// stays open.
ShowStatus show_open_surface(const KleinFile* file, ShowReport* report, bool add = false,
    const char* path = nullptr, bool normals = true);
