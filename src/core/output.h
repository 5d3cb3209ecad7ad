// Files written whole or not at all: the data goes to a temporary name
// beside the file the target names (symbolic links followed), which is
// renamed to it only once complete. A FIFO, a device or another special file
// cannot be replaced so and is written directly, as cp does.
//
// While a temporary file, a run's finished files or frames, or an encoder
// writing them exist, SIGINT, SIGTERM and SIGHUP end the encoder, remove
// those files and end the program with the signal; a signal ignored when
// they come to exist (nohup) stays ignored.
#pragma once

#include <signal.h>
#include <sys/types.h>

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

// A run's files: from arm_output on, every file committed is the run's, for
// a signal to remove, until disarm_output, which removes them if it failed.
void arm_output();
void disarm_output(int failed);

// The process writing an output (ffmpeg), killed and reaped before a signal
// removes files; 0 for none.
void watch_child_output(pid_t child);

// Frames named by pattern (see name_frame_output), counted from 1 as each is
// committed under its name, until end_frames_output, which removes them
// first when asked; a frame written to a special file stays. Returns 1, or 0
// with errno set when the pattern is too long.
int watch_frames_output(const char* pattern);
void end_frames_output(int remove);

// Blocks SIGINT, SIGTERM and SIGHUP in this thread, saving the mask to put
// back, so that a child can be started and watched before they come.
void block_signals_output(sigset_t* saved);

// The name of frame k of a pattern with one %d (a zero flag and a width
// allowed) and %% for %. Returns 0 when it does not fit, k is past INT_MAX or
// the pattern holds another conversion. Safe in a signal handler.
int name_frame_output(const char* pattern, long k, char* name, size_t size);
