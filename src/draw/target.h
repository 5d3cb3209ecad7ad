// Render targets: where a frame draws when the framebuffer it ends in is
// not enough, a framebuffer of our own of several samples a pixel for
// anti-aliasing, and the layers of a transparent surface with the pass that
// lays them over the picture. The frame's own framebuffer covers the
// drawing area and is copied into it at the end. GL objects are made when
// first needed, follow the drawing area's size and are let go once unused.
#pragma once

// Clears the framebuffer bound now and, when samples is above 1 or the
// frame is to have layers, binds a framebuffer of our own for the frame,
// cleared, with the viewport over the whole of it. samples is taken down to
// what the GL offers, which a line on standard error says once. Returns
// whether the frame is drawn into one of our own; if it cannot be made,
// the frame is drawn as it is, and a line says so once.
bool begin_target(int samples, bool layered);

// Whether the GL can draw the layers of a transparent surface: they need
// colour buffers of floats.
bool offers_layers_target();

// Binds the layers over the frame's depth, cleared, with the colour mask
// all on and the blending that sums them; the depth is tested, not
// written. Needs a frame of our own. Returns 0 when the layers cannot be
// made; the frame's framebuffer is bound then.
int begin_layers_target();

// Lays the layers over the frame, with the colour mask as it was before
// begin_layers_target, and binds the frame again; the blending is off and
// the depth written again.
void end_layers_target();

// Copies the frame into the framebuffer bound at begin_target and binds
// that again, with its viewport; nothing when the frame was drawn there.
void end_target();

// Deletes every GL object of the module.
void destroy_target();
