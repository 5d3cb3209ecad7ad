// The ranges of a view's numbers, and the checks and words made from them.
#include "core/ranges.h"

#include <cmath>
#include <cstdio>

bool within_range(RangeName name, float value, bool held)
{
    const Range& r = ranges[name];
    float size = r.either ? fabsf(value) : value;
    if (held && r.zero && value == 0.0f)
        return true;
    // NaN compares false, and infinity is past every high.
    return (r.above ? size > r.low : size >= r.low) && size <= r.high;
}

const char* text_range(RangeName name, bool held)
{
    static char texts[RANGE_COUNT][64];
    const Range& r = ranges[name];
    if (!held || !r.zero || within_range(name, 0.0f))
        return r.text;
    snprintf(texts[name], sizeof texts[name], "0 or %s", r.text);
    return texts[name];
}

const char* fault_range(RangeName name, bool held)
{
    static char faults[RANGE_COUNT][96];
    snprintf(faults[name], sizeof faults[name], "%s is not %s", ranges[name].name, text_range(name, held));
    return faults[name];
}

float radians_range(float degrees)
{
    return static_cast<float>(std::fmod(static_cast<double>(degrees), 360.0) * M_PI / 180.0);
}
