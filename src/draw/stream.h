// Frames of R^m worked out on the CPU: where GL cannot fetch every
// coordinate of a surface (one past its largest buffer texture, or in a
// browser past its largest texture), the shown (x, y, z, w) = F c and the
// normals F n of every vertex go into a stream of their own, bound to the
// attributes the plain vertex stage reads. Slower to change than the
// stage that fetches, but never a surface refused.
#pragma once

#include "core/frame.h"
#include "draw/mesh.h"

// Works out the stream of the mesh through frame and binds it to attribute
// locations 0 to 7, four floats each of positions and of normals. Returns
// 0 when the memory for it cannot be had; the binding is left as it was.
int frame_stream(Mesh* mesh, const Frame* frame);

// Deletes the stream, if the mesh has one.
void drop_stream(Mesh* mesh);
