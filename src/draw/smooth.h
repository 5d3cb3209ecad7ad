// Smooth light: the tangent planes of surfaces on show, found on a thread
// of their own while the window draws flat, and handed to GL when they are
// ready: each vertex's point as the mesh's point buffer, and a plane a
// point in the texture the vertex stage fetches from. One mesh is searched
// at a time.
#pragma once

#include "draw/mesh.h"

// How far the tangent planes of a mesh are: refused, still searched for, or
// in GL.
enum Smoothness { SMOOTH_REFUSED, SMOOTH_SEARCHING, SMOOTH_READY };

// Whether the mesh has its tangent planes in GL. Starts finding them when it
// has not, in place of a search for another mesh, and, with wait, waits for
// them: a picture is drawn smooth from its first frame. A mesh whose planes
// cannot be found or handed to GL stays flat, and one line on standard
// error says so.
Smoothness ready_smooth(Mesh* mesh, bool wait);

// Draws the mesh filled, as draw_mesh does; where its planes still come,
// a part at a time, each once they are in.
void draw_smooth(unsigned int program, const Mesh* mesh);
