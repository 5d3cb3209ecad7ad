// View files written: a view's fields as "key = values" lines.
#include "core/viewfile.h"

#include <cstdarg>
#include <cstdio>

#include "core/motion.h"
#include "core/values.h"
#include "core/viewfile_parts.h"

namespace {

// Appends to text what printf makes, as snprintf would write it at the end.
[[gnu::format(printf, 4, 5)]] void __append_view(
    char* text, size_t size, size_t* length, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int added = vsnprintf(
        *length < size ? text + *length : nullptr, *length < size ? size - *length : 0, format, arguments);
    va_end(arguments);
    if (added > 0)
        *length += static_cast<size_t>(added);
}

// The frame on show as a whole: the 4-D turn composed with the frame.
void __append_frame_view(const View* scene, char* text, size_t size, size_t* length)
{
    Frame f = scene->frame;
    compose_frame(scene->turn4[0], &f);
    for (const float* row : f.rows)
        for (int k = 0; k < f.dim; k++)
            __append_view(text, size, length, " %.9g", row[k]);
}

// Only a spin in a plane is written: one a drag left is a gesture.
void __append_spin_view(const Spin* spin, char* text, size_t size, size_t* length)
{
    if (spin->kind != SPIN_PLANE)
        __append_view(text, size, length, " off");
    else
        __append_view(text, size, length, " %c%c %.9g", "xyzw"[spin->a], "xyzw"[spin->b],
            static_cast<double>(rate_motion(spin)));
}

void __append_colors_view(const Finish* f, char* text, size_t size, size_t* length)
{
    if (!f->color_count)
        __append_view(text, size, length, " none");
    for (int k = 0; k < f->color_count; k++) {
        char color[8];
        color_text_values(f->colors[k], color);
        __append_view(text, size, length, " %s", color);
    }
}

} // namespace

size_t format_view(const View* scene, char* text, size_t size)
{
    size_t length = 0;
    if (size)
        text[0] = '\0';
    __append_view(text, size, &length, "plexorama-view 3\n");
    for (int k = 0; k < field_count; k++) {
        const FieldRow& row = fields[k];
        if (row.when != ALWAYS && (row.when == FRAMED) != scene->framed)
            continue;
        __append_view(text, size, &length, "%s =", row.key);
        if (row.kind == FIELD_FRAME)
            __append_frame_view(scene, text, size, &length);
        else if (row.kind == FIELD_SPIN)
            __append_spin_view(&scene->spin, text, size, &length);
        else if (row.kind == FIELD_TOUR)
            length += format_tour(&scene->tour, length < size ? text + length : nullptr,
                length < size ? size - length : 0);
        else if (row.kind == FIELD_WORD)
            __append_view(text, size, &length, " %s", row.words[*__place_view<int>(scene, row.at)]);
        else if (row.kind == FIELD_COUNT)
            __append_view(text, size, &length, " %d", *__place_view<int>(scene, row.at));
        else if (row.kind == FIELD_SWITCH)
            __append_view(text, size, &length, " %s", *__place_view<bool>(scene, row.at) ? "on" : "off");
        else if (row.kind == FIELD_OPTIONAL && !*__place_view<bool>(scene, row.flag))
            __append_view(text, size, &length, " off");
        else if (row.kind == FIELD_SCALE && *__place_view<float>(scene, row.at) < 0.0f)
            __append_view(text, size, &length, " auto");
        else if (row.kind == FIELD_COLORS)
            __append_colors_view(&scene->finish, text, size, &length);
        else
            for (int k = 0; k < row.count; k++) {
                // %.9g: nine significant digits tell every float from its neighbours.
                if (row.kind == FIELD_COORDINATES)
                    __append_view(text, size, &length, " %d", __place_view<uint8_t>(scene, row.at)[k] + 1);
                else
                    __append_view(
                        text, size, &length, " %.9g", *__place_view<float>(scene, __float_at_view(row, k)));
            }
        __append_view(text, size, &length, "\n");
    }
    return length;
}
