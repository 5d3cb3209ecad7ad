// Values written as text: counts, floats, coordinate lists, turns.
#include "values.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "motion.h"

int number_values(const char* text, unsigned long long limit, unsigned long long* value)
{
    // strtoull alone would take a sign, leading blanks and a "0x"; only
    // plain decimal digits are a number here.
    if (*text == '\0')
        return 0;
    unsigned long long n = 0;
    for (const char* c = text; *c; c++) {
        if (*c < '0' || *c > '9')
            return 0;
        unsigned digit = static_cast<unsigned>(*c - '0');
        if (n > (limit - digit) / 10)
            return 0;
        n = n * 10 + digit;
    }
    *value = n;
    return 1;
}

// strtof reports ERANGE for subnormals too, which are valid; an overflow
// shows as infinity.
int float_values(const char* text, float* value)
{
    char* end = nullptr;
    *value = strtof(text, &end);
    return end != text && *end == '\0' && std::isfinite(*value);
}

int turns_values(const char* text, Turn* turns, int count)
{
    int read = 0;
    for (const char* c = text;; c++) {
        size_t length = strcspn(c, ",");
        char item[64];
        if (read == count || length >= sizeof item)
            return -1;
        memcpy(item, c, length);
        item[length] = '\0';
        char* equals = strchr(item, '=');
        Turn& t = turns[read++];
        if (!equals || !plane_motion(item, static_cast<size_t>(equals - item), &t.a, &t.b)
            || !float_values(equals + 1, &t.degrees))
            return -1;
        c += length;
        if (*c == '\0')
            return read;
    }
}

int band_values(const char* text, float* band)
{
    char first[64];
    size_t length = strcspn(text, ",");
    if (length >= sizeof first)
        return 0;
    memcpy(first, text, length);
    first[length] = '\0';
    band[1] = 0.0f;
    return float_values(first, &band[0])
        && (text[length] == '\0' || (float_values(text + length + 1, &band[1]) && band[1] >= 0.0f));
}

int word_number_values(const char* text, char* word, size_t size, float* number)
{
    size_t length = strcspn(text, "=");
    if (length >= size)
        return 0;
    memcpy(word, text, length);
    word[length] = '\0';
    *number = -1.0f;
    return text[length] == '\0' || (float_values(text + length + 1, number) && *number >= 0.0f);
}

// Slower than a degree a second would take hours to turn once.
int spin_values(const char* text, Turn* spin)
{
    const char* equals = strchr(text, '=');
    size_t length = equals ? static_cast<size_t>(equals - text) : strlen(text);
    float rate = 60.0f;
    if (!plane_motion(text, length, &spin->a, &spin->b) || (equals && !float_values(equals + 1, &rate))
        || !(fabsf(rate) >= 1.0f && fabsf(rate) <= 3600.0f))
        return 0;
    spin->degrees = rate;
    return 1;
}

const char* coordinates_values(const char* text, uint8_t* coordinates)
{
    const char* c = text;
    for (int k = 0; k < 4; k++, c++) {
        const char* start = c;
        unsigned number = 0;
        // Past 255 the number stops growing: it is refused either way.
        for (; *c >= '0' && *c <= '9'; c++)
            if (number <= 255)
                number = number * 10 + static_cast<unsigned>(*c - '0');
        if (c == start || *c != (k < 3 ? ',' : '\0'))
            return "not four numbers A,B,C,D";
        if (number == 0 || number > 255)
            return "coordinates count from 1 to 255";
        coordinates[k] = static_cast<uint8_t>(number - 1);
        for (int j = 0; j < k; j++)
            if (coordinates[j] == coordinates[k])
                return "a coordinate is named twice";
    }
    return nullptr;
}
