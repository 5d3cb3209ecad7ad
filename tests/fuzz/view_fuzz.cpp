// Fuzzes the view-file parser and holds what it accepts to the format: the
// four coordinates differ, and writing the view out and reading it back
// gives the same bits, so a saved view restores the same picture. A refused
// text leaves the record alone.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "scenes.h"
#include "core/viewfile.h"

[[noreturn]] static void __fail_fuzz(const char* what)
{
    fprintf(stderr, "view_fuzz: %s\n", what);
    abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    View view, before;
    memset(&view, 0xa5, sizeof view);
    before = view;
    const char* fault = parse_view(reinterpret_cast<const char*>(data), size, &view);
    if (fault) {
        if (memcmp(&view, &before, sizeof view) != 0)
            __fail_fuzz("a refused text changed the record");
        return 0;
    }
    for (int k = 0; k < 4; k++)
        for (int j = 0; j < k; j++)
            if (view.show[j] == view.show[k])
                __fail_fuzz("a coordinate is shown twice");

    static char text[longest_view];
    size_t length = format_view(&view, text, sizeof text);
    if (length >= sizeof text)
        __fail_fuzz("a view does not fit the longest view file");
    View again;
    if (parse_view(text, length, &again))
        __fail_fuzz("a written view is refused");
    if (!same_scene(view, again))
        __fail_fuzz("a written view reads back to other bits");
    // Its tour goes on from it, whatever its speed and its frame.
    walk_tour_scene(view, 3);
    return 0;
}
