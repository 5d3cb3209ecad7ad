// make-samples OUTDIR [--resolution N]: writes the sample surfaces into OUTDIR.
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "samples.h"

static int usage()
{
    std::fputs(
        "usage: make-samples OUTDIR [--resolution N]  (N: grid steps, 2 to 4096, default 64)\n", stderr);
    return 2;
}

int main(int argc, char** argv)
{
    const char* dir = nullptr;
    int n = 64;
    for (int k = 1; k < argc; k++) {
        const std::string_view arg = argv[k];
        if (arg == "--resolution" && k + 1 < argc) {
            const std::string_view value = argv[++k];
            const char* end = value.data() + value.size();
            const auto parsed = std::from_chars(value.data(), end, n);
            if (parsed.ec != std::errc() || parsed.ptr != end || n < 2 || n > 4096)
                return usage();
        } else if (!dir && !arg.empty() && arg[0] != '-') {
            dir = argv[k];
        } else {
            return usage();
        }
    }
    if (!dir)
        return usage();

    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        std::fprintf(stderr, "make-samples: %s: %s\n", dir, error.message().c_str());
        return 1;
    }
    for (const Surface& s : sample_surfaces()) {
        const std::string failure = write_klein(s, n, dir);
        if (!failure.empty()) {
            std::fprintf(stderr, "make-samples: %s\n", failure.c_str());
            return 1;
        }
    }
    return 0;
}
