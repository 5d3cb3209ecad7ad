// The KLEIN reader: what it reads, and every file it must refuse.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "core/klein.h"
#include "surface_files.h"

namespace {

std::vector<float> sequence(size_t count, float first)
{
    std::vector<float> values(count);
    for (size_t k = 0; k < count; k++)
        values[k] = first + static_cast<float>(k);
    return values;
}

const std::vector<float> coords = sequence(12, 1.0f);
const std::vector<float> normals = sequence(12, -20.0f);

void release(SurfaceData& data)
{
    free(data.coords);
    free(data.normals);
}

TEST(KleinReader, ReadsThreeVerticesInFourDimensions)
{
    std::string bytes = klein_bytes(4, 3, coords, normals, 0x7f);
    ASSERT_EQ(bytes.size(), 111u);
    SurfaceData data;
    ASSERT_EQ(create_surface_klein(write_test_file("three.klein", bytes).c_str(), &data), 0);
    EXPECT_EQ(data.dim, 4);
    EXPECT_EQ(data.vertex_count, 3u);
    for (size_t k = 0; k < 12; k++) {
        EXPECT_EQ(data.coords[k], coords[k]) << k;
        EXPECT_EQ(data.normals[k], normals[k]) << k;
    }
    release(data);
}

TEST(KleinReader, SixthByteAndTrailingBytesChangeNothing)
{
    std::string plain = klein_bytes(4, 3, coords, normals, 0);
    SurfaceData first, second;
    ASSERT_EQ(create_surface_klein(write_test_file("sixth-0.klein", plain).c_str(), &first), 0);
    std::string other = klein_bytes(4, 3, coords, normals, 0xff) + "trailing bytes";
    ASSERT_EQ(create_surface_klein(write_test_file("sixth-ff.klein", other).c_str(), &second), 0);
    EXPECT_EQ(first.dim, second.dim);
    EXPECT_EQ(first.vertex_count, second.vertex_count);
    EXPECT_EQ(memcmp(first.coords, second.coords, 48), 0);
    EXPECT_EQ(memcmp(first.normals, second.normals, 48), 0);
    release(first);
    release(second);
}

TEST(KleinReader, LargeArraysAreReadWhole)
{
    // Past 2 MiB the arrays come from another allocator; every value must
    // still land in place.
    const uint64_t vertices = (3u << 20) / 16 + 1;
    std::vector<float> large_coords = sequence(4 * vertices, 0.0f),
                       large_normals = sequence(4 * vertices, 7.0f);
    std::string bytes = klein_bytes(4, vertices, large_coords, large_normals);
    SurfaceData data;
    ASSERT_EQ(create_surface_klein(write_test_file("large.klein", bytes).c_str(), &data), 0);
    EXPECT_EQ(memcmp(data.coords, large_coords.data(), 16 * vertices), 0);
    EXPECT_EQ(memcmp(data.normals, large_normals.data(), 16 * vertices), 0);
    release(data);
}

TEST(KleinReader, OnlyTheLowHalfOfTheVertexCountCounts)
{
    const uint64_t stored = (uint64_t {1} << 32) + 3;
    SurfaceData data;
    std::string bytes = klein_bytes(4, stored, coords, normals);
    ASSERT_EQ(create_surface_klein(write_test_file("high-count.klein", bytes).c_str(), &data), 0);
    EXPECT_EQ(data.vertex_count, stored);
    EXPECT_EQ(data.coords[11], coords[11]);
    EXPECT_EQ(data.normals[11], normals[11]);
    release(data);
}

TEST(KleinReader, NoCoordinatesOrNoVerticesGiveEmptyArrays)
{
    for (auto [dim, count] : {std::pair<uint8_t, uint64_t> {0, 5}, {4, 0}}) {
        SurfaceData data;
        std::string bytes = klein_bytes(dim, count, {}, {});
        ASSERT_EQ(create_surface_klein(write_test_file("empty.klein", bytes).c_str(), &data), 0);
        EXPECT_EQ(data.dim, dim);
        EXPECT_EQ(data.vertex_count, count);
        EXPECT_NE(data.coords, nullptr);
        EXPECT_NE(data.normals, nullptr);
        release(data);
    }
}

TEST(KleinReader, RefusesWhatItCannotRead)
{
    std::string valid = klein_bytes(4, 3, coords, normals);
    std::string missing_byte = valid.substr(0, valid.size() - 1);
    struct Row {
        const char* what;
        std::string bytes;
        KleinStatus status;
        uint64_t expected = 0, found = 0; // for truncated files
    } rows[] = {
        {"empty file", "", KLEIN_NOT_KLEIN},
        {"four letters", "KLEI", KLEIN_NOT_KLEIN},
        {"lower case", "klein" + valid.substr(5), KLEIN_NOT_KLEIN},
        {"one lower-case letter", "KLEIn" + valid.substr(5), KLEIN_NOT_KLEIN},
        {"first byte", "XLEIN" + valid.substr(5), KLEIN_NOT_KLEIN},
        {"second byte", "KXEIN" + valid.substr(5), KLEIN_NOT_KLEIN},
        {"third byte", "KLXIN" + valid.substr(5), KLEIN_NOT_KLEIN},
        {"fourth byte", "KLEXN" + valid.substr(5), KLEIN_NOT_KLEIN},
        {"magic alone", "KLEIN", KLEIN_TRUNCATED, 15, 5},
        {"header cut short", valid.substr(0, 14), KLEIN_TRUNCATED, 15, 14},
        {"normals one byte short", missing_byte, KLEIN_TRUNCATED, 111, 110},
        {"header alone", valid.substr(0, 15), KLEIN_TRUNCATED, 111, 15},
        {"2^32 or more coordinates", klein_bytes(255, 0xffffffffu, {1.0f}, {}), KLEIN_TOO_LARGE},
        {"exactly 2^32 coordinates", klein_bytes(4, 1u << 30, {}, {}), KLEIN_TOO_LARGE},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SurfaceData data = {nullptr, nullptr, 77, 9};
        KleinReport report;
        EXPECT_EQ(
            create_surface_klein(write_test_file("refused.klein", row.bytes).c_str(), &data, &report), 1);
        EXPECT_EQ(report.status, row.status);
        if (row.status == KLEIN_TRUNCATED) {
            EXPECT_EQ(report.expected, row.expected);
            EXPECT_EQ(report.found, row.found);
        }
        EXPECT_EQ(data.coords, nullptr);
        EXPECT_EQ(data.vertex_count, 77u) << "a refused file leaves the record alone";
        EXPECT_EQ(data.dim, 9);
    }
}

// Every prefix of a valid file, down to nothing, is refused for what it
// lacks; only the whole file is read. A reader that trusted the header, or
// took a short read for the end of the arrays, would accept one of them.
TEST(KleinReader, EveryPrefixOfAFileIsRefused)
{
    const uint8_t dim = 5;
    const uint64_t vertices = 7;
    std::string whole
        = klein_bytes(dim, vertices, sequence(dim * vertices, 0.5f), sequence(dim * vertices, -3.0f));
    ASSERT_EQ(whole.size(), 15 + 8u * dim * vertices);
    for (size_t length = 0; length < whole.size(); length++) {
        SCOPED_TRACE(std::to_string(length) + " bytes");
        SurfaceData data = {nullptr, nullptr, 77, 9};
        KleinReport report;
        std::string path = write_test_file("prefix.klein", whole.substr(0, length));
        ASSERT_EQ(create_surface_klein(path.c_str(), &data, &report), 1);
        EXPECT_EQ(data.vertex_count, 77u);
        if (length < 5) {
            EXPECT_EQ(report.status, KLEIN_NOT_KLEIN);
            continue;
        }
        EXPECT_EQ(report.status, KLEIN_TRUNCATED);
        EXPECT_EQ(report.expected, length < 15 ? 15 : whole.size());
        EXPECT_EQ(report.found, length);
    }
    SurfaceData data;
    ASSERT_EQ(create_surface_klein(write_test_file("prefix.klein", whole).c_str(), &data), 0);
    EXPECT_EQ(data.coords[dim * vertices - 1], 0.5f + dim * vertices - 1);
    EXPECT_EQ(data.normals[dim * vertices - 1], -3.0f + dim * vertices - 1);
    release(data);
}

TEST(KleinReader, RefusesWhatIsNotAFile)
{
    SurfaceData data;
    KleinReport report;
    EXPECT_EQ(create_surface_klein("/nonexistent/surface.klein", &data, &report), 1);
    EXPECT_EQ(report.status, KLEIN_CANNOT_OPEN);
    EXPECT_EQ(report.error, ENOENT);
    EXPECT_EQ(create_surface_klein(testing::TempDir().c_str(), &data, &report), 1);
    EXPECT_EQ(report.status, KLEIN_NOT_FILE);

    // A named pipe with no writer: refused at once instead of waiting.
    std::string pipe = test_path("pipe.klein");
    unlink(pipe.c_str());
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(create_surface_klein(pipe.c_str(), &data, &report), 1);
    EXPECT_EQ(report.status, KLEIN_NOT_FILE);
    unlink(pipe.c_str());
}

TEST(KleinReader, HugeClaimInATinyFileAllocatesNothing)
{
    // 255 coordinates of 2^24 vertices would take 32 GiB. With the address
    // space capped, a reader that allocated before checking the size would
    // fail for memory instead of refusing the file as truncated.
#ifdef PLEXORAMA_SANITIZED
    GTEST_SKIP() << "the address sanitizer needs more address space than the cap leaves";
#endif
    std::string path = write_test_file("huge-claim.klein", klein_bytes(255, 1u << 24, {1.0f}, {}));
    rlimit saved;
    getrlimit(RLIMIT_AS, &saved);
    rlimit capped = saved;
    capped.rlim_cur = 8ull << 30;
    ASSERT_EQ(setrlimit(RLIMIT_AS, &capped), 0);
    SurfaceData data;
    KleinReport report;
    int refused = create_surface_klein(path.c_str(), &data, &report);
    setrlimit(RLIMIT_AS, &saved);
    EXPECT_EQ(refused, 1);
    EXPECT_EQ(report.status, KLEIN_TRUNCATED);
    EXPECT_EQ(report.expected, 15 + 8ull * 255 * (1u << 24));
    EXPECT_EQ(report.found, 19u);
}

// Between the header check and the read the file can change under the
// reader: a shrunk file is refused with its new size, one removed from its
// directory is still read whole through the open descriptor.
TEST(KleinReader, FileChangedAfterItsHeaderWasChecked)
{
    const std::string whole = klein_bytes(4, 3, coords, normals);
    struct Row {
        const char* what;
        int64_t shrunk; // -1: removed instead
        int refused;
    } rows[] = {
        {"emptied", 0, 1},
        {"header left", 15, 1},
        {"cut in the coordinates", 40, 1},
        {"cut in the normals", 100, 1},
        {"one byte short", 110, 1},
        {"removed", -1, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::string path = write_test_file("changing.klein", whole);
        KleinFile file;
        KleinReport report;
        ASSERT_EQ(open_surface_klein(path.c_str(), &file, &report), 0);
        EXPECT_EQ(file.dim, 4);
        EXPECT_EQ(file.count, 12u);
        if (row.shrunk < 0)
            ASSERT_EQ(unlink(path.c_str()), 0);
        else
            ASSERT_EQ(truncate(path.c_str(), row.shrunk), 0);
        std::vector<float> read_coords(12), read_normals(12);
        EXPECT_EQ(read_surface_klein(&file, read_coords.data(), read_normals.data(), &report), row.refused);
        close_surface_klein(&file);
        if (row.refused) {
            EXPECT_EQ(report.status, KLEIN_TRUNCATED);
            EXPECT_EQ(report.expected, 111u);
            EXPECT_EQ(report.found, static_cast<uint64_t>(row.shrunk));
        } else {
            EXPECT_EQ(read_coords, coords);
            EXPECT_EQ(read_normals, normals);
        }
    }
}

// Without normals, the coordinates alone are read, in two halves side by
// side when large: an odd count of floats splits unevenly, and nothing past
// the array is written.
TEST(KleinReader, CoordinatesAloneAreReadWhole)
{
    for (uint64_t vertices : {3u, 52429u}) {
        SCOPED_TRACE(std::to_string(vertices) + " vertices of 5 coordinates");
        std::vector<float> wanted(5 * vertices), other(5 * vertices, -1.0f);
        for (size_t k = 0; k < wanted.size(); k++)
            wanted[k] = static_cast<float>(k);
        std::string path = write_test_file("alone.klein", klein_bytes(5, vertices, wanted, other));
        KleinFile file;
        KleinReport report;
        ASSERT_EQ(open_surface_klein(path.c_str(), &file, &report), 0);
        std::vector<float> read(wanted.size() + 1, 7.0f);
        EXPECT_EQ(read_surface_klein(&file, read.data(), nullptr, &report), 0);
        close_surface_klein(&file);
        EXPECT_EQ(read.back(), 7.0f) << "written past the coordinates";
        read.pop_back();
        EXPECT_EQ(read, wanted);
    }
}

TEST(KleinReader, OpeningRefusesAsReadingDoesAndLeavesNothingOpen)
{
    // Descriptors are handed out lowest first: a leaked one moves the next.
    int next = dup(0);
    close(next);
    std::string path = write_test_file("open-refused.klein", "KLEIN");
    KleinFile file;
    KleinReport report;
    EXPECT_EQ(open_surface_klein(path.c_str(), &file, &report), 1);
    EXPECT_EQ(report.status, KLEIN_TRUNCATED);
    EXPECT_EQ(open_surface_klein(testing::TempDir().c_str(), &file, &report), 1);
    EXPECT_EQ(report.status, KLEIN_NOT_FILE);
    int after = dup(0);
    close(after);
    EXPECT_EQ(after, next);
}

} // namespace
