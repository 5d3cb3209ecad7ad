// Values written as text, as the command line gives them: plain counts,
// finite floats, coordinate lists, turns in planes, slices and spins.
#pragma once

#include <cstddef>
#include <cstdint>

// A turn of a toward b, in degrees (or degrees a second for a spin): of the
// shown coordinates, a and b counting x, y, z, w from 0, or of the surface's
// own coordinates in R^m, counted from 0.
struct Turn {
    int a, b;
    float degrees;
    bool coordinates; // a and b are the surface's coordinates
};

// Reads text made only of decimal digits, at most limit, into value.
// Returns 0 for anything else: empty, a sign, a blank, an overflow.
int number_values(const char* text, unsigned long long limit, unsigned long long* value);

// A finite float written out in full, nothing after it. Returns 0 else.
int float_values(const char* text, float* value);

// Reads a list of four different coordinate numbers from 1 to 255, "A,B,C,D",
// into indices from 0. Returns none, or what is wrong with the list.
const char* coordinates_values(const char* text, uint8_t* coordinates);

// The slots of a plane name of the shown coordinates such as "xw" (one of
// xy, xz, yz, xw, yw, zw), x, y, z, w counting from 0. Returns 1, or 0 for
// any other text.
int plane_values(const char* name, size_t length, int* a, int* b);

// Reads "PLANE=DEGREES[,PLANE=DEGREES...]" into at most count turns, a PLANE
// being xy, xz, yz, xw, yw or zw, or A:B, two different coordinates from 1.
// Returns the number read, or -1 when the text is not such a list.
int turns_values(const char* text, Turn* turns, int count);

// "C" or "C,DELTA", DELTA in the slice's width's range or 0 (0, or none
// given, is s / 16), into band. Returns 1, or 0 for anything else.
int band_values(const char* text, float* band);

// "WORD" or "WORD=NUMBER", the number finite and not below 0: the word into
// word (of size bytes, NUL-terminated) and the number into number, which
// is -1 without one. Returns 1, or 0 for anything else.
int word_number_values(const char* text, char* word, size_t size, float* number);

// "PLANE" or "PLANE=RATE", a rate in the spin's range (60 unless given). Returns 1, or 0 for anything else.
int spin_values(const char* text, Turn* spin);

// Reads at most count finite floats separated by commas. Returns how many,
// or -1 for anything else.
int floats_values(const char* text, float* values, int count);

// "grand", "little", "guided=fewest-crossings" or "guided=spread", all
// but little with "=SEED" (a number of 64 bits) if wanted: the tour's kind
// (1 grand, 2 little, 3 and 4 guided), 0 for anything else; seeded says
// whether a seed was given.
int tour_values(const char* text, uint64_t* seed, bool* seeded);

// What view text is made of, as its reader takes it apart.
// Splits text, NUL-terminated, at blanks into at most count words; more
// gives count + 1.
int split_values(char* text, char** words, int count);

// How far the rows of an n x n matrix, rows stride floats apart, are from
// orthonormal. NaN compares false, so it is as far as can be.
float orthonormal_error_values(const float* m, int n, int stride);

// Brings a quaternion to length 1, in double precision so that neither a
// huge nor a tiny one is lost on the way. One already of length 1 to float
// precision is kept as it is, so that a saved view reads back the same.
// Returns 0 when it has no direction.
int unit_values(float* q);

// Copies the line of text that starts at *start into line, without its
// CR LF, and moves *start to the next. Returns none, or what is wrong with it.
const char* line_values(const char* text, size_t length, size_t* start, char* line, size_t size);

// A map's scale: a number not below 0, or auto, held as -1. Returns none,
// or what is wrong with word.
const char* scale_values(const char* word, float* scale);

// Colours at most: more than a view's --colors holds.
constexpr int max_colors_values = 64;

// Reads at most size colours, each #rrggbb or a name (red, orange, yellow,
// green, teal, blue, purple, pink, brown, grey, black, white), separated by
// separator, into colors and their number into count. Returns none, or
// what is wrong; colors and count are then left as they were.
const char* colors_values(const char* text, char separator, uint8_t (*colors)[3], int size, int* count);

// A colour as #rrggbb into text, of 8 bytes.
void color_text_values(const uint8_t* rgb, char* text);
