// View links: a view as the short text that follows "#view=" in the page's
// address, so that a copied address opens the same picture. It is the view
// file's text, its version line cut to the number and each "key = values"
// line written "key:values" with commas, the lines joined by semicolons;
// the keys after show are left out while they hold their values at start:
//
//     2;q:X,Y,Z,W;axis1:X,Y,Z;axis2:X,Y,Z;axis3:X,Y,Z;show:A,B,C,D;zoom:F
//
// Every character of it may stand in an address as it is.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/viewfile.h"

// Writes the link text of view into text, NUL-terminated. Returns its
// length, or the length it needs when size is too small.
size_t format_link(const View* scene, char* text, size_t size);

// Reads link text, NUL-terminated. Returns none when it is valid and view
// holds it, else what is wrong, as a phrase.
const char* parse_link(const char* text, View* scene, uint8_t dim = 0);
