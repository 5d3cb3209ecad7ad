// Values written as text: counts, floats, coordinate lists, turns.
#include "core/values.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <strings.h>

#include "core/ranges.h"

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

// Copies the item of a comma-separated list that starts at *c into item,
// NUL-terminated, and moves *c past it and its comma. Returns 0 when the
// item is too long, -1 for the last one, 1 for one with more after it.
static int __item_values(const char** c, char* item, size_t size)
{
    size_t length = strcspn(*c, ",");
    if (length >= size)
        return 0;
    memcpy(item, *c, length);
    item[length] = '\0';
    bool last = (*c)[length] == '\0';
    *c += length + !last;
    return last ? -1 : 1;
}

int plane_values(const char* name, size_t length, int* a, int* b)
{
    static const char* const planes[] = {"xy", "xz", "yz", "xw", "yw", "zw"};
    if (length != 2)
        return 0;
    for (const char* plane : planes)
        if (strncmp(name, plane, 2) == 0) {
            *a = plane[0] == 'w' ? 3 : plane[0] - 'x';
            *b = plane[1] == 'w' ? 3 : plane[1] - 'x';
            return 1;
        }
    return 0;
}

// "A:B", two different coordinate numbers from 1 to 255, into a and b from 0.
static int __plane_values(const char* text, int* a, int* b)
{
    const char* colon = strchr(text, ':');
    char first[8];
    size_t length = static_cast<size_t>(colon - text);
    unsigned long long x = 0, y = 0;
    if (length >= sizeof first)
        return 0;
    memcpy(first, text, length);
    first[length] = '\0';
    if (!number_values(first, 255, &x) || !number_values(colon + 1, 255, &y) || x == 0 || y == 0 || x == y)
        return 0;
    *a = static_cast<int>(x) - 1;
    *b = static_cast<int>(y) - 1;
    return 1;
}

int turns_values(const char* text, Turn* turns, int count)
{
    int read = 0;
    for (const char* c = text;;) {
        char item[64];
        int more = read < count ? __item_values(&c, item, sizeof item) : 0;
        if (!more)
            return -1;
        char* equals = strchr(item, '=');
        Turn& t = turns[read++];
        if (!equals || !float_values(equals + 1, &t.degrees))
            return -1;
        *equals = '\0';
        t.coordinates = strchr(item, ':') != nullptr;
        if (t.coordinates ? !__plane_values(item, &t.a, &t.b) : !plane_values(item, strlen(item), &t.a, &t.b))
            return -1;
        if (more < 0)
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
        && (text[length] == '\0'
            || (float_values(text + length + 1, &band[1]) && within_range(RANGE_WIDTH, band[1], true)));
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

int spin_values(const char* text, Turn* spin)
{
    const char* equals = strchr(text, '=');
    size_t length = equals ? static_cast<size_t>(equals - text) : strlen(text);
    float rate = 60.0f;
    if (!plane_values(text, length, &spin->a, &spin->b) || (equals && !float_values(equals + 1, &rate))
        || !within_range(RANGE_SPIN_RATE, rate))
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

int floats_values(const char* text, float* values, int count)
{
    int read = 0;
    for (const char* c = text;;) {
        char item[64];
        int more = read < count ? __item_values(&c, item, sizeof item) : 0;
        if (!more || !float_values(item, &values[read++]))
            return -1;
        if (more < 0)
            return read;
    }
}

int tour_values(const char* text, uint64_t* seed, bool* seeded)
{
    // In the order of the tour's kinds; the little tour takes no seed.
    const char* const kinds[] = {"grand", "little", "guided=fewest-crossings", "guided=spread"};
    unsigned long long number = 0;
    *seeded = false;
    for (int k = 0; k < 4; k++) {
        size_t length = strlen(kinds[k]);
        if (strncmp(text, kinds[k], length) != 0)
            continue;
        *seeded = k != 1 && text[length] == '=' && number_values(text + length + 1, UINT64_MAX, &number);
        if (text[length] == '\0' || *seeded) {
            *seed = number;
            return k + 1;
        }
    }
    return 0;
}

int split_values(char* text, char** words, int count)
{
    int found = 0;
    for (char* word = strtok(text, " \t"); word; word = strtok(nullptr, " \t")) {
        if (found == count)
            return count + 1;
        words[found++] = word;
    }
    return found;
}

float orthonormal_error_values(const float* m, int n, int stride)
{
    float error = 0.0f;
    for (int i = 0; i < n; i++)
        for (int j = 0; j <= i; j++) {
            float dot = 0.0f;
            for (int k = 0; k < n; k++)
                dot += m[i * stride + k] * m[j * stride + k];
            float off = fabsf(dot - static_cast<float>(i == j));
            if (!(off <= error))
                error = std::isnan(off) ? INFINITY : off;
        }
    return error;
}

int unit_values(float* q)
{
    double squares = 0.0;
    for (int k = 0; k < 4; k++)
        squares += static_cast<double>(q[k]) * q[k];
    double length = std::sqrt(squares);
    if (!(length > 0.0) || !std::isfinite(length))
        return 0;
    if (std::fabs(length - 1.0) <= 1e-6)
        return 1;
    for (int k = 0; k < 4; k++)
        q[k] = static_cast<float>(q[k] / length);
    return 1;
}

const char* line_values(const char* text, size_t length, size_t* start, char* line, size_t size)
{
    const char* end = static_cast<const char*>(memchr(text + *start, '\n', length - *start));
    size_t line_length = (end ? static_cast<size_t>(end - text) : length) - *start;
    const char* from = text + *start;
    *start += line_length + 1;
    if (line_length && from[line_length - 1] == '\r')
        line_length--;
    if (line_length >= size)
        return "a line is too long";
    memcpy(line, from, line_length);
    line[line_length] = '\0';
    if (strlen(line) != line_length)
        return "a line holds a NUL byte";
    return nullptr;
}

const char* scale_values(const char* word, float* scale)
{
    if (strcmp(word, "auto") == 0) {
        *scale = -1.0f;
        return nullptr;
    }
    if (!float_values(word, scale))
        return "a value is not a finite number";
    return *scale < 0.0f ? "the map's scale is negative" : nullptr;
}

// The names a colour may go by, besides #rrggbb: colours a lecture's
// audience tells apart and names alike.
static const struct {
    const char* name;
    uint8_t rgb[3];
} color_names[] = {
    {"red", {213, 50, 42}},
    {"orange", {230, 159, 0}},
    {"yellow", {240, 228, 66}},
    {"green", {0, 158, 115}},
    {"teal", {0, 128, 128}},
    {"blue", {0, 114, 178}},
    {"purple", {128, 80, 160}},
    {"pink", {204, 121, 167}},
    {"brown", {140, 86, 45}},
    {"grey", {128, 128, 128}},
    {"black", {0, 0, 0}},
    {"white", {255, 255, 255}},
};

static int __hex_values(char c)
{
    return c >= '0' && c <= '9' ? c - '0'
        : c >= 'a' && c <= 'f'  ? c - 'a' + 10
        : c >= 'A' && c <= 'F'  ? c - 'A' + 10
                                : -1;
}

// One colour of length characters at text: #rrggbb, its six digits alone
// (as links write it, an address escaping '#'), or a name. No name is six
// hex digits.
static int __color_values(const char* text, size_t length, uint8_t* rgb)
{
    bool marked = length == 7 && text[0] == '#';
    if (marked || length == 6) {
        const char* digits = text + marked;
        int read = 0;
        for (int k = 0; k < 3; k++) {
            int high = __hex_values(digits[2 * k]), low = __hex_values(digits[2 * k + 1]);
            if (high >= 0 && low >= 0)
                rgb[k] = static_cast<uint8_t>(16 * high + low), read++;
        }
        if (read == 3)
            return 1;
        if (marked)
            return 0;
    }
    for (const auto& row : color_names)
        if (strlen(row.name) == length && strncasecmp(row.name, text, length) == 0) {
            memcpy(rgb, row.rgb, 3);
            return 1;
        }
    return 0;
}

const char* colors_values(const char* text, char separator, uint8_t (*colors)[3], int size, int* count)
{
    uint8_t read[max_colors_values][3];
    const char separators[2] = {separator, '\0'};
    int n = 0;
    if (!*text)
        return "no colour";
    for (const char* c = text;; c++) {
        size_t length = strcspn(c, separators);
        if (n == size || n == max_colors_values)
            return "too many colours";
        if (!__color_values(c, length, read[n++]))
            return "a colour is not #rrggbb or a colour's name";
        c += length;
        if (!*c)
            break;
    }
    memcpy(colors, read, sizeof read[0] * static_cast<size_t>(n));
    *count = n;
    return nullptr;
}

void color_text_values(const uint8_t* rgb, char* text)
{
    snprintf(text, 8, "#%02x%02x%02x", rgb[0], rgb[1], rgb[2]);
}
