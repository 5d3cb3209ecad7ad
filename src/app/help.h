// Usage and help: the table of options with what --help says of each, the
// usage that every usage error ends with, and --help, which gives the
// options, the keys and examples, from the tables of options and of keys.
#pragma once

#include <cstdio>

void usage_help(FILE* out);

// One line on standard error naming the problem, then the usage. Returns
// the exit code of a usage error, 2.
[[gnu::format(printf, 1, 2)]] int usage_error_help(const char* format, ...);

void print_help();
