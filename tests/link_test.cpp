// View links: the view file's text as it stands in a page's address.
#include <cfloat>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "link.h"

namespace {

const View sample = {
    {0.099833414f, 0.0f, -0.0f, 0.995004177f},
    {{1.0f, 0.0f, 0.0f}, {0.0f, 0.980066597f, 0.198669329f}, {FLT_TRUE_MIN, -FLT_MAX, 1e-30f}},
    {0, 2, 3, 11},
};

std::string link_of(const View& view)
{
    char text[512];
    size_t length = format_link(&view, text, sizeof text);
    return std::string(text, length);
}

TEST(Link, IsTheViewFileOnOneLineOfAddressCharacters)
{
    View view = {{0.099833414f, 0, 0, 0.995004177f}, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {4, 5, 6, 0}};
    EXPECT_EQ(link_of(view), "1;q:0.099833414,0,0,0.995004177;axis1:1,0,0;axis2:0,1,0;axis3:0,0,1;show:5,6,7,1");
}

TEST(Link, RoundTripsTheViewBitForBit)
{
    View read = {};
    std::string link = link_of(sample);
    ASSERT_EQ(parse_link(link.c_str(), &read), nullptr) << link;
    EXPECT_EQ(memcmp(&read, &sample, sizeof read), 0) << link << " read back as " << link_of(read);
}

TEST(Link, SaysHowLongItWouldBeWhenTheSpaceIsShort)
{
    std::string link = link_of(sample);
    char text[8];
    EXPECT_EQ(format_link(&sample, text, sizeof text), link.size());
    EXPECT_EQ(std::string(text), link.substr(0, 7));
}

TEST(Link, RefusesMalformedLinksAndLeavesTheViewAlone)
{
    const std::string axes = ";axis1:1,0,0;axis2:0,1,0;axis3:0,0,1";
    const struct {
        std::string link;
        const char* fault;
    } rows[] = {
        {"", "not a view link"},
        {"1;q:0,0,0,1" + axes + ";show:1,2,3,4\n", "not a view link"},
        {"1;q:0,0,0,1" + axes + ";show:1,2,3,4 ", "not a view link"},
        {"1;q=0,0,0,1" + axes + ";show:1,2,3,4", "not a view link"},
        {"1;q:0%2C0,0,1" + axes + ";show:1,2,3,4", "not a view link"},
        {"1;Q:0,0,0,1" + axes + ";show:1,2,3,4", "not a view link"},
        {"1;q:0,0,0,1" + std::string(400, '0') + axes + ";show:1,2,3,4", "not a view link: too long"},
        {"2;q:0,0,0,1" + axes + ";show:1,2,3,4", "not a view file"},
        {"q:0,0,0,1" + axes + ";show:1,2,3,4", "not a view file"},
        {"1;q:0,0,0,1" + axes, "a key is missing"},
        {"1;q:0,0,0,1" + axes + ";show:1,2,3,4;", "a line is not 'key = values'"},
        {"1;q:0,0,0" + axes + ";show:1,2,3,4", "wrong number of values"},
        {"1;q:0,0,0,nan" + axes + ";show:1,2,3,4", "a value is not a finite number"},
        {"1;q:0,0,0,0" + axes + ";show:1,2,3,4", "q is zero"},
        {"1;q:0,0,0,1" + axes + ";show:1,2,3,3", "a coordinate is shown twice"},
        {"1;q:0,0,0,1" + axes + ";show:1,2,3,256", "a coordinate is not a number from 1 to 255"},
    };
    for (const auto& row : rows) {
        View view = sample;
        EXPECT_STREQ(parse_link(row.link.c_str(), &view), row.fault) << row.link;
        EXPECT_EQ(memcmp(&view, &sample, sizeof view), 0) << row.link << ": a refused link changed the view";
    }
}

} // namespace
