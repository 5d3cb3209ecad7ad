// The log: the fixed progress messages on standard output, which a quiet
// run leaves out.
#pragma once

#include <cstdarg>

// Writes a progress message to standard output as it stands, unless quiet.
void mlog(const char* message);

// From now on, mlog prints nothing (or again, with false).
void quiet_log(bool quiet);

// One line on standard error, "plexorama: " and what printf makes of
// format: with the control characters of a file's name or an argument
// written as escapes (\n, \x1b), so that the line stays one line and
// prints as it reads.
[[gnu::format(printf, 1, 2)]] void complain_log(const char* format, ...);
void vcomplain_log(const char* format, va_list arguments);
