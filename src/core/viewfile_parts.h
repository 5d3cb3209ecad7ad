// What the files of view files share: the table of a view's fields, each
// with how its values are written, read and checked.
#pragma once

#include <cstddef>

#include "core/ranges.h"
#include "core/view.h"

// How a field's values are written.
enum FieldKind {
    FIELD_FLOATS,      // count floats
    FIELD_MATRIX,      // a 4 x 4 matrix row by row, held column by column
    FIELD_COORDINATES, // count coordinate numbers from 1, held from 0
    FIELD_WORD,        // one of its words, held as its place among them
    FIELD_SWITCH,      // on or off, held as a bool
    FIELD_OPTIONAL,    // off, or count floats; a bool says which
    FIELD_FRAME,       // a frame of R^m row by row, 4 m floats, its bool set
    FIELD_TOUR,        // off, or its kind, seed, speed, target and whether it runs
    FIELD_SPIN,        // off, or the plane of a spin and its rate
    FIELD_COUNT,       // a whole number, held as an int
    FIELD_SCALE,       // a number not below 0, or auto: held as -1
    FIELD_COLORS,      // none, or colours as #rrggbb or by name, held with their number
};

// Which views have a field written: the coordinate choice and the 4-D turn
// make a frame of R^m, which is written in their place.
enum FieldWhen { ALWAYS, UNFRAMED, FRAMED };

// What a field's values must hold once the whole file is read.
enum FieldCheck {
    CHECK_NONE,
    CHECK_UNIT,         // a quaternion that can be brought to length 1
    CHECK_ORTHONORMAL3, // this field and the two before it, rows of a 3 x 3 matrix
    CHECK_ORTHONORMAL4, // rows of a 4 x 4 matrix
    CHECK_DISTINCT,     // no number twice
    CHECK_RANGE,        // the last value within the field's range as a view holds it, unless off
    CHECK_FRAME,        // rows orthonormal, when on
    CHECK_SAMPLES,      // 1, 2, 4 or 8
};

struct FieldRow {
    const char* key;
    FieldKind kind;
    int count;
    size_t at;                // offset of the values in a View
    size_t flag;              // of the bool of an optional field
    const char* const* words; // of a word field
    bool required;            // in every file, since version 1; show only without a frame
    FieldWhen when;           // which views have it written
    FieldCheck check;
    RangeName range;   // of CHECK_RANGE
    const char* fault; // what a value that is not one of the words, or fails another check, is
};

extern const FieldRow fields[];
extern const int field_count;

template <typename T> T* __place_view(View* scene, size_t at)
{
    return reinterpret_cast<T*>(reinterpret_cast<char*>(scene) + at);
}

template <typename T> const T* __place_view(const View* scene, size_t at)
{
    return reinterpret_cast<const T*>(reinterpret_cast<const char*>(scene) + at);
}

// Where value k of a float field lies.
size_t __float_at_view(const FieldRow& row, int k);
