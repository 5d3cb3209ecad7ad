// View links: the view file's text, rewritten to stand in an address.
#include "link.h"

#include <cstdio>
#include <cstring>

static const char version_prefix[] = "plexorama-view ";

// Longest link taken: a view's text is under 250 characters.
static const size_t longest = 400;

size_t format_link(const View* view, char* text, size_t size)
{
    char file[512], link[512];
    size_t length = format_view(view, file, sizeof file);
    size_t prefix = strlen(version_prefix);
    if (length >= sizeof file || strncmp(file, version_prefix, prefix) != 0)
        return 0;
    size_t n = 0;
    for (const char* c = file + prefix; *c; c++) {
        if (strncmp(c, " = ", 3) == 0) {
            link[n++] = ':';
            c += 2;
        } else if (*c == ' ') {
            link[n++] = ',';
        } else if (*c == '\n') {
            if (c[1])
                link[n++] = ';';
        } else {
            link[n++] = *c;
        }
    }
    link[n] = '\0';
    if (size > 0)
        snprintf(text, size, "%s", link);
    return n;
}

const char* parse_link(const char* text, View* view)
{
    // Blanks, '=' or line ends would let a link say what a view file cannot
    // and would need escaping in an address.
    size_t length = strlen(text);
    if (length == 0 || strspn(text, "0123456789abcdefghijklmnopqrstuvwxyz+-.,:;") != length)
        return "not a view link";
    if (length > longest)
        return "not a view link: too long";
    // Each character becomes at most three.
    char file[sizeof version_prefix + 3 * longest + 1];
    size_t n = strlen(version_prefix);
    memcpy(file, version_prefix, n);
    for (const char* c = text; *c; c++) {
        if (*c == ':') {
            memcpy(file + n, " = ", 3);
            n += 3;
        } else {
            file[n++] = *c == ',' ? ' ' : *c == ';' ? '\n' : *c;
        }
    }
    file[n++] = '\n';
    return parse_view(file, n, view);
}
