// View links: the view file's text, rewritten to stand in an address.
#include "core/link.h"

#include <cstdio>
#include <cstring>

static const char version_prefix[] = "plexorama-view ";

// Longest link taken: a view's text, every key given, is under 700
// characters, and some 17 KB with a frame of R^255; a link is never longer
// than its view's text, so every view the viewer writes is a link it reads.
static const size_t longest = longest_view;

// Whether line, ending in a newline, stands as it is in text.
static bool __has_line_link(const char* text, const char* line)
{
    size_t length = static_cast<size_t>(strchr(line, '\n') - line) + 1;
    for (const char* at = text; (at = strstr(at, "\n")) != nullptr; at++)
        if (strncmp(at + 1, line, length) == 0)
            return true;
    return false;
}

size_t format_link(const View* scene, char* text, size_t size)
{
    static char file[longest_view], start[longest_view], link[longest_view];
    size_t prefix = strlen(version_prefix);
    if (format_view(scene, file, sizeof file) >= sizeof file || strncmp(file, version_prefix, prefix) != 0)
        return 0;
    format_view(&initial_view, start, sizeof start);
    size_t n = 0;
    for (const char* c = file + prefix; *c; c++) {
        // A line starts after each newline; but for the keys every view
        // must give, one as at start goes.
        bool required = strncmp(c, "q ", 2) == 0 || strncmp(c, "axis", 4) == 0 || strncmp(c, "show ", 5) == 0;
        if (c[-1] == '\n' && !required && __has_line_link(start, c)) {
            c = strchr(c, '\n');
            continue;
        }
        if (strncmp(c, " = ", 3) == 0) {
            link[n++] = ':';
            c += 2;
        } else if (*c == ' ') {
            link[n++] = ',';
        } else if (*c == '\n') {
            link[n++] = ';';
        } else if (*c == '#') {
            // A colour's mark, which an address would escape: its digits
            // alone are read as the colour.
        } else {
            link[n++] = *c;
        }
    }
    if (n > 0 && link[n - 1] == ';')
        n--;
    link[n] = '\0';
    if (size > 0)
        snprintf(text, size, "%s", link);
    return n;
}

const char* parse_link(const char* text, View* scene, uint8_t dim)
{
    // Blanks, '=', '#' or line ends would let a link say what a view file
    // cannot and would need escaping in an address.
    size_t length = strlen(text);
    if (length == 0 || strspn(text, "0123456789abcdefghijklmnopqrstuvwxyz+-.,:;") != length)
        return "not a view link";
    if (length > longest)
        return "not a view link: too long";
    // Each character becomes at most three.
    static char file[sizeof version_prefix + 3 * longest + 1];
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
    return parse_view(file, n, scene, dim);
}
