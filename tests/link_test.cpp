// View links: the view file's text as it stands in a page's address.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "core/link.h"
#include "scenes.h"

namespace {

View turned_view()
{
    View view = initial_view;
    const float q[4] = {0.099833414f, 0.0f, -0.0f, 0.995004177f};
    memcpy(view.q, q, sizeof q);
    view.axis[1][1] = 0.980066597f;
    view.axis[1][2] = 0.198669329f;
    view.axis[2][1] = -0.198669329f;
    view.axis[2][2] = 0.980066597f;
    const uint8_t show[4] = {0, 2, 3, 11};
    memcpy(view.show, show, sizeof show);
    return view;
}

TEST(Link, IsTheViewFileOnOneLineWithoutWhatHoldsItsValueAtStart)
{
    const std::string head = "3;q:0.099833414,0,-0,0.995004177;axis1:1,0,0;axis2:0,0.980066597,0.198669329;"
                             "axis3:0,-0.198669329,0.980066597;show:1,3,4,12";
    View zoomed = turned_view();
    zoomed.zoom = 2.0f;
    zoomed.light = LIGHT_SHAPE;
    View turned4 = turned_view();
    // A quarter turn of x toward w, held column by column.
    turned4.turn4[0][0] = 0.0f;
    turned4.turn4[3][0] = 1.0f;
    turned4.turn4[0][3] = -1.0f;
    turned4.turn4[3][3] = 0.0f;
    // Of R^5, mixing nothing: x and y hold coordinates 5 and 1.
    View framed = turned_view();
    framed.framed = true;
    const uint8_t shown[4] = {4, 0, 3, 2};
    choice_frame(shown, 5, &framed.frame);
    View panned = turned_view();
    panned.pan[1] = -0.25f;
    const struct {
        View view;
        std::string link;
    } rows[] = {
        {turned_view(), head},
        {framed, "3;q:0.099833414,0,-0,0.995004177;axis1:1,0,0;axis2:0,0.980066597,0.198669329;"
                 "axis3:0,-0.198669329,0.980066597;frame:0,0,0,0,1,1,0,0,0,0,0,0,0,1,0,0,0,1,0,0"},
        {zoomed, head + ";zoom:2;light:shape"},
        {turned4, head + ";turn4:0,0,0,1,0,1,0,0,0,0,1,0,-1,0,0,0"},
        {panned, head + ";pan:0,-0.25"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(link_of(row.view), row.link);
        View read = initial_view;
        ASSERT_STREQ(parse_link(row.link.c_str(), &read), nullptr) << row.link;
        EXPECT_TRUE(same_scene(read, row.view)) << row.link << " read back as " << link_of(read);
    }
}

TEST(Link, AFrameOfR255OfTheLongestNumbersIsALinkThatReadsBack)
{
    // Rows a hair from unit vectors: 1,020 numbers of 15 characters each.
    View framed = turned_view(), read = initial_view;
    framed.framed = true;
    framed.frame.dim = 255;
    for (int k = 0; k < 4 * 255; k++)
        framed.frame.rows[k / 255][k % 255] = k / 255 == k % 255 ? 0.999999881f : -1.23456789e-07f;
    std::string link = link_of(framed);
    EXPECT_GT(link.size(), 16384u);
    EXPECT_STREQ(parse_link(link.c_str(), &read, 255), nullptr);
    EXPECT_TRUE(same_scene(read, framed));
}

TEST(Link, SaysHowLongItWouldBeWhenTheSpaceIsShort)
{
    const View view = turned_view();
    std::string link = link_of(view);
    char text[8];
    EXPECT_EQ(format_link(&initial_view, text, 0), link_of(initial_view).size());
    EXPECT_EQ(format_link(&view, text, sizeof text), link.size());
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
        {"2;q:0,0,0,1" + axes + ";show:1,2,3,4\n", "not a view link"},
        {"2;q:0,0,0,1" + axes + ";show:1,2,3,4 ", "not a view link"},
        {"2;q=0,0,0,1" + axes + ";show:1,2,3,4", "not a view link"},
        {"2;q:0%2C0,0,1" + axes + ";show:1,2,3,4", "not a view link"},
        {"2;Q:0,0,0,1" + axes + ";show:1,2,3,4", "not a view link"},
        {"2;q:0,0,0,1" + axes + ";show:1,2,3,4;#", "not a view link"},
        {"2;q:0,0,0,1" + std::string(66000, '0') + axes + ";show:1,2,3,4", "not a view link: too long"},
        {"4;q:0,0,0,1" + axes + ";show:1,2,3,4", "not a view file"},
        {"q:0,0,0,1" + axes + ";show:1,2,3,4", "not a view file"},
        {"2;q:0,0,0,1" + axes, "the key 'show' is missing"},
        {"2;q:0,0,0" + axes + ";show:1,2,3,4", "line 2: wrong number of values"},
        {"2;q:0,0,0,nan" + axes + ";show:1,2,3,4", "line 2: a value is not a finite number"},
        {"2;q:0,0,0,0" + axes + ";show:1,2,3,4", "line 2: q is zero"},
        {"2;q:0,0,0,1" + axes + ";show:1,2,3,3", "line 6: a coordinate is shown twice"},
        {"2;q:0,0,0,1" + axes + ";show:1,2,3,4;zoom:9", "line 7: zoom is not from 0.125 to 8"},
        {"3;q:0,0,0,1" + axes + ";show:1,2,3,4;tour:grand,5,1e-30,0,running",
            "line 7: the tour's speed is not from 0.1 to 3600 degrees a second"},
    };
    const View sample = turned_view();
    for (const auto& row : rows) {
        View view = sample;
        EXPECT_STREQ(parse_link(row.link.c_str(), &view), row.fault) << row.link;
        EXPECT_TRUE(same_scene(view, sample)) << row.link << ": a refused link changed the view";
    }
}

} // namespace
