// The command line: every accepted and refused form, with its exit code and
// what it prints.
#include <climits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "main.h"

namespace {

struct Parsed {
    int code;
    Options options; // its file, if any, is in file
    std::string file, out, err;
};

Parsed parse(std::vector<std::string> words)
{
    words.insert(words.begin(), "plexorama");
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    Parsed parsed {};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    parsed.code = parse_options_main(static_cast<int>(words.size()), argv.data(), &parsed.options);
    parsed.out = testing::internal::GetCapturedStdout();
    parsed.err = testing::internal::GetCapturedStderr();
    if (parsed.options.file)
        parsed.file = parsed.options.file;
    parsed.options.file = nullptr;
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
        {{"a.klein", "b.klein"}, "more than one file: 'b.klein'"},
        {{"--", "a.klein", "-b"}, "more than one file: '-b'"},
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
        EXPECT_EQ(__number_main(row.text, row.limit, &value), row.accepted) << row.text;
        EXPECT_EQ(value, row.accepted ? row.value : 12345) << row.text;
    }
}

} // namespace
