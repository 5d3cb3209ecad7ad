// Smooth light: the tangent planes of the surface on show, found on a
// thread of their own while the window draws flat, and handed to GL as the
// mesh's tangent buffer when they are ready.
#pragma once

// Whether the surface on show has its tangent planes in GL. Starts finding
// them when it has not, and, with wait, waits for them: a picture is drawn
// smooth from its first frame. A surface whose planes cannot be found or
// handed to GL stays flat, and one line on standard error says so.
bool ready_smooth(bool wait);

// A buffer texture over the tangent planes of the surface on show, one half
// float a texel, for the stage that reads through a frame of R^m. Returns 0
// where none can be had.
int texture_smooth();
