// Smooth light: the tangent planes of surfaces on show, found on a thread
// of their own while the window draws flat, and handed to GL as the mesh's
// tangent buffer when they are ready. One mesh is searched at a time.
#pragma once

#include "draw/mesh.h"

// Whether the mesh has its tangent planes in GL. Starts finding them when it
// has not, in place of a search for another mesh, and, with wait, waits for
// them: a picture is drawn smooth from its first frame. A mesh whose planes
// cannot be found or handed to GL stays flat, and one line on standard
// error says so.
bool ready_smooth(Mesh* mesh, bool wait);

// A buffer texture over the mesh's tangent planes, one half float a texel,
// for the stage that reads through a frame of R^m. Returns 0 where none can
// be had.
int texture_smooth(Mesh* mesh);
