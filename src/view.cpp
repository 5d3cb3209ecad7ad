// Saved views: formatting, parsing, reading and writing view files.
#include "view.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "output.h"

const View initial_view = {
    {0.0f, 0.0f, 0.0f, 1.0f},
    {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}},
    {0, 1, 2, 3},
    {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f},
    1.0f,
    {0.0f, 0.0f},
    0,
    0,
    0,
    {0.0f, 0.0f},
    0,
    0.0f,
    0,
    1,
};

// The words of the keys that take one, in the order of their values.
static const char* const lights[] = {"file", "shape"};
static const char* const tints[] = {"fixed", "w"};
static const char* const switches[] = {"off", "on"};

// Within this a matrix counts as orthonormal: a saved float matrix is off by
// a few units in the last place, a mistyped one by far more.
static const float orthonormal_tolerance = 1e-4f;

// Appends to text what printf makes, as snprintf would write it at the end.
[[gnu::format(printf, 4, 5)]] static void __append_view(char* text, size_t size, size_t* length,
    const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int added = vsnprintf(*length < size ? text + *length : nullptr, *length < size ? size - *length : 0, format,
        arguments);
    va_end(arguments);
    if (added > 0)
        *length += static_cast<size_t>(added);
}

size_t format_view(const View* view, char* text, size_t size)
{
    // %.9g: nine significant digits tell every float from its neighbours.
    const float* q = view->q;
    const float(*a)[3] = view->axis;
    const uint8_t* s = view->show;
    size_t length = 0;
    if (size)
        text[0] = '\0';
    __append_view(text, size, &length,
        "plexorama-view 2\n"
        "q = %.9g %.9g %.9g %.9g\n"
        "axis1 = %.9g %.9g %.9g\n"
        "axis2 = %.9g %.9g %.9g\n"
        "axis3 = %.9g %.9g %.9g\n"
        "show = %d %d %d %d\n"
        "turn4 =",
        q[0], q[1], q[2], q[3], a[0][0], a[0][1], a[0][2], a[1][0], a[1][1], a[1][2], a[2][0], a[2][1], a[2][2],
        s[0] + 1, s[1] + 1, s[2] + 1, s[3] + 1);
    for (float t : view->turn4)
        __append_view(text, size, &length, " %.9g", t);
    __append_view(text, size, &length, "\nzoom = %.9g\npan = %.9g %.9g\nlight = %s\ncolor = %s\n", view->zoom,
        view->pan[0], view->pan[1], lights[view->light], tints[view->tint]);
    if (view->slice)
        __append_view(text, size, &length, "slice = %.9g %.9g\n", view->band[0], view->band[1]);
    else
        __append_view(text, size, &length, "slice = off\n");
    if (view->eye4)
        __append_view(text, size, &length, "eye4 = %.9g\n", view->eye4_at);
    else
        __append_view(text, size, &length, "eye4 = off\n");
    __append_view(text, size, &length, "gizmo = %s\nwire = %s\n", switches[view->gizmo], switches[view->wire]);
    return length;
}

// FLOATS take as many values as the key has; OPTIONAL as many, or the
// word "off"; WORD one of its words.
enum Kind { FLOATS, COORDINATES, WORD, OPTIONAL };

// The keys of a view file; the first five must be given.
enum {
    FIELD_Q,
    FIELD_AXIS1,
    FIELD_AXIS2,
    FIELD_AXIS3,
    FIELD_SHOW,
    FIELD_TURN4,
    FIELD_ZOOM,
    FIELD_PAN,
    FIELD_LIGHT,
    FIELD_COLOR,
    FIELD_SLICE,
    FIELD_EYE4,
    FIELD_GIZMO,
    FIELD_WIRE,
    FIELDS
};
static const int required_fields = FIELD_SHOW + 1;

static const struct {
    const char* key;
    int values;
    Kind kind;
    const char* const* words; // for WORD: two of them
    const char* fault;        // for WORD: what the value must be
} fields[FIELDS] = {
    {"q", 4, FLOATS, nullptr, nullptr},
    {"axis1", 3, FLOATS, nullptr, nullptr},
    {"axis2", 3, FLOATS, nullptr, nullptr},
    {"axis3", 3, FLOATS, nullptr, nullptr},
    {"show", 4, COORDINATES, nullptr, nullptr},
    {"turn4", 16, FLOATS, nullptr, nullptr},
    {"zoom", 1, FLOATS, nullptr, nullptr},
    {"pan", 2, FLOATS, nullptr, nullptr},
    {"light", 1, WORD, lights, "light is not 'file' or 'shape'"},
    {"color", 1, WORD, tints, "color is not 'fixed' or 'w'"},
    {"slice", 2, OPTIONAL, nullptr, nullptr},
    {"eye4", 1, OPTIONAL, nullptr, nullptr},
    {"gizmo", 1, WORD, switches, "gizmo is not 'on' or 'off'"},
    {"wire", 1, WORD, switches, "wire is not 'on' or 'off'"},
};

static float* __floats_view(View* view, int field)
{
    switch (field) {
    case FIELD_Q:
        return view->q;
    case FIELD_TURN4:
        return view->turn4;
    case FIELD_ZOOM:
        return &view->zoom;
    case FIELD_PAN:
        return view->pan;
    case FIELD_SLICE:
        return view->band;
    case FIELD_EYE4:
        return &view->eye4_at;
    default:
        return view->axis[field - FIELD_AXIS1];
    }
}

static int32_t* __word_view(View* view, int field)
{
    switch (field) {
    case FIELD_LIGHT:
        return &view->light;
    case FIELD_COLOR:
        return &view->tint;
    case FIELD_SLICE:
        return &view->slice;
    case FIELD_EYE4:
        return &view->eye4;
    case FIELD_GIZMO:
        return &view->gizmo;
    default:
        return &view->wire;
    }
}

// Splits text, NUL-terminated, at blanks into at most count words.
static int __split_view(char* text, char** words, int count)
{
    int found = 0;
    for (char* word = strtok(text, " \t"); word; word = strtok(nullptr, " \t")) {
        if (found == count)
            return count + 1;
        words[found++] = word;
    }
    return found;
}

// A finite float written out in full, nothing after it. strtof reports
// ERANGE for subnormals too, which are valid; an overflow shows as infinity.
static int __float_view(const char* word, float* value)
{
    char* end = nullptr;
    *value = strtof(word, &end);
    return end != word && *end == '\0' && std::isfinite(*value);
}

// A coordinate number from 1 to 255, in plain digits.
static int __coordinate_view(const char* word, uint8_t* index)
{
    size_t digits = strspn(word, "0123456789");
    if (digits == 0 || digits > 3 || word[digits] != '\0')
        return 0;
    int number = atoi(word);
    if (number < 1 || number > 255)
        return 0;
    *index = static_cast<uint8_t>(number - 1);
    return 1;
}

// Reads the values of one field; returns none or the fault.
static const char* __values_view(int field, char** words, int count, View* view)
{
    Kind kind = fields[field].kind;
    if (kind == OPTIONAL) {
        bool off = count == 1 && strcmp(words[0], "off") == 0;
        *__word_view(view, field) = !off;
        if (off)
            return nullptr;
    }
    if (count != fields[field].values)
        return "wrong number of values";
    for (int k = 0; k < count; k++) {
        if (kind == COORDINATES) {
            if (!__coordinate_view(words[k], &view->show[k]))
                return "a coordinate is not a number from 1 to 255";
        } else if (kind == WORD) {
            const char* const* known = fields[field].words;
            if (strcmp(words[k], known[0]) != 0 && strcmp(words[k], known[1]) != 0)
                return fields[field].fault;
            *__word_view(view, field) = strcmp(words[k], known[1]) == 0;
        } else if (!__float_view(words[k], &__floats_view(view, field)[k])) {
            return "a value is not a finite number";
        }
    }
    return nullptr;
}

// Reads one "key = values" line into view; returns none or the fault.
static const char* __field_view(char* line, View* view, int* seen)
{
    char* equals = strchr(line, '=');
    if (!equals)
        return "a line is not 'key = values'";
    *equals = '\0';
    char* key[2];
    char* words[17];
    if (__split_view(line, key, 1) != 1)
        return "a line is not 'key = values'";
    int field = 0;
    while (field < FIELDS && strcmp(key[0], fields[field].key) != 0)
        field++;
    if (field == FIELDS)
        return "unknown key";
    if (*seen & (1 << field))
        return "a key appears twice";
    *seen |= 1 << field;
    int count = __split_view(equals + 1, words, 17);
    return __values_view(field, words, count, view);
}

// How far the rows of an n x n matrix, rows stride floats apart, are from
// orthonormal. NaN compares false, so it is as far as can be.
static float __orthonormal_error_view(const float* m, int n, int stride)
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

// What the values of a whole view must hold together; the line of the key
// at fault, or 0 with none.
static const char* __check_view(const View* view, const int* lines, int* line)
{
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < i; j++)
            if (view->show[i] == view->show[j]) {
                *line = lines[FIELD_SHOW];
                return "a coordinate is shown twice";
            }
    *line = lines[FIELD_Q];
    if (view->q[0] == 0.0f && view->q[1] == 0.0f && view->q[2] == 0.0f && view->q[3] == 0.0f)
        return "q is zero";
    *line = lines[FIELD_AXIS3];
    if (__orthonormal_error_view(view->axis[0], 3, 3) > orthonormal_tolerance)
        return "axis1 to axis3 are not orthonormal";
    *line = lines[FIELD_TURN4];
    if (__orthonormal_error_view(view->turn4, 4, 4) > orthonormal_tolerance)
        return "turn4 is not orthonormal";
    *line = lines[FIELD_ZOOM];
    if (!(view->zoom >= 0.125f && view->zoom <= 8.0f))
        return "zoom is not from 0.125 to 8";
    *line = lines[FIELD_SLICE];
    if (view->slice && view->band[1] < 0.0f)
        return "the slice's width is negative";
    *line = lines[FIELD_EYE4];
    if (view->eye4 && view->eye4_at < 0.0f)
        return "the eye's distance is negative";
    return nullptr;
}

// Copies line number `number` of a text into line, without its CR LF.
// Returns none, or what is wrong with it.
static const char* __line_view(const char* text, size_t length, size_t* start, char* line, size_t size)
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

const char* parse_view(const char* text, size_t length, View* view)
{
    static char reason[96];
    View read = initial_view;
    int seen = 0;
    int lines[FIELDS] = {};
    const char* fault = nullptr;
    int line = 0;
    char content[512];
    for (size_t start = 0; start < length && !fault;) {
        line++;
        fault = __line_view(text, length, &start, content, sizeof content);
        if (fault)
            break;
        if (line == 1) {
            if (strcmp(content, "plexorama-view 1") != 0 && strcmp(content, "plexorama-view 2") != 0)
                return "not a view file";
            continue;
        }
        const char* first = content + strspn(content, " \t");
        if (*first == '\0' || *first == '#')
            continue;
        int before = seen;
        fault = __field_view(content, &read, &seen);
        for (int field = 0; field < FIELDS; field++)
            if ((seen & ~before) & (1 << field))
                lines[field] = line;
    }
    if (line == 0)
        return "not a view file";
    if (!fault && (seen & ((1 << required_fields) - 1)) != (1 << required_fields) - 1) {
        int field = 0;
        while (seen & (1 << field))
            field++;
        snprintf(reason, sizeof reason, "the key '%s' is missing", fields[field].key);
        return reason;
    }
    if (!fault)
        fault = __check_view(&read, lines, &line);
    if (fault) {
        snprintf(reason, sizeof reason, "line %d: %s", line, fault);
        return reason;
    }
    *view = read;
    return nullptr;
}

const char* read_view(const char* path, View* view)
{
    static char reason[160];
    FILE* file = fopen(path, "rb");
    if (!file) {
        snprintf(reason, sizeof reason, "cannot open: %s", strerror(errno));
        return reason;
    }
    // A view file is a few hundred bytes; anything much larger is not one.
    char text[4096];
    size_t length = fread(text, 1, sizeof text, file);
    int failed = ferror(file);
    int error = errno;
    fclose(file);
    if (failed) {
        snprintf(reason, sizeof reason, "cannot read: %s", strerror(error));
        return reason;
    }
    if (length == sizeof text)
        return "not a valid view file: larger than 4 KiB";
    const char* fault = parse_view(text, length, view);
    if (!fault)
        return nullptr;
    snprintf(reason, sizeof reason, "not a valid view file: %s", fault);
    return reason;
}

int write_view(const char* path, const View* view)
{
    char text[1024];
    size_t length = format_view(view, text, sizeof text);
    Output output;
    if (!open_output(path, 0, &output))
        return 0;
    if (fwrite(text, 1, length, output.file) != length) {
        int error = errno;
        discard_output(&output);
        errno = error;
        return 0;
    }
    return commit_output(&output);
}
