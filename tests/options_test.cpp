// The command line: every accepted and refused form, with its exit code and
// what it prints.
#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include "app/course.h"
#include "app/input.h"
#include "draw/mesh.h"
#include "app/help.h"
#include "app/options.h"
#include "app/scene.h"
#include "core/motion.h"
#include "core/viewfile.h"
#include "scenes.h"
#include "core/view.h"

namespace {

struct Parsed {
    std::vector<std::string> words; // the options point into these
    int code;
    Options options;
    std::string file, out, err;
};

Parsed parse(const std::vector<std::string>& words)
{
    Parsed parsed {};
    parsed.words = words;
    parsed.words.insert(parsed.words.begin(), "plexorama");
    std::vector<char*> argv;
    for (std::string& w : parsed.words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    parsed.code = parse_help(static_cast<int>(argv.size() - 1), argv.data(), &parsed.options);
    parsed.out = testing::internal::GetCapturedStdout();
    parsed.err = testing::internal::GetCapturedStderr();
    if (parsed.options.file)
        parsed.file = parsed.options.file;
    return parsed;
}

std::string shown(const std::vector<std::string>& words)
{
    std::string text;
    for (const auto& w : words)
        text += "[" + w + "]";
    return text;
}

TEST(Options, AcceptedForms)
{
    const struct {
        std::vector<std::string> words;
        long frames;
        std::string file;
    } rows[] = {
        {{}, -1, ""},
        {{"a.klein"}, -1, "a.klein"},
        {{"--frames", "5"}, 5, ""},
        {{"--frames=5"}, 5, ""},
        {{"--frames=0"}, 0, ""},
        {{"--frames", "007"}, 7, ""},
        {{"--frames", "9223372036854775807"}, LONG_MAX, ""},
        {{"--fr=3"}, 3, ""}, // a unique abbreviation
        {{"a.klein", "--frames", "2"}, 2, "a.klein"},
        {{"--frames", "1", "--frames", "4"}, 4, ""}, // the last one counts
        {{"--", "-a.klein"}, -1, "-a.klein"},
        {{"--frames", "2", "--", "--frames"}, 2, "--frames"},
        {{"-"}, -1, "-"},
    };
    for (const auto& row : rows) {
        Parsed parsed = parse(row.words);
        EXPECT_EQ(parsed.code, -1) << shown(row.words) << ": " << parsed.err;
        EXPECT_EQ(parsed.options.frames, row.frames) << shown(row.words);
        EXPECT_EQ(parsed.file, row.file) << shown(row.words);
        EXPECT_EQ(parsed.err + parsed.out, "") << shown(row.words);
    }
}

TEST(Options, AnsweredRequests)
{
    const struct {
        std::vector<std::string> words;
        std::string starts;
    } rows[] = {
        {{"--help"}, "usage: plexorama "},
        {{"-h"}, "usage: plexorama "},
        {{"-h", "--bogus"}, "usage: plexorama "},
        {{"a.klein", "--help"}, "usage: plexorama "},
        {{"--version"}, "plexorama " PLEXORAMA_VERSION "\n"},
        {{"-V"}, "plexorama " PLEXORAMA_VERSION "\n"},
    };
    for (const auto& row : rows) {
        Parsed parsed = parse(row.words);
        EXPECT_EQ(parsed.code, 0) << shown(row.words);
        EXPECT_EQ(parsed.out.rfind(row.starts, 0), 0u) << shown(row.words) << ": " << parsed.out;
        EXPECT_EQ(parsed.err, "") << shown(row.words);
    }
    EXPECT_NE(parse({"--help"}).out.find("--frames N"), std::string::npos);
}

TEST(Options, EveryRowIsInTheHelpAndTheManualPage)
{
    std::ifstream file(SOURCE_DIR "/man/plexorama.1");
    std::string manual((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(manual.empty());
    std::string help = parse({"--help"}).out;
    for (int k = 0; k < option_row_count; k++) {
        const OptionRow& row = option_rows[k];
        std::string name = std::string("--") + row.name, escaped;
        for (char c : name)
            escaped += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(help.find(" " + name), std::string::npos) << name << " is not in --help";
        EXPECT_NE(manual.find(escaped), std::string::npos) << name << " is not in the manual page";
    }
}

TEST(Options, RefusedForms)
{
    const struct {
        std::vector<std::string> words;
        std::string line;
    } rows[] = {
        {{"--frames"}, "option '--frames' needs a value"},
        {{"--frames="}, "bad frame count ''"},
        {{"--frames", " 5"}, "bad frame count ' 5'"},
        {{"--frames", "5 "}, "bad frame count '5 '"},
        {{"--frames", "+5"}, "bad frame count '+5'"},
        {{"--frames", "-1"}, "bad frame count '-1'"},
        {{"--frames", "0x10"}, "bad frame count '0x10'"},
        {{"--frames", "1e3"}, "bad frame count '1e3'"},
        {{"--frames", "9223372036854775808"}, "bad frame count '9223372036854775808'"},
        {{"--frames", "99999999999999999999999"}, "bad frame count '99999999999999999999999'"},
        {{"--help=yes"}, "option '--help' takes no value"},
        {{"--version=1"}, "option '--version' takes no value"},
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"--bogus=1"}, "unknown option '--bogus=1'"},
        {{"-x"}, "unknown option '-x'"},
        {{"-xV"}, "unknown option '-x'"},
        {{"-frames", "3"}, "unknown option '-f'"},
        {{"--show", "1,2,3", "a"}, "bad coordinate list '1,2,3': not four numbers A,B,C,D"},
        {{"--show", "1,2,2,3", "a"}, "bad coordinate list '1,2,2,3': a coordinate is named twice"},
        {{"--show", "0,1,2,3", "a"}, "bad coordinate list '0,1,2,3': coordinates count from 1 to 255"},
        {{"--show=1,2,3,4", "--swap", "w", "a"}, "bad swap 'w': x, y or z"},
        {{"--swap", "X", "a"}, "bad swap 'X': x, y or z"},
        {{"--swap", ""}, "bad swap '': x, y or z"},
        {{"--show", "1,2,3,4"}, "--show needs a FILE"},
        {{"--swap", "x"}, "--swap needs a FILE"},
        {{"--print-view"}, "--print-view needs a FILE"},
        {{"--print-view", "--output", "a.png", "a"}, "--print-view draws nothing: not with --output"},
        {{"--print-view", "--frames", "3", "a"}, "--print-view draws nothing: not with --frames"},
        {{"--view", "v"}, "--view needs a FILE"},
        {{"--view"}, "option '--view' needs a value"},
        {{"--save-view"}, "option '--save-view' needs a value"},
        {{"--output"}, "option '--output' needs a value"},
        {{"--size", "512"}, "--size needs --output or --record"},
        {{"--output", "a.png", "--size", "15"}, "bad picture size '15': 16 to 8192"},
        {{"--output", "a.png", "--size", "8193"}, "bad picture size '8193': 16 to 8192"},
        {{"--output", "a.png", "--size", "+512"}, "bad picture size '+512': 16 to 8192"},
        {{"--output", "a.png", "--size", "4294967808"}, "bad picture size '4294967808': 16 to 8192"},
        {{"--output", "a.png", "--frames", "0", "a"}, "--frames 0 draws nothing to write"},
        {{"--output", "a.png"}, "--output needs a FILE"},
        {{"--record", "f%d.png"}, "--record needs a FILE"},
        {{"--output", "a.jpg", "a"}, "bad picture name 'a.jpg': it must end in .png"},
        {{"--output", ".png", "a"}, "bad picture name '.png': it must end in .png"},
        // A name's control characters are shown escaped: the line stays one.
        {{"--output", "a\n\x1b[1m.jpg", "a"}, "bad picture name 'a\\n\\x1b[1m.jpg': it must end in .png"},
        {{"--record", "turn.avi"},
            "bad recording name 'turn.avi': a %d pattern for PNG frames, or .mp4, .webm, .gif"},
        {{"--record", "%d-%d.png"},
            "bad recording name '%d-%d.png': a %d pattern for PNG frames, or .mp4, .webm, .gif"},
        {{"--record", "%s.png"},
            "bad recording name '%s.png': a %d pattern for PNG frames, or .mp4, .webm, .gif"},
        {{"--record", "a.mp4", "--size", "17", "a"}, "--size 17 is odd: .mp4 needs an even size"},
        {{"--info"}, "--info needs a FILE"},
        {{"--info", "a.klein", "b.klein"}, "--info takes its one FILE, not 'b.klein'"},
        {{"--info", "a.klein", "--print-view"}, "--info shows no FILE: not with --print-view"},
        {{"--turn", "xw=30"}, "--turn needs a FILE"},
        {{"--spin", "xw"}, "--spin needs a FILE"},
    };
    for (const auto& row : rows) {
        Parsed parsed = parse(row.words);
        EXPECT_EQ(parsed.code, 2) << shown(row.words);
        std::string first = parsed.err.substr(0, parsed.err.find('\n'));
        EXPECT_EQ(first, "plexorama: " + row.line) << shown(row.words);
        EXPECT_EQ(parsed.err.substr(first.size() + 1).rfind("usage: plexorama ", 0), 0u)
            << shown(row.words) << ": the usage follows";
        EXPECT_EQ(parsed.out, "") << shown(row.words);
    }
}

TEST(Options, ViewOptionsReachTheRun)
{
    Parsed parsed
        = parse({"--show", "5,6,1,2", "--swap=z", "--view", "in.view", "--save-view=out.view", "a"});
    ASSERT_EQ(parsed.code, -1) << parsed.err;
    EXPECT_STREQ(parsed.options.show, "5,6,1,2");
    const uint8_t coordinates[4] = {4, 5, 0, 1};
    EXPECT_EQ(memcmp(parsed.options.coordinates, coordinates, 4), 0);
    EXPECT_EQ(parsed.options.swap, GLFW_KEY_P);
    EXPECT_STREQ(parsed.options.view, "in.view");
    EXPECT_STREQ(parsed.options.save_view, "out.view");

    const struct {
        const char* word;
        int key;
    } swaps[] = {{"x", GLFW_KEY_I}, {"y", GLFW_KEY_O}, {"z", GLFW_KEY_P}};
    for (const auto& row : swaps)
        EXPECT_EQ(parse({"--swap", row.word, "a"}).options.swap, row.key) << row.word;
    // Saving needs no file: it saves whatever the window shows at the end.
    EXPECT_EQ(parse({"--save-view", "out.view"}).code, -1);
}

TEST(Options, FourDimensionalOptions)
{
    Parsed parsed
        = parse({"--turn", "xw=90,yz=-12.5,zw=1e1,1:12=5", "--zoom", "0.125", "--light=shape", "--spin", "yw", "a"});
    ASSERT_EQ(parsed.code, -1) << parsed.err;
    const Options& o = parsed.options;
    ASSERT_EQ(o.turn_count, 4);
    const Turn turns[4] = {{0, 3, 90.0f, false}, {1, 2, -12.5f, false}, {2, 3, 10.0f, false}, {0, 11, 5.0f, true}};
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(o.turns[k].coordinates, turns[k].coordinates) << k;
        EXPECT_EQ(o.turns[k].a, turns[k].a) << k;
        EXPECT_EQ(o.turns[k].b, turns[k].b) << k;
        EXPECT_EQ(o.turns[k].degrees, turns[k].degrees) << k;
    }
    EXPECT_EQ(o.asked.zoom, 0.125f);
    // A switch's word is a bool of the view, and writes nothing past it.
    const View& unwired = parse({"--wire", "off", "a"}).options.asked;
    EXPECT_FALSE(unwired.cues.wire);
    EXPECT_EQ(memcmp(&unwired.cues.tint_scale, &initial_view.cues.tint_scale, sizeof(float)), 0);
    EXPECT_EQ(o.asked.light, LIGHT_SHAPE);
    EXPECT_EQ(o.asked.spin.a, 1);
    EXPECT_EQ(rate_motion(&o.asked.spin), 60.0f) << "60 degrees a second unless given";
    Parsed fastest = parse({"--spin", "xy=-3600", "a"});
    EXPECT_EQ(rate_motion(&fastest.options.asked.spin), -3600.0f);
    Parsed guided = parse({"--tour", "guided=spread=18446744073709551615", "a"});
    EXPECT_TRUE(
        guided.options.tour == TOUR_SPREAD && guided.options.seeded && guided.options.seed == UINT64_MAX);
    guided = parse({"--tour", "guided=fewest-crossings", "a"});
    EXPECT_TRUE(guided.options.tour == TOUR_FEWEST_CROSSINGS && !guided.options.seeded);

    const struct {
        std::vector<std::string> words;
        std::string line;
    } refused[] = {
        {{"--turn", "", "a"}, "bad turn ''"},
        {{"--turn", "xw", "a"}, "bad turn 'xw'"},
        {{"--turn", "wx=10", "a"}, "bad turn 'wx=10'"},
        {{"--turn", "xw=10,", "a"}, "bad turn 'xw=10,'"},
        {{"--turn", "xw=nan", "a"}, "bad turn 'xw=nan'"},
        {{"--turn", "xw=1e40", "a"}, "bad turn 'xw=1e40'"},
        {{"--turn", "xw=5deg", "a"}, "bad turn 'xw=5deg'"},
        {{"--turn", "1:1=5", "a"}, "bad turn '1:1=5'"},
        {{"--turn", "0:2=5", "a"}, "bad turn '0:2=5'"},
        {{"--turn", "1:256=5", "a"}, "bad turn '1:256=5'"},
        {{"--turn", "xw=1,xw=1,xw=1,xw=1,xw=1,xw=1,xw=1,xw=1,xw=1,xw=1,xw=1,xw=1,xw=1,xw=1,xw=1,xw=1,xw=1",
             "a"},
            "bad turn "
            "'xw=1,xw=1,xw=1,xw=1,xw=1,xw=1,xw=1,xw=1,xw=1,xw=1,xw=1,xw=1,xw=1,xw=1,xw=1,xw=1,xw=1'"},
        {{"--zoom", "0.1", "a"}, "bad zoom '0.1': from 0.125 to 8"},
        {{"--zoom", "8.5", "a"}, "bad zoom '8.5': from 0.125 to 8"},
        {{"--zoom", "x", "a"}, "bad zoom 'x': from 0.125 to 8"},
        {{"--light", "Shape", "a"}, "bad light 'Shape': file, shape or smooth"},
        {{"--spin", "xw=0", "a"}, "bad spin 'xw=0'"},
        {{"--spin", "xw=0.5", "a"}, "bad spin 'xw=0.5'"},
        {{"--spin", "xw=3601", "a"}, "bad spin 'xw=3601'"},
        {{"--spin", "w", "a"}, "bad spin 'w'"},
        {{"--eye4", "1e-45", "a"}, "bad eye distance '1e-45': from 0.000001 to 1000000"},
        {{"--tour-speed", "0.05", "a"}, "bad tour speed '0.05': from 0.1 to 3600 degrees a second"},
        {{"--tour", "guided", "a"},
            "bad tour 'guided': grand[=SEED], little or guided=KIND[=SEED], KIND fewest-crossings or spread"},
        {{"--tour", "guided=fewest", "a"}, "bad tour 'guided=fewest'"},
        {{"--tour", "guided=spread=", "a"}, "bad tour 'guided=spread='"},
        {{"--tour", "guided=spread=-1", "a"}, "bad tour 'guided=spread=-1'"},
        {{"--tour", "little=3", "a"}, "bad tour 'little=3'"},
    };
    for (const auto& row : refused) {
        Parsed p = parse(row.words);
        EXPECT_EQ(p.code, 2) << shown(row.words);
        EXPECT_EQ(p.err.rfind("plexorama: " + row.line, 0), 0u) << shown(row.words) << ": " << p.err;
    }
}

TEST(Options, PictureOptions)
{
    const struct {
        std::vector<std::string> words;
        std::string line; // empty: taken
        int tint = 0, aa = 0, stereo = 0;
        float scale = 0.0f, opacity = 0.0f, eyes = 0.0f;
    } rows[] = {
        {{"a"}, "", 0, 1, 0, 0.0f, 1.0f, 0.25f},
        {{"--color", "w=0.5", "--aa", "8", "--opacity", "0.25", "--stereo=side-by-side=0.3", "a"}, "", 1, 8,
            2, 0.5f, 0.25f, 0.3f},
        {{"--color=fixed", "--aa", "1", "--opacity", "1", "--stereo", "anaglyph", "a"}, "", 0, 1, 1, 0.0f,
            1.0f, 0.25f},
        {{"--color=w=auto", "a"}, "", 1, 1, 0, -1.0f, 1.0f, 0.25f},
        {{"--color", "w=0", "a"}, "bad color 'w=0'"},
        {{"--color", "w=-1", "a"}, "bad color 'w=-1'"},
        {{"--color", "w=", "a"}, "bad color 'w='"},
        {{"--color", "v=1", "a"}, "bad color 'v': fixed or w"},
        {{"--aa", "3", "a"}, "bad aa '3': 1, 2, 4 or 8"},
        {{"--aa", "4=1", "a"}, "bad aa '4=1': 1, 2, 4 or 8"},
        {{"--opacity", "0", "a"}, "bad opacity '0': above 0 to 1"},
        {{"--opacity", "1.01", "a"}, "bad opacity '1.01': above 0 to 1"},
        {{"--opacity", "nan", "a"}, "bad opacity 'nan': above 0 to 1"},
        {{"--stereo", "on", "a"}, "bad stereo 'on': off, anaglyph or side-by-side"},
        {{"--stereo", "anaglyph=inf", "a"}, "bad stereo 'anaglyph=inf'"},
        {{"--stereo", "anaglyph=1e38", "a"},
            "bad stereo 'anaglyph=1e38': the eyes' distance is not from 0 to 2"},
        {{"--color", "w=1e-45", "a"}, "bad color 'w=1e-45': the map's scale is not from 0.000001 to 1000000"},
        {{"--color", "fixed=5", "a"}, "bad color 'fixed=5': fixed takes no number"},
        {{"--stereo", "off=3", "a"}, "bad stereo 'off=3': off takes no number"},
    };
    for (const auto& row : rows) {
        Parsed p = parse(row.words);
        if (!row.line.empty()) {
            EXPECT_EQ(p.code, 2) << shown(row.words);
            EXPECT_EQ(p.err.rfind("plexorama: " + row.line, 0), 0u) << shown(row.words) << ": " << p.err;
            continue;
        }
        ASSERT_EQ(p.code, -1) << shown(row.words) << ": " << p.err;
        const View& o = p.options.asked;
        EXPECT_EQ(std::vector<int>({o.cues.tint, o.finish.aa, o.finish.stereo}),
            std::vector<int>({row.tint, row.aa, row.stereo}))
            << shown(row.words);
        EXPECT_EQ(std::vector<float>({o.cues.tint_scale, o.finish.opacity, o.finish.eyes}),
            std::vector<float>({row.scale, row.opacity, row.eyes}))
            << shown(row.words);
    }
}

TEST(Options, StrokesAndColoursOverARestoredView)
{
    // Each row: the options, what they refuse, else the finish over a
    // restored view whose lines are 3 wide, points 5, tubes 0.2 and colours two.
    const struct {
        std::vector<std::string> words;
        std::string line;
        float width = 0.0f, size = 0.0f, tubes = 0.0f;
        std::vector<int> colors = {};
    } rows[] = {
        {{"a"}, "", 3.0f, 5.0f, 0.2f, {0xd5322a, 0x0080ff}},
        {{"--line-width", "0.5", "--point-size=64", "--tubes", "0.01", "a"}, "", 0.5f, 64.0f, 0.01f,
            {0xd5322a, 0x0080ff}},
        {{"--tubes", "off", "--colors", "#A0b1C2,White,black", "a"}, "", 3.0f, 5.0f, 0.0f,
            {0xa0b1c2, 0xffffff, 0x000000}},
        {{"--tubes", "0", "a"}, "", 3.0f, 5.0f, 0.0f, {0xd5322a, 0x0080ff}},
        {{"--line-width", "0.4", "a"}, "bad line width '0.4': from 0.5 to 64 pixels"},
        {{"--point-size", "inf", "a"}, "bad point size 'inf': from 0.5 to 64 pixels"},
        {{"--tubes", "-1", "a"}, "bad tube radius '-1': off, 0 or from 0.000001 to 1000000"},
        {{"--colors", "red,", "a"}, "bad colors 'red,': a colour is not #rrggbb or a colour's name"},
        {{"--colors", "#12345", "a"}, "bad colors '#12345': a colour is not #rrggbb or a colour's name"},
        {{"--colors", "", "a"}, "bad colors '': no colour"},
        {{"--colors", "red,red,red,red,red,red,red,red,red,red,red,red,red,red,red,red,red", "a"},
            "bad colors 'red,red,red,red,red,red,red,red,red,red,red,red,red,red,red,red,red': too many colours"},
    };
    View saved = initial_view;
    Finish& f = saved.finish;
    f.line_width = 3.0f;
    f.point_size = 5.0f;
    f.tubes = 0.2f;
    f.color_count = 2;
    const uint8_t two[2][3] = {{0xd5, 0x32, 0x2a}, {0x00, 0x80, 0xff}};
    memcpy(f.colors, two, sizeof two);
    for (const auto& row : rows) {
        Parsed p = parse(row.words);
        if (!row.line.empty()) {
            EXPECT_EQ(p.code, 2) << shown(row.words);
            EXPECT_EQ(p.err.substr(0, p.err.find('\n')), "plexorama: " + row.line) << shown(row.words);
            continue;
        }
        ASSERT_EQ(p.code, -1) << shown(row.words) << ": " << p.err;
        choose({4, 0, 1, 2, 3});
        ASSERT_EQ(apply_scene(&p.options, &saved, 4), 0) << shown(row.words);
        const Finish& g = view.finish;
        EXPECT_EQ(g.line_width, row.width) << shown(row.words);
        EXPECT_EQ(g.point_size, row.size) << shown(row.words);
        EXPECT_EQ(g.tubes, row.tubes) << shown(row.words);
        std::vector<int> colors;
        for (int k = 0; k < g.color_count; k++)
            colors.push_back(g.colors[k][0] << 16 | g.colors[k][1] << 8 | g.colors[k][2]);
        EXPECT_EQ(colors, row.colors) << shown(row.words);
        EXPECT_EQ(view.finish.aa, 1) << shown(row.words) << ": what is not given stays";
    }
    set_view(&initial_view);
    choose({0, 0, 1, 2, 3});
}

TEST(Options, OffscreenOptions)
{
    const struct {
        std::vector<std::string> words;
        const char* output;
        const char* record;
        int size;
    } rows[] = {
        {{}, nullptr, nullptr, 512},
        {{"--output", "a.png", "s"}, "a.png", nullptr, 512},
        {{"--output=a.PNG", "--size=16", "s"}, "a.PNG", nullptr, 16},
        {{"--record", "f-%03d.png", "--size", "8192", "s"}, nullptr, "f-%03d.png", 8192},
        {{"--record", "t.webm", "--size", "17", "s"}, nullptr, "t.webm", 17},
        {{"--record", "t.gif", "--output", "last.png", "s"}, "last.png", "t.gif", 512},
        {{"--record", "100%%-%d.png", "s"}, nullptr, "100%%-%d.png", 512},
        {{"--output", "a.png", "--frames", "1", "s"}, "a.png", nullptr, 512},
    };
    for (const auto& row : rows) {
        Parsed parsed = parse(row.words);
        ASSERT_EQ(parsed.code, -1) << shown(row.words) << ": " << parsed.err;
        EXPECT_STREQ(parsed.options.output, row.output) << shown(row.words);
        EXPECT_STREQ(parsed.options.record, row.record) << shown(row.words);
        EXPECT_EQ(parsed.options.size, row.size) << shown(row.words);
    }
}

TEST(Options, CoordinateLists)
{
    const struct {
        const char* text;
        const char* fault;
        uint8_t coordinates[4];
    } rows[] = {
        {"1,2,3,4", nullptr, {0, 1, 2, 3}},
        {"4,3,2,1", nullptr, {3, 2, 1, 0}},
        {"10,11,1,12", nullptr, {9, 10, 0, 11}},
        {"255,254,253,001", nullptr, {254, 253, 252, 0}},
        {"1,2,3,256", "coordinates count from 1 to 255", {}},
        {"1,2,3,99999999999999999999999", "coordinates count from 1 to 255", {}},
        {"1,2,3,0", "coordinates count from 1 to 255", {}},
        {"1,2,3,1", "a coordinate is named twice", {}},
        {"2,1,01,4", "a coordinate is named twice", {}},
        {"", "not four numbers A,B,C,D", {}},
        {"1,2,3,4,", "not four numbers A,B,C,D", {}},
        {"1,2,3,4,5", "not four numbers A,B,C,D", {}},
        {"1,2,,3", "not four numbers A,B,C,D", {}},
        {"1, 2,3,4", "not four numbers A,B,C,D", {}},
        {"1,2,3,4 ", "not four numbers A,B,C,D", {}},
        {"1,2,3,+4", "not four numbers A,B,C,D", {}},
        {"1;2;3;4", "not four numbers A,B,C,D", {}},
        {"x,y,z,w", "not four numbers A,B,C,D", {}},
    };
    for (const auto& row : rows) {
        uint8_t coordinates[4] = {};
        EXPECT_STREQ(coordinates_values(row.text, coordinates), row.fault) << row.text;
        if (!row.fault) {
            EXPECT_EQ(memcmp(coordinates, row.coordinates, 4), 0) << row.text;
        }
    }
}

TEST(Options, NumbersAreDigitsWithinTheLimit)
{
    const struct {
        const char* text;
        unsigned long long limit;
        int accepted;
        unsigned long long value;
    } rows[] = {
        {"0", 10, 1, 0},
        {"10", 10, 1, 10},
        {"11", 10, 0, 0},
        {"18446744073709551615", ULLONG_MAX, 1, ULLONG_MAX},
        {"18446744073709551616", ULLONG_MAX, 0, 0},
        {"", 10, 0, 0},
        {"1 ", 10, 0, 0},
        {"-0", 10, 0, 0},
        {"٣", 10, 0, 0},
    };
    for (const auto& row : rows) {
        unsigned long long value = 12345;
        EXPECT_EQ(number_values(row.text, row.limit, &value), row.accepted) << row.text;
        EXPECT_EQ(value, row.accepted ? row.value : 12345) << row.text;
    }
}

TEST(Options, TurnsAndFramesOfRmApplyToTheChosenCoordinates)
{
    // Each row: the words before a file of R^6, the exit code of putting
    // them on show, and the shown x's coordinate 5 after.
    const struct {
        std::vector<std::string> words;
        int code;
        float x5;
    } rows[] = {
        {{"--turn", "1:5=90"}, 0, 1.0f},
        {{"--show", "2,1,3,4", "--turn", "1:5=90"}, 0, 0.0f},
        {{"--turn", "1:9=3"}, 2, 0.0f},
        {{"--basis", "1,0,0,0,0,0,0,1,0,0,0,0,0,0,1,0,0,0,0,0,0,1,0,1"}, 2, 0.0f},
        {{"--basis", "0,0,0,0,1,0,0,1,0,0,0,0,0,0,1,0,0,0,0,0,0,1,0,0"}, 0, 1.0f},
    };
    for (const auto& row : rows) {
        std::vector<std::string> words = row.words;
        words.push_back("a.klein");
        Parsed parsed = parse(words);
        ASSERT_EQ(parsed.code, -1) << shown(words) << parsed.err;
        set_view(&initial_view);
        choose({0, 0, 1, 2, 3});
        testing::internal::CaptureStderr();
        int code = apply_scene(&parsed.options, &initial_view, 6);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, row.code) << shown(words) << err;
        Frame f;
        frame_course(&f, true);
        if (code == 0) {
            EXPECT_NEAR(f.rows[0][4], row.x5, 1e-6f) << shown(words);
        }
    }
    set_view(&initial_view);
    choose({0, 0, 1, 2, 3});
}

TEST(Options, ATourReadBackGoesOnAsTheUninterruptedRun)
{
    // Each row: the options, m, and the steps before the view is written and
    // read back: a tour's first view, every view of R^4 and the little tour's
    // arrival (after 2 steps) read back as coordinate choices.
    const struct {
        std::vector<std::string> words;
        uint8_t dim;
        int before;
    } rows[] = {
        {{"--tour", "grand=5"}, 10, 0},
        {{"--tour", "grand=5", "--turn", "xw=3e38"}, 4, 7},
        {{"--tour", "little", "--tour-speed", "3600"}, 6, 2},
        {{"--turn", "xw=2e38,1:2=3e38", "--tour", "little"}, 5, 0},
    };
    const int after = 40;
    auto run = [](const std::vector<std::string>& words, const View* saved, uint8_t dim, int steps) {
        std::vector<std::string> all = words;
        all.push_back("a.klein");
        Parsed parsed = parse(all);
        set_view(&initial_view);
        choose({0, 0, 1, 2, 3});
        EXPECT_EQ(apply_scene(&parsed.options, saved, dim), 0) << shown(words);
        EXPECT_TRUE(!words.empty() || !view.framed) << "the view read back is a coordinate choice";
        for (int k = 0; k < steps; k++)
            advance_tour_course();
        Frame f;
        frame_course(&f, true);
        return f;
    };
    for (const auto& row : rows) {
        Frame whole = run(row.words, &initial_view, row.dim, row.before + after);
        run(row.words, &initial_view, row.dim, row.before);
        View scene, read;
        scene = view;
        std::string text = text_of(scene);
        ASSERT_EQ(parse_view(text.data(), text.size(), &read, row.dim), nullptr) << shown(row.words) << text;
        Frame resumed = run({}, &read, row.dim, after);
        for (int i = 0; i < 4; i++)
            for (int k = 0; k < row.dim; k++)
                EXPECT_NEAR(resumed.rows[i][k], whole.rows[i][k], 1e-4f)
                    << shown(row.words) << " row " << i << ", coordinate " << k;
    }
    set_view(&initial_view);
    choose({0, 0, 1, 2, 3});
}

} // namespace
