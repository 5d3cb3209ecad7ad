// The log: progress messages on standard output.
#include "core/log.h"

#include <cstdarg>
#include <cstdio>

static bool quiet = false;

void mlog(const char* message)
{
    if (quiet)
        return;
    // Flushed at once so that a pipe or a log shows how far start-up got.
    fputs(message, stdout);
    fflush(stdout);
}

void quiet_log(bool on)
{
    quiet = on;
}

void complain_log(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    vcomplain_log(format, arguments);
    va_end(arguments);
}

void vcomplain_log(const char* format, va_list arguments)
{
    char text[4096];
    vsnprintf(text, sizeof text, format, arguments);
    fputs("plexorama: ", stderr);
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; c++) {
        if (*c == '\n')
            fputs("\\n", stderr);
        else if (*c == '\t')
            fputs("\\t", stderr);
        else if (*c < 0x20 || *c == 0x7f)
            fprintf(stderr, "\\x%02x", *c);
        else
            fputc(*c, stderr);
    }
    fputc('\n', stderr);
}
