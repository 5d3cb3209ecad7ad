// Files written whole or not at all: the data goes to a temporary name in
// the target's folder, which is renamed to the target only once complete.
#pragma once

#include <climits>
#include <cstdio>

struct Output {
    const char* path;    // the target
    char temp[PATH_MAX]; // the temporary name beside it
    FILE* file;          // open on temp for writing; none once closed
};

// Creates an empty temporary file beside path. Its name ends with path's
// last suffix_length characters, for programs that go by the name. Returns
// 1, or 0 with errno set.
int open_output(const char* path, int suffix_length, Output* output);

// Closes the file if open and renames it to the target, with the
// permissions a new file gets. Returns 1, or 0 with errno set and the
// temporary file removed.
int commit_output(Output* output);

// Closes and removes the temporary file.
void discard_output(Output* output);
