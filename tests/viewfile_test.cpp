// View files: what is written reads back to the same floats bit for bit,
// and every malformed text is refused with a reason.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/frame.h"
#include "core/motion.h"
#include "app/scene.h"
#include "scenes.h"
#include "surface_files.h"
#include "core/viewfile.h"

namespace {

const View& sample = sample_scene;

const char* parse(const std::string& text, View* scene)
{
    return parse_view(text.data(), text.size(), scene);
}

TEST(View, FormatsOneKeyALineWithCoordinatesFromOne)
{
    View view = initial_view;
    const uint8_t show[4] = {4, 5, 6, 0};
    memcpy(view.show, show, sizeof show);
    EXPECT_EQ(text_of(view),
        "plexorama-view 3\n"
        "q = 0 0 0 1\n"
        "axis1 = 1 0 0\n"
        "axis2 = 0 1 0\n"
        "axis3 = 0 0 1\n"
        "show = 5 6 7 1\n"
        "turn4 = 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1\n"
        "zoom = 1\n"
        "pan = 0 0\n"
        "light = file\n"
        "color = fixed\n"
        "slice = off\n"
        "eye4 = off\n"
        "gizmo = off\n"
        "wire = on\n"
        "spin = off\n"
        "tour = off\n"
        "scale = 0\n"
        "aa = 1\n"
        "opacity = 1\n"
        "stereo = off\n"
        "eyes = 0.25\n"
        "line-width = 2\n"
        "point-size = 4\n"
        "tubes = 0\n"
        "colors = none\n"
        "curve = off\n"
        "broken = off\n");
}

TEST(View, RoundTripsEveryFloatBitForBit)
{
    // Each row sets pan and the slice's place to one value, so a float that
    // would lose a bit shows; the matrices must stay orthonormal, and q of
    // length 1, and keep the sample's.
    const float values[] = {0.1f, -0.0f, FLT_MIN, FLT_TRUE_MIN, FLT_MAX, -FLT_MAX, 1.0f - FLT_EPSILON / 2,
        0.70710677f, 0.70710683f, 3.4e-39f, 16777217.0f};
    for (float value : values) {
        View view = sample;
        view.pan[0] = view.pan[1] = view.cues.slice_at = value;
        View read = {};
        ASSERT_EQ(parse(text_of(view), &read), nullptr) << value;
        EXPECT_TRUE(same_scene(view, read)) << text_of(view) << " read back as " << text_of(read);
    }
    View read = {};
    ASSERT_EQ(parse(text_of(sample), &read), nullptr);
    EXPECT_TRUE(same_scene(sample, read));
}

TEST(View, AFrameOfRmTakesThePlaceOfTheChoiceAndTheTurn)
{
    // The frame as written is the 4-D turn composed with the frame; it reads
    // back as a frame with no turn, and only for a surface of its dimension.
    View framed = sample;
    framed.framed = true;
    uint64_t seed = 3;
    random_frame(&seed, 7, &framed.frame);
    framed.spin = plane_spin_motion(1, 3, -7.0f);
    View read = {};
    // Every kind of tour reads back with its seed, searches or target.
    for (TourKind kind : {TOUR_GRAND, TOUR_FEWEST_CROSSINGS, TOUR_SPREAD}) {
        framed.tour = {kind, kind != TOUR_SPREAD, 18446744073709551615ull, 12.5f, 4};
        ASSERT_EQ(parse(text_of(framed), &read), nullptr) << text_of(framed);
        const Tour &a = read.tour, &b = framed.tour;
        EXPECT_TRUE(a.kind == b.kind && a.running == b.running && a.seed == b.seed && a.speed == b.speed
            && a.target == b.target)
            << text_of(framed);
    }
    EXPECT_EQ(read.spin.step, framed.spin.step)
        << "a spin of -7 degrees a second reads back the same";
    EXPECT_TRUE(read.framed);
    Frame whole = framed.frame;
    compose_frame(framed.turn4[0], &whole);
    for (int i = 0; i < 4; i++)
        for (int k = 0; k < 7; k++)
            EXPECT_EQ(read.frame.rows[i][k], whole.rows[i][k]) << "row " << i << ", coordinate " << k;
    EXPECT_EQ(text_of(read).find("show ="), std::string::npos);
    std::string text = text_of(framed);
    EXPECT_STREQ(
        parse_view(text.data(), text.size(), &read, 10), "line 14: the frame is of R^7, the surface of R^10");
}

TEST(View, BringsQToLengthOneAndSavesWhatReadsBack)
{
    // Far from length 1 either way, q is scaled in double precision; a
    // saved view then reads back to the same bits.
    const std::string rest = "axis1 = 1 0 0\naxis2 = 0 1 0\naxis3 = 0 0 1\nshow = 1 2 3 4\n";
    const struct {
        const char* q;
        float want[4];
    } rows[] = {
        {"3e38 3e38 3e38 3e38", {0.5f, 0.5f, 0.5f, 0.5f}},
        {"1e-30 1e-30 0 0", {0.707106769f, 0.707106769f, 0.0f, 0.0f}},
        {"1e-45 0 0 0", {1.0f, 0.0f, 0.0f, 0.0f}},
        {"0 0 0 2", {0.0f, 0.0f, 0.0f, 1.0f}},
        {"0.099833414 0 0 0.995004177", {0.099833414f, 0.0f, 0.0f, 0.995004177f}},
    };
    for (const auto& row : rows) {
        View read = sample;
        ASSERT_EQ(parse("plexorama-view 2\nq = " + std::string(row.q) + "\n" + rest, &read), nullptr)
            << row.q;
        for (int k = 0; k < 4; k++)
            EXPECT_EQ(read.q[k], row.want[k]) << row.q << ", component " << k;
        View again = sample;
        ASSERT_EQ(parse(text_of(read), &again), nullptr) << text_of(read);
        EXPECT_TRUE(same_scene(read, again)) << text_of(read);
    }
}

TEST(View, AcceptsOtherOrdersBlanksCommentsAndCrLf)
{
    const char* texts[] = {
        "plexorama-view 1\nshow = 1 2 3 4\naxis3 = 0 0 1\naxis2 = 0 1 0\naxis1 = 1 0 0\nq = 0 0 0 1\n",
        "plexorama-view 1\nq  =  0 0\t0 1 \naxis1 = 1 0 0\naxis2 = 0 1 0\naxis3 = 0 0 1\nshow = 1 2 3 4",
        "plexorama-view 1\nq = 0 0 0 1e0\naxis1 = 1 0 0\naxis2 = 0 1 0\naxis3 = 0 0 1\nshow = 001 2 3 4\n",
        "plexorama-view 1\r\nq = 0 0 0 1\r\naxis1 = 1 0 0\r\naxis2 = 0 1 0\r\naxis3 = 0 0 1\r\nshow = 1 2 3 "
        "4\r\n",
        "plexorama-view 2\n# turned by hand\n\nq=0 0 0 1\naxis1= 1 0 0\naxis2 =0 1 0\n  \n\t# axes\n"
        "axis3 = 0 0 1\nshow = 1 2 3 4\nturn4 = 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1\nzoom = 1\n",
        "plexorama-view 2\nq = 0 0 0 1\naxis1 = 1 0 0\naxis2 = 0 1 0\naxis3 = 0 0 1\nshow = 1 2 3 4\n"
        "slice = off\neye4 = off\ncolor = fixed\ngizmo = off\nwire = on\n",
    };
    for (const char* text : texts) {
        View view = sample;
        EXPECT_EQ(parse(text, &view), nullptr) << text;
        EXPECT_EQ(view.q[3], 1.0f) << text;
        EXPECT_EQ(view.axis[2][2], 1.0f) << text;
        EXPECT_EQ(view.show[3], 3) << text;
        // What a file leaves out is as a fresh viewer has it.
        EXPECT_TRUE(same_scene(view, initial_view)) << text;
    }
}

TEST(View, RefusesMalformedTextsNamingTheLine)
{
    const std::string head = "plexorama-view 2\n";
    const std::string rest = "axis1 = 1 0 0\naxis2 = 0 1 0\naxis3 = 0 0 1\nshow = 1 2 3 4\n";
    const std::string q = "q = 0 0 0 1\n";
    const std::string axes = "axis1 = 1 0 0\naxis2 = 0 1 0\naxis3 = 0 0 1\n";
    const std::string frame = "frame = 1 0 0 0 0 0 1 0 0 0 0 0 1 0 0 0 0 0 0 1\n";
    const struct {
        std::string text;
        const char* fault;
    } rows[] = {
        {"", "not a view file"},
        {"plexorama-view 4\n" + q + rest, "not a view file"},
        {"plexorama-view 33\n" + q + rest, "not a view file"},
        {"plexorama-view 1 \n" + q + rest, "not a view file"},
        {"KLEIN\n" + q + rest, "not a view file"},
        {head, "the key 'q' is missing"},
        {head + rest, "the key 'q' is missing"},
        {head + q + axes, "the key 'show' is missing"},
        {head + q + q + rest, "line 3: a key appears twice"},
        {head + "q 0 0 0 1\n" + rest, "line 2: a line is not 'key = values'"},
        {head + " = 0 0 0 1\n" + rest, "line 2: a line is not 'key = values'"},
        {head + "q q = 0 0 0 1\n" + rest, "line 2: a line is not 'key = values'"},
        {head + "w = 0 0 0 1\n" + rest, "line 2: unknown key"},
        {head + "Q = 0 0 0 1\n" + rest, "line 2: unknown key"},
        {head + "q = 0 0 1\n" + rest, "line 2: wrong number of values"},
        {head + "q = 0 0 0 1 0\n" + rest, "line 2: wrong number of values"},
        {head + "q = 0 0 0 1 = 0\n" + rest, "line 2: wrong number of values"},
        {head + "q = 0 0 0 nan\n" + rest, "line 2: a value is not a finite number"},
        {head + "q = 0 0 0 inf\n" + rest, "line 2: a value is not a finite number"},
        {head + "q = 0 0 0 1e39\n" + rest, "line 2: a value is not a finite number"},
        {head + "q = 0 0 0 1x\n" + rest, "line 2: a value is not a finite number"},
        {head + "q = 0 0 0 ,\n" + rest, "line 2: a value is not a finite number"},
        {head + "q = 0 0 0 0\n" + rest, "line 2: q is zero"},
        {head + q + axes + "show = 1 2 3 3\n", "line 6: a coordinate is shown twice"},
        {head + q + axes + "show = 0 2 3 4\n", "line 6: a coordinate is not a number from 1 to 255"},
        {head + q + axes + "show = 1 2 3 256\n", "line 6: a coordinate is not a number from 1 to 255"},
        {head + q + axes + "show = 1 2 3 +4\n", "line 6: a coordinate is not a number from 1 to 255"},
        {head + q + axes + "show = 1 2 3 4.0\n", "line 6: a coordinate is not a number from 1 to 255"},
        {head + q + "axis1 = 1 0 0\naxis2 = 0 1 0\naxis3 = 0 1 0\nshow = 1 2 3 4\n",
            "line 5: axis1 to axis3 are not orthonormal"},
        {head + q + "axis1 = 1.001 0 0\naxis2 = 0 1 0\naxis3 = 0 0 1\nshow = 1 2 3 4\n",
            "line 5: axis1 to axis3 are not orthonormal"},
        {head + q + rest + "turn4 = 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1.001\n",
            "line 7: turn4 is not orthonormal"},
        {head + q + rest + "turn4 = 0 1 0 0 1 0 0 0 0 0 1 0 0 0 1 0\n", "line 7: turn4 is not orthonormal"},
        {head + q + rest + "turn4 = 1 0 0 0\n", "line 7: wrong number of values"},
        {head + q + rest + "zoom = 9\n", "line 7: zoom is not from 0.125 to 8"},
        {head + q + rest + "zoom = 0\n", "line 7: zoom is not from 0.125 to 8"},
        {head + q + rest + "pan = 0 nan\n", "line 7: a value is not a finite number"},
        {head + q + rest + "light = sun\n", "line 7: light is not 'file', 'shape' or 'smooth'"},
        {head + q + rest + "color = W\n", "line 7: color is not 'fixed' or 'w'"},
        {head + q + rest + "slice = 0.5\n", "line 7: wrong number of values"},
        {head + q + rest + "slice = 0 -1\n",
            "line 7: the slice's width is not 0 or from 0.000001 to 1000000"},
        {head + q + rest + "eye4 = off 2\n", "line 7: wrong number of values"},
        {head + q + rest + "eye4 = -3\n", "line 7: the eye's distance is not 0 or from 0.000001 to 1000000"},
        {head + q + rest + "eye4 = 1e-45\n",
            "line 7: the eye's distance is not 0 or from 0.000001 to 1000000"},
        {head + q + rest + "gizmo = yes\n", "line 7: gizmo is not 'on' or 'off'"},
        {head + q + rest + "scale = -1\n", "line 7: the map's scale is not 0 or from 0.000001 to 1000000"},
        {head + q + rest + "aa = 3\n", "line 7: aa is not 1, 2, 4 or 8"},
        {head + q + rest + "aa = 4.0\n", "line 7: aa is not 1, 2, 4 or 8"},
        {head + q + rest + "opacity = 0\n", "line 7: opacity is not above 0 to 1"},
        {head + q + rest + "opacity = 1.01\n", "line 7: opacity is not above 0 to 1"},
        {head + q + rest + "stereo = on\n", "line 7: stereo is not 'off', 'anaglyph' or 'side-by-side'"},
        {head + q + rest + "eyes = -0.1\n", "line 7: the eyes' distance is not from 0 to 2"},
        {head + q + rest + "eyes = 1e38\n", "line 7: the eyes' distance is not from 0 to 2"},
        {head + q + rest + "spin = xw 0.5\n",
            "line 7: the spin's rate is not from 1 to 3600 degrees a second either way"},
        {head + q + rest + "tour = grand 1 1e-30 0 running\n",
            "line 7: the tour's speed is not from 0.1 to 3600 degrees a second"},
        {head + q + axes + frame + "frame = 1 0 0 0\n", "line 7: a key appears twice"},
        {head + q + axes + "frame = 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0\n", "line 6: wrong number of values"},
        {head + q + axes + "frame = 1 0 0 0 0 1 0 0 0 0 1 0\n", "line 6: wrong number of values"},
        {head + q + axes + "frame = 1 0 0 0 0 1 0 0 0 0 0 0 1 0 0 0 0 0 1 0\n",
            "line 6: the frame is not orthonormal"},
        {head + q + axes + "frame = 1 0 0 0 0 0 1 0 0 0 0 0 1 0 0 0 0 0 nan 1\n",
            "line 6: a value is not a finite number"},
        {head + q + axes + frame + "show = 1 2 3 4\n", "line 7: a frame goes with neither show nor turn4"},
        {head + q + axes + frame + "turn4 = 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1\n",
            "line 7: a frame goes with neither show nor turn4"},
        {head + q + rest + "tour = grand 1 20 0\n",
            "line 7: tour is not 'off' or KIND SEED SPEED TARGET running|paused"},
        {head + q + rest + "tour = grand -1 20 0 running\n",
            "line 7: tour is not 'off' or KIND SEED SPEED TARGET running|paused"},
        {head + q + rest + "tour = little 1 0 0 running\n",
            "line 7: the tour's speed is not from 0.1 to 3600 degrees a second"},
        {head + q + rest + "tour = little 1 20 0 going\n",
            "line 7: tour is not 'off' or KIND SEED SPEED TARGET running|paused"},
        {head + q + rest + "tour = guided 1 20 0 running\n",
            "line 7: tour is not 'off' or KIND SEED SPEED TARGET running|paused"},
        {head + q + rest + "tour = guided=spread=4 1 20 0 running\n",
            "line 7: tour is not 'off' or KIND SEED SPEED TARGET running|paused"},
        {head + "q = 0 0 0 1" + std::string(25000, ' ') + "\n" + rest, "line 2: a line is too long"},

        {head + std::string("q = 0 0\0 0 1\n", 14) + rest, "line 2: a line holds a NUL byte"},
    };
    for (const auto& row : rows) {
        View view = sample;
        const char* fault = parse(row.text, &view);
        EXPECT_STREQ(fault, row.fault) << row.text;
        EXPECT_TRUE(same_scene(view, sample)) << row.text << ": a refused text changed the view";
    }
}

TEST(View, ReadsBackWhatItWrites)
{
    std::string path = write_test_file("saved.view", "old");
    ASSERT_EQ(write_scene(path.c_str(), &sample), 1);
    View read = {};
    EXPECT_EQ(read_scene(path.c_str(), &read), nullptr);

    EXPECT_TRUE(same_scene(sample, read));

    struct stat status;
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(status.st_mode & 0777, 0666 & ~mask) << "a view file is as readable as any new file";
}

TEST(View, ReportsFilesThatCannotBeRead)
{
    std::string missing = write_test_file("present.view", "") + ".missing";
    std::string large = write_test_file("large.view", "plexorama-view 1\n" + std::string(70000, ' '));
    // Exactly the largest, a byte-order mark first, the rest comments.
    std::string whole = "\xef\xbb\xbfplexorama-view 1\nq = 0 0 0 1\naxis1 = 1 0 0\naxis2 = 0 1 0\n"
                        "axis3 = 0 0 1\nshow = 1 2 3 4\n";
    while (whole.size() < longest_view)
        whole += "#" + std::string(std::min<size_t>(999, longest_view - whole.size() - 2), '.') + "\n";
    const struct {
        std::string path;
        const char* reason;
    } rows[] = {
        {missing, "cannot open: No such file or directory"},
        {large, "not a valid view file: larger than 64 KiB"},
        {write_test_file("largest.view", whole), nullptr},
        {write_test_file("empty.view", ""), "not a valid view file: not a view file"},
        {write_test_file("short.view", "plexorama-view 1\nq = 0 0 0 1\n"),
            "not a valid view file: the key 'axis1' is missing"},
    };
    for (const auto& row : rows) {
        View view = sample;
        EXPECT_STREQ(read_scene(row.path.c_str(), &view), row.reason) << row.path;
        EXPECT_EQ(same_scene(view, sample), row.reason != nullptr) << row.path;
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
    EXPECT_EQ(write_scene(missing.c_str(), &sample), 0);
    EXPECT_EQ(errno, ENOENT);

    // A folder in the target's place: the rename fails after the data is
    // written, and the temporary file must go with it.
    std::string taken = folder + "/taken";
    ASSERT_EQ(mkdir(taken.c_str(), 0777), 0);
    EXPECT_EQ(write_scene(taken.c_str(), &sample), 0);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(listing(folder), std::vector<std::string> {"taken"});
    EXPECT_EQ(listing(taken), std::vector<std::string> {});
    rmdir(taken.c_str());
    rmdir(folder.c_str());
}

} // namespace

namespace {

TEST(View, OverABaseTheKeysLeftOutKeepItsValues)
{
    // Each row: the text, whether it may leave out the keys every file holds,
    // and what is wrong with it; none when it reads.
    const std::string whole = "plexorama-view 1\nq = 0 0 0 1\naxis1 = 1 0 0\naxis2 = 0 1 0\naxis3 = 0 0 1\n"
                              "show = 1 2 3 4\n";
    const struct {
        std::string text;
        bool partial;
        const char* fault;
    } rows[] = {
        {"plexorama-view 3\naa = 4\nlight = smooth\n", true, nullptr},
        {"plexorama-view 3\naa = 4\nlight = smooth\n", false, "the key 'q' is missing"},
        {whole, false, nullptr},
        {"plexorama-view 3\naa = 5\n", true, "line 2: aa is not 1, 2, 4 or 8"},
    };
    for (const auto& row : rows) {
        View read = {};
        const char* fault = parse_over_view(row.text.data(), row.text.size(), &sample, row.partial, &read);
        EXPECT_STREQ(fault, row.fault) << row.text;
        if (fault)
            continue;
        // Only what the text names changes.
        View expected = sample;
        if (row.partial) {
            expected.finish.aa = 4;
            expected.light = LIGHT_SMOOTH;
        } else {
            memcpy(expected.q, initial_view.q, sizeof expected.q);
            memcpy(expected.axis, initial_view.axis, sizeof expected.axis);
            memcpy(expected.show, initial_view.show, sizeof expected.show);
        }
        EXPECT_TRUE(same_scene(read, expected)) << row.text << " read as " << text_of(read);
    }
}

} // namespace
