// Recordings: every drawn frame, as a numbered sequence of PNG files or as
// a clip that ffmpeg encodes at 60 frames a second from raw frames piped to it.
#pragma once

#include <sys/types.h>

#include <cstdint>

#include "core/output.h"

enum RecordKind {
    RECORD_NONE, // a name that says neither
    RECORD_PNG,  // a printf pattern with one %d, numbered from 1
    RECORD_MP4,  // H.264 in MP4; needs an even size
    RECORD_WEBM, // VP9 in WebM
    RECORD_GIF,
};

struct Record {
    const char* out; // the name as given
    RecordKind kind;
    int size;     // frame width and height
    long frames;  // frames written so far
    Output clip;  // for ffmpeg to fill: the clip's temporary file, or a FIFO or device
    pid_t ffmpeg; // the encoder, 0 when none runs
    int pipe;     // its standard input, -1 when closed
    int log;      // a file holding its error messages, -1 when none
};

// What a recording to out makes, from its name.
RecordKind kind_record(const char* out);

// Starts a recording of size x size frames. Returns none, or why not.
const char* open_record(const char* out, int size, Record* record);

// Adds a frame, 3 bytes a pixel, top row first. Returns none, or why not;
// then, as after discard_record, nothing of the recording is left.
const char* write_record(Record* record, const uint8_t* rgb);

// Ends the recording and puts it in place. Returns none, or why it failed;
// then, as after discard_record, nothing of it is left.
const char* close_record(Record* record);

// Stops and removes everything recorded.
void discard_record(Record* record);

// Searches PATH for an executable program; returns 1 with its path in found.
int __find_program_record(const char* program, char* found, size_t size);
