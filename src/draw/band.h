// The band along the double curve inside which a broken-surface diagram
// cuts the lower sheet away: a texture as large as the framebuffer drawn
// into, holding where the band lies the w midway between the two sheets
// (red) and 1 (green), along its edges that w and 0.5, and 0 elsewhere.
// The surface's fragment stages read it at the fragment's pixel: a fragment
// lower in w is dropped in the band and inked along its edges.
#pragma once

// Whether the GL can draw the band: it holds floats.
bool offers_band();

// Binds the band's framebuffer over the viewport's extent, cleared, with the
// colour mask all on and no depth test. Returns 0 when GL
// cannot make it; the framebuffer bound before stays bound then.
int begin_band();

// Binds the band's texture to its unit, and the framebuffer and the state
// there were before begin_band.
void end_band();

// The fragment stage that draws the band with the lines' vertex stage: the
// w of each fragment of a line's middle, none of its fringe, and the mark
// given (1 for the band, 0.5 for its edges).
const char* band_fragment_glsl();

// A surface's fragment stage, as made, that drops the fragments inside the
// band whose w lies below the band's, and inks those along its edges, from
// the texture "band".
const char* broken_glsl(const char* stage);

// Deletes the band's GL objects.
void destroy_band();
