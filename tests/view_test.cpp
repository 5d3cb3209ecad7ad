// View files: what is written reads back to the same floats bit for bit,
// and every malformed text is refused with a reason.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "surface_files.h"
#include "view.h"

namespace {

const View sample = {
    {0.1f, -0.2f, 0.3f, 0.927361849f},
    {{1.0f, 0.0f, -0.0f}, {FLT_MIN, FLT_TRUE_MIN, -FLT_MAX}, {1.0f / 3.0f, 2e-38f, 123456789.0f}},
    {0, 1, 2, 11},
};

bool same_bits(const View& a, const View& b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}

std::string text_of(const View& view)
{
    char text[512];
    size_t length = format_view(&view, text, sizeof text);
    return std::string(text, length);
}

const char* parse(const std::string& text, View* view)
{
    return parse_view(text.data(), text.size(), view);
}

TEST(View, FormatsOneKeyALineWithCoordinatesFromOne)
{
    View view = {{0, 0, 0, 1}, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {4, 5, 6, 0}};
    EXPECT_EQ(text_of(view),
        "plexorama-view 1\n"
        "q = 0 0 0 1\n"
        "axis1 = 1 0 0\n"
        "axis2 = 0 1 0\n"
        "axis3 = 0 0 1\n"
        "show = 5 6 7 1\n");
}

TEST(View, RoundTripsEveryFloatBitForBit)
{
    // Each row sets all thirteen floats to one value, so a float that would
    // lose a bit in any field shows.
    const float values[] = {0.1f, -0.0f, FLT_MIN, FLT_TRUE_MIN, FLT_MAX, -FLT_MAX, 1.0f - FLT_EPSILON / 2,
        0.70710677f, 0.70710683f, 3.4e-39f, 16777217.0f};
    for (float value : values) {
        View view = sample;
        for (float& f : view.q)
            f = value;
        view.q[3] = 1.0f; // q must not be zero
        for (auto& a : view.axis)
            for (float& f : a)
                f = value;
        View read = {};
        ASSERT_EQ(parse(text_of(view), &read), nullptr) << value;
        EXPECT_TRUE(same_bits(view, read)) << text_of(view) << " read back as " << text_of(read);
    }
    View read = {};
    ASSERT_EQ(parse(text_of(sample), &read), nullptr);
    EXPECT_TRUE(same_bits(sample, read));
}

TEST(View, AcceptsOtherOrdersBlanksAndAMissingLastNewline)
{
    const char* texts[] = {
        "plexorama-view 1\nshow = 1 2 3 4\naxis3 = 0 0 1\naxis2 = 0 1 0\naxis1 = 1 0 0\nq = 0 0 0 1\n",
        "plexorama-view 1\nq  =  0 0\t0 1 \naxis1 = 1 0 0\naxis2 = 0 1 0\naxis3 = 0 0 1\nshow = 1 2 3 4",
        "plexorama-view 1\nq = 0 0 0 1e0\naxis1 = 1 0 0\naxis2 = 0 1 0\naxis3 = 0 0 1\nshow = 001 2 3 4\n",
    };
    for (const char* text : texts) {
        View view = {};
        EXPECT_EQ(parse(text, &view), nullptr) << text;
        EXPECT_EQ(view.q[3], 1.0f) << text;
        EXPECT_EQ(view.axis[2][2], 1.0f) << text;
        EXPECT_EQ(view.show[3], 3) << text;
    }
}

TEST(View, RefusesMalformedTexts)
{
    const std::string head = "plexorama-view 1\n";
    const std::string rest = "axis1 = 1 0 0\naxis2 = 0 1 0\naxis3 = 0 0 1\nshow = 1 2 3 4\n";
    const std::string q = "q = 0 0 0 1\n";
    const struct {
        std::string text;
        const char* fault;
    } rows[] = {
        {"", "not a view file"},
        {"plexorama-view 2\n" + q + rest, "not a view file"},
        {"plexorama-view 1 \n" + q + rest, "not a view file"},
        {"KLEIN\n" + q + rest, "not a view file"},
        {head, "a key is missing"},
        {head + rest, "a key is missing"},
        {head + q + q + rest, "a key appears twice"},
        {head + q + rest + "\n", "a line is not 'key = values'"},
        {head + "q=0 0 0 1\n" + rest, "a line is not 'key = values'"},
        {head + "q 0 0 0 1\n" + rest, "a line is not 'key = values'"},
        {head + "w = 0 0 0 1\n" + rest, "unknown key"},
        {head + "Q = 0 0 0 1\n" + rest, "unknown key"},
        {head + "q = 0 0 1\n" + rest, "wrong number of values"},
        {head + "q = 0 0 0 1 0\n" + rest, "wrong number of values"},
        {head + "q = 0 0 0 1 0 0 0 0 0\n" + rest, "wrong number of values"},
        {head + "q = 0 0 0 nan\n" + rest, "a value is not a finite number"},
        {head + "q = 0 0 0 inf\n" + rest, "a value is not a finite number"},
        {head + "q = 0 0 0 1e39\n" + rest, "a value is not a finite number"},
        {head + "q = 0 0 0 1x\n" + rest, "a value is not a finite number"},
        {head + "q = 0 0 0 ,\n" + rest, "a value is not a finite number"},
        {head + "q = 0 0 0 0\n" + rest, "q is zero"},
        {head + q + "axis1 = 1 0 0\naxis2 = 0 1 0\naxis3 = 0 0 1\nshow = 1 2 3 3\n",
            "a coordinate is shown twice"},
        {head + q + "axis1 = 1 0 0\naxis2 = 0 1 0\naxis3 = 0 0 1\nshow = 0 2 3 4\n",
            "a coordinate is not a number from 1 to 255"},
        {head + q + "axis1 = 1 0 0\naxis2 = 0 1 0\naxis3 = 0 0 1\nshow = 1 2 3 256\n",
            "a coordinate is not a number from 1 to 255"},
        {head + q + "axis1 = 1 0 0\naxis2 = 0 1 0\naxis3 = 0 0 1\nshow = 1 2 3 +4\n",
            "a coordinate is not a number from 1 to 255"},
        {head + q + "axis1 = 1 0 0\naxis2 = 0 1 0\naxis3 = 0 0 1\nshow = 1 2 3 4.0\n",
            "a coordinate is not a number from 1 to 255"},
        {head + "q = 0 0 0 1" + std::string(300, ' ') + "\n" + rest, "a line is too long"},
        {head + std::string("q = 0 0\0 0 1\n", 14) + rest, "a line holds a NUL byte"},
    };
    for (const auto& row : rows) {
        View view = sample;
        const char* fault = parse(row.text, &view);
        EXPECT_STREQ(fault, row.fault) << row.text;
        EXPECT_TRUE(same_bits(view, sample)) << row.text << ": a refused text changed the view";
    }
}

TEST(View, ReadsBackWhatItWrites)
{
    std::string path = write_test_file("saved.view", "old");
    ASSERT_EQ(write_view(path.c_str(), &sample), 1);
    View read = {};
    EXPECT_EQ(read_view(path.c_str(), &read), nullptr);
    EXPECT_TRUE(same_bits(sample, read));

    struct stat status;
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(status.st_mode & 0777, 0666 & ~mask) << "a view file is as readable as any new file";
}

TEST(View, ReportsFilesThatCannotBeRead)
{
    std::string missing = write_test_file("present.view", "") + ".missing";
    std::string large = write_test_file("large.view", "plexorama-view 1\n" + std::string(5000, ' '));
    const struct {
        std::string path;
        const char* reason;
    } rows[] = {
        {missing, "cannot open: No such file or directory"},
        {large, "not a valid view file: larger than 4 KiB"},
        {write_test_file("empty.view", ""), "not a valid view file: not a view file"},
        {write_test_file("short.view", "plexorama-view 1\nq = 0 0 0 1\n"),
            "not a valid view file: a key is missing"},
    };
    for (const auto& row : rows) {
        View view = sample;
        EXPECT_STREQ(read_view(row.path.c_str(), &view), row.reason) << row.path;
        EXPECT_TRUE(same_bits(view, sample)) << row.path;
    }
}

// Names in a folder, without . and ..
std::vector<std::string> listing(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    for (dirent* entry = dir ? readdir(dir) : nullptr; entry; entry = readdir(dir))
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
            names.push_back(entry->d_name);
    if (dir)
        closedir(dir);
    return names;
}

TEST(View, AFailedWriteLeavesNothingBehind)
{
    std::string folder = testing::TempDir() + "plexorama-view-XXXXXX";
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    std::string missing = folder + "/no-folder/v.view";
    EXPECT_EQ(write_view(missing.c_str(), &sample), 0);
    EXPECT_EQ(errno, ENOENT);

    // A folder in the target's place: the rename fails after the data is
    // written, and the temporary file must go with it.
    std::string taken = folder + "/taken";
    ASSERT_EQ(mkdir(taken.c_str(), 0777), 0);
    EXPECT_EQ(write_view(taken.c_str(), &sample), 0);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(listing(folder), std::vector<std::string> {"taken"});
    EXPECT_EQ(listing(taken), std::vector<std::string> {});
    rmdir(taken.c_str());
    rmdir(folder.c_str());
}

} // namespace
