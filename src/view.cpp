// Saved views: formatting, parsing, reading and writing view files.
#include "view.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "output.h"

static const char version_line[] = "plexorama-view 1";

size_t format_view(const View* view, char* text, size_t size)
{
    // %.9g: nine significant digits tell every float from its neighbours.
    const float* q = view->q;
    const float(*a)[3] = view->axis;
    const uint8_t* s = view->show;
    int length = snprintf(text, size,
        "%s\n"
        "q = %.9g %.9g %.9g %.9g\n"
        "axis1 = %.9g %.9g %.9g\n"
        "axis2 = %.9g %.9g %.9g\n"
        "axis3 = %.9g %.9g %.9g\n"
        "show = %d %d %d %d\n",
        version_line, q[0], q[1], q[2], q[3], a[0][0], a[0][1], a[0][2], a[1][0], a[1][1], a[1][2], a[2][0],
        a[2][1], a[2][2], s[0] + 1, s[1] + 1, s[2] + 1, s[3] + 1);
    return length < 0 ? 0 : static_cast<size_t>(length);
}

// The fields a view needs, each on one line of its own.
enum { FIELD_Q, FIELD_AXIS1, FIELD_AXIS2, FIELD_AXIS3, FIELD_SHOW, FIELDS };

static const struct {
    const char* key;
    int values;
} fields[FIELDS] = {{"q", 4}, {"axis1", 3}, {"axis2", 3}, {"axis3", 3}, {"show", 4}};

// Splits line, NUL-terminated, at blanks into at most count words.
static int __split_view(char* line, char** words, int count)
{
    int found = 0;
    for (char* word = strtok(line, " \t"); word; word = strtok(nullptr, " \t")) {
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

// Reads one "key = values" line into view; returns none or the fault.
static const char* __field_view(char* line, View* view, int* seen)
{
    char* words[7];
    int count = __split_view(line, words, 7);
    if (count < 2 || strcmp(words[1], "=") != 0)
        return "a line is not 'key = values'";
    int field = 0;
    while (field < FIELDS && strcmp(words[0], fields[field].key) != 0)
        field++;
    if (field == FIELDS)
        return "unknown key";
    if (*seen & (1 << field))
        return "a key appears twice";
    *seen |= 1 << field;
    if (count - 2 != fields[field].values)
        return "wrong number of values";

    float* floats = field == FIELD_Q ? view->q : view->axis[field - FIELD_AXIS1];
    for (int k = 0; k < fields[field].values; k++) {
        if (field == FIELD_SHOW) {
            if (!__coordinate_view(words[2 + k], &view->show[k]))
                return "a coordinate is not a number from 1 to 255";
        } else if (!__float_view(words[2 + k], &floats[k])) {
            return "a value is not a finite number";
        }
    }
    return nullptr;
}

const char* parse_view(const char* text, size_t length, View* view)
{
    View read = {};
    int seen = 0;
    size_t start = 0;
    for (int number = 1; start < length; number++) {
        const char* end = static_cast<const char*>(memchr(text + start, '\n', length - start));
        size_t line_length = (end ? static_cast<size_t>(end - text) : length) - start;
        char line[256];
        if (line_length >= sizeof line)
            return "a line is too long";
        memcpy(line, text + start, line_length);
        line[line_length] = '\0';
        if (strlen(line) != line_length)
            return "a line holds a NUL byte";
        start += line_length + 1;

        if (number == 1) {
            if (strcmp(line, version_line) != 0)
                return "not a view file";
            continue;
        }
        const char* fault = __field_view(line, &read, &seen);
        if (fault)
            return fault;
    }
    if (seen == 0 && start == 0)
        return "not a view file";
    if (seen != (1 << FIELDS) - 1)
        return "a key is missing";
    if (read.q[0] == 0.0f && read.q[1] == 0.0f && read.q[2] == 0.0f && read.q[3] == 0.0f)
        return "q is zero";
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < i; j++)
            if (read.show[i] == read.show[j])
                return "a coordinate is shown twice";
    *view = read;
    return nullptr;
}

const char* read_view(const char* path, View* view)
{
    static char reason[128];
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
    char text[512];
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
