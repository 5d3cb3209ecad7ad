// KLEIN files written for tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The bytes of a KLEIN file: header, then the arrays as given (their sizes
// need not match the header, so that broken files can be made).
std::string klein_bytes(uint8_t dim, uint64_t vertex_count, const std::vector<float>& coords,
    const std::vector<float>& normals, uint8_t sixth = 0);

// A valid KLEIN file whose coordinate k is k and normal component k is -k,
// so that a misplaced or missing part of either array shows.
std::string numbered_klein(uint8_t dim, uint64_t vertex_count);

// A path in a folder of this process's own, removed at exit: test programs
// run side by side and must not read each other's files.
std::string test_path(const std::string& name);

// The descriptors the process has open, from /proc/self/fd.
std::vector<int> open_descriptors();

// Writes bytes to the file test_path(name); returns its path.
std::string write_test_file(const std::string& name, const std::string& bytes);
