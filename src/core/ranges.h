// The ranges of the numbers a view holds: one table, which the command line,
// view files, links and the page all check against and their faults quote.
// A row of another table names its range by its RangeName.
#pragma once

#include <cfloat>

enum RangeName {
    RANGE_ZOOM,       // magnification
    RANGE_TOUR_SPEED, // degrees a second of a tour
    RANGE_SPIN_RATE,  // degrees a second of a spin, either way
    RANGE_OPACITY,    // of the filled surface
    RANGE_EYES,       // the stereo eyes' distance apart
    RANGE_EYE4,       // the 4-D eye's distance on the w axis
    RANGE_WIDTH,      // the slice's width
    RANGE_SCALE,      // the colour map's s
    RANGE_LINE_WIDTH, // lines' width in pixels
    RANGE_POINT_SIZE, // points' size across in pixels
    RANGE_TUBES,      // the tubes' radius, 0 for flat lines
    RANGE_COUNT,
};

struct Range {
    const char* name; // the value, as a fault names it
    float low, high;
    bool above;       // low itself is out
    bool either;      // from -high to -low too
    bool zero;        // a view may hold 0 too, for a value that follows s
    const char* text; // the range in words, to follow "is"
};

// Past a full turn a second a tour or a spin is a blur, and below a tenth of
// a degree (a degree for a spin) it takes hours to get anywhere. Eyes more
// than 2 apart look at the plane through the origin, 7 away, from angles too
// far apart for the two pictures to fuse. The 4-D eye's distance, the
// slice's width and the map's scale are ones the GL keeps (it flushes the
// tiniest floats to 0, which would take away the eye, the slice or the map)
// and a million is past any surface in view, as for the tubes' radius.
// Below half a pixel a line or a point is a faint blur; past 64 it hides
// what it marks.
inline constexpr Range ranges[RANGE_COUNT] = {
    {"zoom", 0.125f, 8.0f, false, false, false, "from 0.125 to 8"},
    {"the tour's speed", 0.1f, 3600.0f, false, false, false, "from 0.1 to 3600 degrees a second"},
    {"the spin's rate", 1.0f, 3600.0f, false, true, false, "from 1 to 3600 degrees a second either way"},
    {"opacity", 0.0f, 1.0f, true, false, false, "above 0 to 1"},
    {"the eyes' distance", 0.0f, 2.0f, false, false, false, "from 0 to 2"},
    {"the eye's distance", 1e-6f, 1e6f, false, false, true, "from 0.000001 to 1000000"},
    {"the slice's width", 1e-6f, 1e6f, false, false, true, "from 0.000001 to 1000000"},
    {"the map's scale", 1e-6f, 1e6f, false, false, true, "from 0.000001 to 1000000"},
    {"the line width", 0.5f, 64.0f, false, false, false, "from 0.5 to 64 pixels"},
    {"the point size", 0.5f, 64.0f, false, false, false, "from 0.5 to 64 pixels"},
    {"the tubes' radius", 1e-6f, 1e6f, false, false, true, "from 0.000001 to 1000000"},
};

// Whether value is finite and within the range; held, as a view holds it,
// where 0 may stand for a value that follows s.
bool within_range(RangeName name, float value, bool held = false);

// The range in words, as within_range takes it.
const char* text_range(RangeName name, bool held = false);

// Says what a value outside its range is: "NAME is not RANGE".
const char* fault_range(RangeName name, bool held = false);

// An angle in degrees as radians, reduced to a turn first, so that no finite
// angle overflows on the way.
float radians_range(float degrees);
