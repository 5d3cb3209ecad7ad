// Fuzzes the reader of a page's view links and holds what it accepts to the
// format: a link written from a view it read stands in an address as it is,
// fits the page's buffer, and reads back to the same bits, so a shared
// address opens the same picture. A refused link leaves the record alone.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/link.h"
#include "scenes.h"

[[noreturn]] static void __fail_fuzz(const char* what)
{
    fprintf(stderr, "link_fuzz: %s\n", what);
    abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The page hands the viewer a NUL-terminated string; bytes past a NUL
    // inside the input are never read.
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    View view, before;
    memset(&view, 0xa5, sizeof view);
    before = view;
    if (parse_link(text.data(), &view)) {
        if (memcmp(&view, &before, sizeof view) != 0)
            __fail_fuzz("a refused link changed the record");
        return 0;
    }

    // The page reads the view's link into as much as the longest view file.
    static char link[longest_view];
    size_t length = format_link(&view, link, sizeof link);
    if (length == 0 || length >= sizeof link)
        __fail_fuzz("a view read from a link has no link within the longest view file");
    // What a URL's fragment holds unescaped.
    const char* fragment
        = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~!$&'()*+,;=:@/?";
    if (strspn(link, fragment) != length)
        __fail_fuzz("a written link holds a character an address would escape");
    View again;
    if (parse_link(link, &again))
        __fail_fuzz("a written link is refused");
    if (!same_scene(view, again))
        __fail_fuzz("a written link reads back to other bits");
    // Its tour goes on from it, whatever its speed and its frame.
    walk_tour_scene(view, 3);
    return 0;
}
