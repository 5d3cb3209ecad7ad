// s, the largest length of the shown (x, y, z, w) over the shapes, and the
// largest |w| as shown, which the map's auto scale follows: the cues' sizes.
#pragma once

// Measures s again into the view whenever the shapes, their shown
// coordinates or its frame change while a cue needs it, and never else: it
// reads the whole surface. While a tour runs it is held, so that colours
// keep their meaning. The range of w, when the map follows it, is measured
// with s, and again once a 4-D turn comes to rest.
void measure_reach(bool frame_changed);

// The largest length of the shown (x, y, z, w) over every shape, and of
// the shown w alone into *w when asked for.
float largest_reach(float* w);
