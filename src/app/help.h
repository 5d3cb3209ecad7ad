// Usage and help, made from the table of options and the table of keys:
// the usage that every usage error ends with, --help, which gives the
// options, the keys and examples, and the answers given before a run.
#pragma once

#include <cstdio>

#include "app/options.h"

void usage_help(FILE* out);

void print_help();

// Parses the command line into options and answers what needs no run: a
// usage error (one line naming it on standard error, then the usage; exit
// code 2), --help or --version (exit code 0). Returns -1 to go on and run.
int parse_help(int argc, char** argv, Options* options);
