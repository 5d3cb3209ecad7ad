// Views for the tests of view files and links.
#pragma once

#include <string>

#include "core/view.h"

// A view whose every field holds a value whose float is easily misread:
// orthonormal rows of sines and cosines, a subnormal, a coordinate past 9.
extern const View sample_scene;

// Whether two views hold the same bits in every field a view file writes.
bool same_scene(const View& a, const View& b);

// The text of a view file, and of a link, of a view.
std::string text_of(const View& scene);
std::string link_of(const View& scene);

// The coordinate choice and m of the view on show.
struct Choice {
    uint8_t dim, x, y, z, w;
};
Choice chosen();

// Puts a coordinate choice and m on show, as set_view does.
void choose(Choice choice);

// Walks the tour of a view from the frame on show, as the viewer does.
void walk_tour_scene(const View& scene, int steps);
