// Tours: smooth paths through frames of R^m, each target reached along the
// geodesic between the 4-planes at a constant pace. A grand tour goes to
// frames drawn at random from a seed (Asimov); the little tour goes through
// choices of four coordinates in turn. A step is a frame's time, 1/60 s, so
// a run of N frames is the first N of a longer run. No GL.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/frame.h"

enum TourKind {
    TOUR_NONE,
    TOUR_GRAND,            // to random frames of the seed's sequence
    TOUR_LITTLE,           // through choices of four coordinates, round and round
    TOUR_FEWEST_CROSSINGS, // guided toward a shorter double curve (core/guide.h)
    TOUR_SPREAD,           // guided toward a larger shadow (core/guide.h)
};

struct Tour {
    TourKind kind;
    bool running;    // false while paused
    uint64_t seed;   // of a grand or guided tour
    float speed;     // degrees a second: the largest principal angle's pace
    uint32_t target; // the target on the way to: 0, 1, 2, ...; of a guided tour, the searches made
};

constexpr float default_speed_tour = 20.0f;

// Target k of a tour of dim coordinates.
void target_tour(const Tour* tour, uint8_t dim, uint32_t k, Frame* frame);

// How many targets the little tour has in R^dim: every choice of four
// coordinates while they are at most 70 (dim up to 8), else the dim groups
// of four consecutive coordinates, wrapping.
uint32_t choices_tour(uint8_t dim);

// The little tour's first target from a frame: the choice after it, when
// the frame is one of the tour's choices, else the first.
uint32_t first_target_tour(const Frame* frame);

// Moves frame one step along a running grand or little tour; on reaching
// its target the tour heads for the next. A frame that is not where the last step left it
// (turned meanwhile) sets off anew from where it is.
void step_tour(Tour* tour, Frame* frame);

// The steps of one round of the little tour from frame, which ends where it
// began when frame is one of its choices.
long round_tour(const Tour* tour, const Frame* frame);

// A tour as a view file writes it: " off", or " KIND SEED SPEED TARGET
// running|paused", KIND as --tour names it without the seed. Returns the
// length, or what it needs when size is short.
size_t format_tour(const Tour* tour, char* text, size_t size);

// Reads those words back. Returns 1, -1 for a speed outside its range, 0
// for anything else.
int parse_tour(char** words, int count, Tour* tour);
