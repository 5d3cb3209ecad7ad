// The log: progress messages on standard output.
#include "log.h"

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
