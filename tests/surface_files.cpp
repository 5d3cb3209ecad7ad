// KLEIN files written for tests.
#include "surface_files.h"

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

std::string klein_bytes(uint8_t dim, uint64_t vertex_count, const std::vector<float>& coords,
    const std::vector<float>& normals, uint8_t sixth)
{
    std::string bytes = "KLEIN";
    bytes += static_cast<char>(sixth);
    bytes += static_cast<char>(dim);
    for (int k = 0; k < 8; k++)
        bytes += static_cast<char>(vertex_count >> (8 * k) & 0xff);
    for (const std::vector<float>* array : {&coords, &normals}) {
        if (array->empty())
            continue;
        std::string raw(4 * array->size(), '\0');
        memcpy(raw.data(), array->data(), raw.size());
        bytes += raw;
    }
    return bytes;
}

std::string numbered_klein(uint8_t dim, uint64_t vertex_count)
{
    std::vector<float> coords(dim * vertex_count), normals(dim * vertex_count);
    for (size_t k = 0; k < coords.size(); k++) {
        coords[k] = static_cast<float>(k);
        normals[k] = -static_cast<float>(k);
    }
    return klein_bytes(dim, vertex_count, coords, normals);
}

std::string test_path(const std::string& name)
{
    static std::string folder;
    if (folder.empty()) {
        std::string pattern = testing::TempDir() + "plexorama-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            perror(pattern.c_str());
            abort();
        }
        folder = pattern + "/";
        // A run that is killed or aborts leaves the folder behind.
        atexit([] { std::filesystem::remove_all(folder); });
    }
    return folder + name;
}

std::string write_test_file(const std::string& name, const std::string& bytes)
{
    std::string path = test_path(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::vector<int> open_descriptors()
{
    std::vector<int> found;
    DIR* fd = opendir("/proc/self/fd");
    if (!fd)
        return found;
    while (dirent* entry = readdir(fd)) {
        if (entry->d_name[0] != '.')
            found.push_back(std::stoi(entry->d_name));
    }
    int own = dirfd(fd);
    closedir(fd);
    found.erase(std::remove(found.begin(), found.end(), own), found.end());
    std::sort(found.begin(), found.end());
    return found;
}
