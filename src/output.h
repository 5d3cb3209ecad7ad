// Files written whole or not at all: the data goes to a temporary name
// beside the file the target names (symbolic links followed), which is
// renamed to it only once complete. A FIFO, a device or another special file
// cannot be replaced so and is written directly, as cp does.
#pragma once

#include <climits>
#include <cstdio>

struct Output {
    const char* path;      // the target as given
    char target[PATH_MAX]; // the file it names, links followed
    char temp[PATH_MAX];   // the temporary name beside target; empty when target is written directly
    FILE* file;            // open for writing; none once closed
};

// Opens path for writing: a temporary file beside its target whose name ends
// with path's last suffix_length characters, for programs that go by the
// name, or the target itself when special. A directory, a loop of links or a
// link another user planted in a shared folder such as /tmp is refused.
// Returns 1, or 0 with errno set.
int open_output(const char* path, int suffix_length, Output* output);

// Closes the file if open and renames the temporary file to the target, with
// the permissions a new file gets. Returns 1, or 0 with errno set and the
// temporary file removed.
int commit_output(Output* output);

// Closes and removes the temporary file.
void discard_output(Output* output);
