// Recordings: what a name asks for, the names of numbered frames, finding
// the encoder, and what a failed or finished PNG sequence leaves.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/record.h"

namespace {

TEST(Record, KindFromTheName)
{
    const struct {
        const char* out;
        RecordKind kind;
    } rows[] = {
        {"turn-%03d.png", RECORD_PNG},
        {"%d", RECORD_PNG},
        {"frames/%d.png", RECORD_PNG},
        {"100%%/%2d.png", RECORD_PNG},
        {"a%d.mp4", RECORD_PNG}, // a pattern wins over the suffix
        {"turn.mp4", RECORD_MP4},
        {"turn.webm", RECORD_WEBM},
        {"turn.gif", RECORD_GIF},
        {"dir.gif/turn.gif", RECORD_GIF},
        {".mp4", RECORD_NONE},
        {"turn.MP4", RECORD_NONE},
        {"turn.png", RECORD_NONE},
        {"turn.mp4.part", RECORD_NONE},
        {"%d-%d.png", RECORD_NONE},
        {"%s.png", RECORD_NONE},
        {"%n.png", RECORD_NONE},
        {"%x.png", RECORD_NONE},
        {"%-3d.png", RECORD_NONE},
        {"%123d.png", RECORD_NONE},
        {"%.3d.png", RECORD_NONE},
        {"%ld.png", RECORD_NONE},
        {"%%d.png", RECORD_NONE},
        {"turn%", RECORD_NONE},
        {"", RECORD_NONE},
    };
    for (const auto& row : rows)
        EXPECT_EQ(kind_record(row.out), row.kind) << row.out;
}

TEST(Record, FrameNames)
{
    const struct {
        const char* out;
        long k;
        size_t size;
        int fits;
        const char* name;
    } rows[] = {
        {"turn-%03d.png", 1, 64, 1, "turn-001.png"},
        {"turn-%03d.png", 1234, 64, 1, "turn-1234.png"},
        {"100%%-%d.png", 7, 64, 1, "100%-7.png"},
        {"%d", 159, 4, 1, "159"},
        {"%d", 1590, 4, 0, nullptr},
        {"%d", static_cast<long>(INT_MAX) + 1, 64, 0, nullptr},
        {"%5d|%0d|%00d", 42, 64, 0, nullptr},
        {"%5d.png", 42, 64, 1, "   42.png"},
        {"%s.png", 42, 64, 0, nullptr},
    };
    for (const auto& row : rows) {
        char name[64];
        EXPECT_EQ(name_frame_output(row.out, row.k, name, row.size), row.fits) << row.out << " " << row.k;
        if (row.fits) {
            EXPECT_STREQ(name, row.name);
        }
    }
}

// A folder of its own under the test's temporary folder.
std::string folder(const char* name)
{
    std::string path = testing::TempDir() + "plexorama-" + name + "-XXXXXX";
    EXPECT_NE(mkdtemp(path.data()), nullptr);
    return path;
}

TEST(Record, FindsProgramsOnThePath)
{
    std::string bin = folder("bin");
    std::string program = bin + "/encoder";
    FILE* file = fopen(program.c_str(), "w");
    ASSERT_NE(file, nullptr);
    fclose(file);
    std::string plain = bin + "/plain";
    fclose(fopen(plain.c_str(), "w"));
    chmod(program.c_str(), 0755);
    chmod(plain.c_str(), 0644);

    const char* saved = getenv("PATH");
    std::string old_path = saved ? saved : "";
    const struct {
        std::string path;
        const char* program;
        int found;
    } rows[] = {
        {"/nonexistent:" + bin, "encoder", 1},
        {bin + ":/nonexistent", "encoder", 1},
        {"/nonexistent", "encoder", 0},
        {"", "encoder", 0},
        {bin + "/", "encoder", 1},
    };
    for (const auto& row : rows) {
        setenv("PATH", row.path.c_str(), 1);
        char found[PATH_MAX] = "";
        EXPECT_EQ(__find_program_record(row.program, found, sizeof found), row.found) << row.path;
        if (row.found) {
            EXPECT_EQ(access(found, X_OK), 0) << found;
        }
    }
    // Root may run anything, so only the mode bits tell this one apart.
    if (geteuid() != 0) {
        setenv("PATH", bin.c_str(), 1);
        char found[PATH_MAX];
        EXPECT_EQ(__find_program_record("plain", found, sizeof found), 0);
    }
    setenv("PATH", old_path.c_str(), 1);
    unlink(program.c_str());
    unlink(plain.c_str());
    rmdir(bin.c_str());
}

TEST(Record, PngSequenceIsNumberedFromOneAndDiscardedWhole)
{
    std::string dir = folder("frames");
    std::string out = dir + "/f%02d.png";
    std::vector<uint8_t> rgb(3 * 16 * 16, 0x80);
    Record record;
    ASSERT_EQ(open_record(out.c_str(), 16, &record), nullptr);
    for (int k = 0; k < 3; k++)
        ASSERT_EQ(write_record(&record, rgb.data()), nullptr);
    for (const char* name : {"/f01.png", "/f02.png", "/f03.png"})
        EXPECT_EQ(access((dir + name).c_str(), R_OK), 0) << name;
    discard_record(&record);
    for (const char* name : {"/f01.png", "/f02.png", "/f03.png"})
        EXPECT_NE(access((dir + name).c_str(), F_OK), 0) << name << " is left";
    rmdir(dir.c_str());
}

} // namespace
