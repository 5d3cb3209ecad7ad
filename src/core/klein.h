// KLEIN surface files: a triangle list of n vertices in m dimensions, each
// vertex with m coordinates and m normal components.
//
// Layout, little-endian, no padding: "KLEIN", one ignored byte, m (8 bits),
// n (64 bits, only the low 32 count), m * n float coordinates vertex by
// vertex, then m * n float normal components in the same order.
#pragma once

#include <cstddef>
#include <cstdint>

struct SurfaceData {
    float* coords;         // m * n coordinates, vertex-major
    float* normals;        // m * n normal components, same order
    uint64_t vertex_count; // n as stored; only its low 32 bits count
    uint8_t dim;           // m, coordinates per vertex
};

enum KleinStatus {
    KLEIN_READ,
    KLEIN_CANNOT_OPEN, // open failed; the report's error says why
    KLEIN_NOT_FILE,    // a directory, device or pipe: no size to check against
    KLEIN_NOT_KLEIN,   // the first five bytes are not "KLEIN"
    KLEIN_TRUNCATED,   // shorter than the header or than its arrays
    KLEIN_TOO_LARGE,   // m * n reaches 2^32
    KLEIN_NO_MEMORY,
};

// Why a file was refused.
struct KleinReport {
    KleinStatus status;
    int error;         // errno, for KLEIN_CANNOT_OPEN
    uint64_t expected; // bytes the header calls for, for KLEIN_TRUNCATED
    uint64_t found;    // bytes the file holds, for KLEIN_TRUNCATED
};

// A file whose header has been checked against its size: its arrays can be
// read into memory the caller provides, such as GPU buffers.
struct KleinFile {
    int descriptor;
    uint8_t dim;           // m
    uint64_t vertex_count; // n as stored
    uint64_t count;        // floats in each array: m times the low 32 bits of n
};

// Opens the file and checks its header. Returns 0 when its arrays can be
// read, 1 when refused, with nothing left open and report saying why.
int open_surface_klein(const char* path, KleinFile* file, KleinReport* report);

// Reads count floats of coordinates into coords and as many normal
// components into normals, unless normals is none: a run whose light never
// takes them spares their memory and their reading. Returns 0, or 1 when the file has shrunk since
// it was opened (KLEIN_TRUNCATED, found being its size now); the memory
// then holds a part of the arrays.
int read_surface_klein(const KleinFile* file, float* coords, float* normals, KleinReport* report);

void close_surface_klein(KleinFile* file);

// Says in a few words why the reader refused a file, as "not a KLEIN file".
void describe_klein(const KleinReport* report, char* text, size_t size);

// Reads the file into data, whose arrays then come from malloc and are the
// caller's to free. Returns 0 when read and 1 when refused; data is written
// only when read. report, when given, says why a file was refused.
int create_surface_klein(const char* path, SurfaceData* data, KleinReport* report = nullptr);
