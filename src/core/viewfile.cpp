// View files: the table of a view's fields, and parsing, reading and
// writing files of view text through it.
#include "core/viewfile.h"

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/motion.h"
#include "core/ranges.h"
#include "core/values.h"
#include "core/viewfile_parts.h"

namespace {

const char* const lights[] = {"file", "shape", "smooth", nullptr};
const char* const tints[] = {"fixed", "w", nullptr};
const char* const stereos[] = {"off", "anaglyph", "side-by-side", nullptr};

} // namespace

#define AT(member) offsetof(View, member)

// RANGE_COUNT: no range.
const FieldRow fields[] = {
    {"q", FIELD_FLOATS, 4, AT(q), 0, nullptr, true, ALWAYS, CHECK_UNIT, RANGE_COUNT, "q is zero"},
    {"axis1", FIELD_FLOATS, 3, AT(axis[0]), 0, nullptr, true, ALWAYS, CHECK_NONE, RANGE_COUNT, nullptr},
    {"axis2", FIELD_FLOATS, 3, AT(axis[1]), 0, nullptr, true, ALWAYS, CHECK_NONE, RANGE_COUNT, nullptr},
    {"axis3", FIELD_FLOATS, 3, AT(axis[2]), 0, nullptr, true, ALWAYS, CHECK_ORTHONORMAL3, RANGE_COUNT,
        "axis1 to axis3 are not orthonormal"},
    {"show", FIELD_COORDINATES, 4, AT(show), 0, nullptr, true, UNFRAMED, CHECK_DISTINCT, RANGE_COUNT,
        "a coordinate is shown twice"},
    {"turn4", FIELD_MATRIX, 16, AT(turn4), 0, nullptr, false, UNFRAMED, CHECK_ORTHONORMAL4, RANGE_COUNT,
        "turn4 is not orthonormal"},
    {"zoom", FIELD_FLOATS, 1, AT(zoom), 0, nullptr, false, ALWAYS, CHECK_RANGE, RANGE_ZOOM, nullptr},
    {"pan", FIELD_FLOATS, 2, AT(pan), 0, nullptr, false, ALWAYS, CHECK_NONE, RANGE_COUNT, nullptr},
    {"light", FIELD_WORD, 1, AT(light), 0, lights, false, ALWAYS, CHECK_NONE, RANGE_COUNT,
        "light is not 'file', 'shape' or 'smooth'"},
    {"color", FIELD_WORD, 1, AT(cues.tint), 0, tints, false, ALWAYS, CHECK_NONE, RANGE_COUNT,
        "color is not 'fixed' or 'w'"},
    {"slice", FIELD_OPTIONAL, 2, AT(cues.slice_at), AT(cues.slice), nullptr, false, ALWAYS,
        CHECK_RANGE, RANGE_WIDTH, nullptr},
    {"eye4", FIELD_OPTIONAL, 1, AT(cues.eye4_at), AT(cues.eye4), nullptr, false, ALWAYS,
        CHECK_RANGE, RANGE_EYE4, nullptr},
    {"gizmo", FIELD_SWITCH, 1, AT(cues.gizmo), 0, nullptr, false, ALWAYS, CHECK_NONE, RANGE_COUNT,
        "gizmo is not 'on' or 'off'"},
    {"wire", FIELD_SWITCH, 1, AT(cues.wire), 0, nullptr, false, ALWAYS, CHECK_NONE, RANGE_COUNT,
        "wire is not 'on' or 'off'"},
    {"frame", FIELD_FRAME, 4 * max_dim_frame, AT(frame), AT(framed), nullptr, false, FRAMED,
        CHECK_FRAME, RANGE_COUNT, "the frame is not orthonormal"},
    {"spin", FIELD_SPIN, 2, AT(spin), 0, nullptr, false, ALWAYS, CHECK_NONE, RANGE_SPIN_RATE,
        "spin is not 'off' or PLANE DEGREES_PER_SECOND"},
    {"tour", FIELD_TOUR, 5, AT(tour), 0, nullptr, false, ALWAYS, CHECK_NONE, RANGE_TOUR_SPEED,
        "tour is not 'off' or KIND SEED SPEED TARGET running|paused"},
    {"scale", FIELD_SCALE, 1, AT(cues.tint_scale), 0, nullptr, false, ALWAYS, CHECK_NONE, RANGE_SCALE,
        nullptr},
    {"aa", FIELD_COUNT, 1, AT(finish.aa), 0, nullptr, false, ALWAYS, CHECK_SAMPLES, RANGE_COUNT,
        "aa is not 1, 2, 4 or 8"},
    {"opacity", FIELD_FLOATS, 1, AT(finish.opacity), 0, nullptr, false, ALWAYS, CHECK_RANGE,
        RANGE_OPACITY, nullptr},
    {"stereo", FIELD_WORD, 1, AT(finish.stereo), 0, stereos, false, ALWAYS, CHECK_NONE, RANGE_COUNT,
        "stereo is not 'off', 'anaglyph' or 'side-by-side'"},
    {"eyes", FIELD_FLOATS, 1, AT(finish.eyes), 0, nullptr, false, ALWAYS, CHECK_RANGE, RANGE_EYES,
        nullptr},
    {"line-width", FIELD_FLOATS, 1, AT(finish.line_width), 0, nullptr, false, ALWAYS, CHECK_RANGE,
        RANGE_LINE_WIDTH, nullptr},
    {"point-size", FIELD_FLOATS, 1, AT(finish.point_size), 0, nullptr, false, ALWAYS, CHECK_RANGE,
        RANGE_POINT_SIZE, nullptr},
    {"tubes", FIELD_FLOATS, 1, AT(finish.tubes), 0, nullptr, false, ALWAYS, CHECK_RANGE, RANGE_TUBES,
        nullptr},
    {"colors", FIELD_COLORS, max_colors_view, AT(finish.colors), AT(finish.color_count), nullptr,
        false, ALWAYS, CHECK_NONE, RANGE_COUNT, nullptr},
    {"curve", FIELD_SWITCH, 1, AT(cues.curve), 0, nullptr, false, ALWAYS, CHECK_NONE, RANGE_COUNT,
        "curve is not 'on' or 'off'"},
    {"broken", FIELD_SWITCH, 1, AT(cues.broken), 0, nullptr, false, ALWAYS, CHECK_NONE, RANGE_COUNT,
        "broken is not 'on' or 'off'"},
};
static_assert(sizeof fields / sizeof fields[0] <= 32, "a bit of the keys seen a field");
const int field_count = sizeof fields / sizeof fields[0];

#undef AT

// Within this a matrix counts as orthonormal: a saved float matrix is off by
// a few units in the last place, a mistyped one by far more.
const float orthonormal_tolerance = 1e-4f;

// Where value k of a float field lies.
size_t __float_at_view(const FieldRow& row, int k)
{
    int index = row.kind == FIELD_MATRIX ? 4 * (k % 4) + k / 4 : k;
    return row.at + sizeof(float) * static_cast<size_t>(index);
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

// A frame of R^m row by row: 4 m finite floats, m from 4 to 255 and the
// surface's when known.
static const char* __frame_view(char** words, int count, uint8_t dim, View* scene)
{
    static char fault[64];
    int m = count / 4;
    if (count % 4 || m < 4 || m > max_dim_frame)
        return "wrong number of values";
    if (dim && m != dim) {
        snprintf(fault, sizeof fault, "the frame is of R^%d, the surface of R^%d", m, dim);
        return fault;
    }
    Frame& f = scene->frame;
    f.dim = static_cast<uint8_t>(m);
    for (int k = 0; k < count; k++) {
        float& value = f.rows[k / m][k % m];
        if (!float_values(words[k], &value))
            return "a value is not a finite number";
        // The frame is written as the 4-D turn times it, where -0 sums to 0:
        // so read, it reads back the same.
        value += 0.0f;
    }
    scene->framed = true;
    return nullptr;
}

// Reads the values of one field; returns none or the fault.
static const char* __values_view(const FieldRow& row, char** words, int count, uint8_t dim, View* scene)
{
    if (row.kind == FIELD_FRAME)
        return __frame_view(words, count, dim, scene);
    if (row.kind == FIELD_SPIN) {
        float rate = 0.0f;
        int a = 0, b = 0;
        if (count == 1 && strcmp(words[0], "off") == 0)
            scene->spin = initial_view.spin;
        else if (count != 2 || !plane_values(words[0], strlen(words[0]), &a, &b)
            || !float_values(words[1], &rate))
            return row.fault;
        else if (!within_range(row.range, rate))
            return fault_range(row.range);
        else
            scene->spin = plane_spin_motion(a, b, rate);
        return nullptr;
    }
    if (row.kind == FIELD_TOUR) {
        int read = parse_tour(words, count, &scene->tour);
        return read > 0 ? nullptr : read < 0 ? fault_range(row.range) : row.fault;
    }
    if (row.kind == FIELD_SCALE) {
        float* scale = __place_view<float>(scene, row.at);
        if (count != 1)
            return "wrong number of values";
        // auto, or a number in the range.
        const char* fault = scale_values(words[0], scale);
        if (fault && !float_values(words[0], scale))
            return fault;
        return (!fault && *scale == -1.0f) || within_range(row.range, *scale, true) ? nullptr
                                                                                      : fault_range(row.range, true);
    }
    if (row.kind == FIELD_COLORS) {
        Finish& f = scene->finish;
        if (count == 1 && strcmp(words[0], "none") == 0) {
            f.color_count = 0;
            return nullptr;
        }
        if (count < 1 || count > max_colors_view)
            return "wrong number of values";
        uint8_t read[max_colors_view][3];
        for (int k = 0, one = 0; k < count; k++)
            if (const char* fault = colors_values(words[k], ' ', &read[k], 1, &one))
                return fault;
        memcpy(f.colors, read, sizeof read[0] * static_cast<size_t>(count));
        f.color_count = count;
        return nullptr;
    }
    if (row.kind == FIELD_OPTIONAL) {
        bool off = count == 1 && strcmp(words[0], "off") == 0;
        *__place_view<bool>(scene, row.flag) = !off;
        if (off)
            return nullptr;
    }
    if (count != row.count)
        return "wrong number of values";
    for (int k = 0; k < count; k++) {
        switch (row.kind) {
        case FIELD_COORDINATES:
            if (!__coordinate_view(words[k], &__place_view<uint8_t>(scene, row.at)[k]))
                return "a coordinate is not a number from 1 to 255";
            break;
        case FIELD_WORD: {
            int place = 0;
            while (row.words[place] && strcmp(words[k], row.words[place]) != 0)
                place++;
            if (!row.words[place])
                return row.fault;
            *__place_view<int>(scene, row.at) = place;
            break;
        }
        case FIELD_SWITCH:
            if (strcmp(words[k], "on") != 0 && strcmp(words[k], "off") != 0)
                return row.fault;
            *__place_view<bool>(scene, row.at) = strcmp(words[k], "on") == 0;
            break;
        case FIELD_COUNT: {
            unsigned long long number = 0;
            if (!number_values(words[k], 255, &number))
                return row.fault;
            *__place_view<int>(scene, row.at) = static_cast<int>(number);
            break;
        }
        default:
            if (!float_values(words[k], __place_view<float>(scene, __float_at_view(row, k))))
                return "a value is not a finite number";
            break;
        }
    }
    return nullptr;
}

// Reads one "key = values" line into scene; returns none or the fault, and
// the field it was for.
static const char* __field_view(char* line, uint8_t dim, View* scene, int* field, unsigned* seen)
{
    char* equals = strchr(line, '=');
    if (!equals)
        return "a line is not 'key = values'";
    *equals = '\0';
    char* key[2];
    static char* words[4 * max_dim_frame + 1];
    if (split_values(line, key, 1) != 1)
        return "a line is not 'key = values'";
    *field = 0;
    while (*field < field_count && strcmp(key[0], fields[*field].key) != 0)
        (*field)++;
    if (*field == field_count)
        return "unknown key";
    if (*seen & (1u << *field))
        return "a key appears twice";
    *seen |= 1u << *field;
    int count = split_values(equals + 1, words, 4 * max_dim_frame);
    return __values_view(fields[*field], words, count, dim, scene);
}

// Whether a field's values hold what they must once the file is read.
static bool __check_view(const FieldRow& row, View* scene)
{
    switch (row.check) {
    case CHECK_UNIT:
        return unit_values(__place_view<float>(scene, row.at));
    case CHECK_ORTHONORMAL3:
        return orthonormal_error_values(__place_view<float>(scene, row.at) - 6, 3, 3)
            <= orthonormal_tolerance;
    case CHECK_ORTHONORMAL4: {
        float written[16];
        for (int k = 0; k < 16; k++)
            written[k] = *__place_view<float>(scene, __float_at_view(row, k));
        return orthonormal_error_values(written, 4, 4) <= orthonormal_tolerance;
    }
    case CHECK_DISTINCT: {
        const uint8_t* c = __place_view<uint8_t>(scene, row.at);
        for (int i = 0; i < row.count; i++)
            for (int j = 0; j < i; j++)
                if (c[i] == c[j])
                    return false;
        return true;
    }
    case CHECK_FRAME:
        return !scene->framed || error_frame(&scene->frame) <= orthonormal_tolerance;
    case CHECK_RANGE:
        return (row.kind == FIELD_OPTIONAL && !*__place_view<bool>(scene, row.flag))
            || within_range(
                row.range, *__place_view<float>(scene, __float_at_view(row, row.count - 1)), true);
    case CHECK_SAMPLES: {
        int samples = *__place_view<int>(scene, row.at);
        return samples == 1 || samples == 2 || samples == 4 || samples == 8;
    }
    default:
        return true;
    }
}

const char* parse_view(const char* text, size_t length, View* scene, uint8_t dim)
{
    return parse_over_view(text, length, &initial_view, false, scene, dim);
}

const char* parse_over_view(
    const char* text, size_t length, const View* base, bool partial, View* scene, uint8_t dim)
{
    static char reason[96];
    static char content[longest_line_view];
    // Editors on some systems start UTF-8 text with a byte-order mark.
    if (length >= 3 && memcmp(text, "\xef\xbb\xbf", 3) == 0) {
        text += 3;
        length -= 3;
    }
    // A frame is of one surface: the base's is not carried over.
    View read = *base;
    read.framed = false;
    unsigned seen = 0;
    int lines[field_count] = {};
    const char* fault = nullptr;
    int line = 0;
    for (size_t start = 0; start < length && !fault;) {
        line++;
        fault = line_values(text, length, &start, content, sizeof content);
        if (fault)
            break;
        if (line == 1) {
            if (strncmp(content, "plexorama-view ", 15) != 0 || !strchr("123", content[15]) || !content[15]
                || content[16])

                return "not a view file";
            continue;
        }
        const char* first = content + strspn(content, " \t");
        if (*first == '\0' || *first == '#')
            continue;
        int field = -1;
        fault = __field_view(content, dim, &read, &field, &seen);
        if (field >= 0 && field < field_count)
            lines[field] = line;
    }
    if (line == 0)
        return "not a view file";
    // A frame takes the place of the coordinate choice and the 4-D turn.
    bool framed = read.framed;
    for (int field = 0; field < field_count && !fault && !partial; field++)
        if (fields[field].required && !(seen & (1u << field))
            && !(framed && fields[field].when == UNFRAMED)) {
            snprintf(reason, sizeof reason, "the key '%s' is missing", fields[field].key);
            return reason;
        }
    for (int field = 0; field < field_count && !fault; field++) {
        if (framed && fields[field].when == UNFRAMED && (seen & (1u << field))) {
            fault = "a frame goes with neither show nor turn4";
            line = lines[field];
        } else if (!__check_view(fields[field], &read)) {
            fault = fields[field].check == CHECK_RANGE ? fault_range(fields[field].range, true)
                                                       : fields[field].fault;
            line = lines[field];
        }
    }
    if (fault) {
        snprintf(reason, sizeof reason, "line %d: %s", line, fault);
        return reason;
    }
    *scene = read;
    return nullptr;
}
