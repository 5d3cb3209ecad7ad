// GL tests share one viewer brought up the way the program does it: the
// window, a current GL context and both programs.
#include <gtest/gtest.h>

#include "app/main.h"
#include "app/window.h"

namespace {

struct Viewer : testing::Environment {
    bool started = false;
    void SetUp() override
    {
        started = start_main() == 0;
        ASSERT_TRUE(started) << "the viewer did not start";
    }
    void TearDown() override
    {
        if (started)
            stop_main();
    }
};

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new Viewer);
    return RUN_ALL_TESTS();
}
