// The reader when memory runs out: each allocation create_surface_klein
// makes fails in turn, alone and with every later one, until the call no
// longer meets a failure. Each time it refuses with KLEIN_NO_MEMORY, leaving
// no block and no descriptor behind and the record unwritten, or absorbs the
// failure and reads the whole file.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "failing_malloc.h"
#include "core/klein.h"
#include "surface_files.h"

namespace {

void expect_numbered(const SurfaceData& data, uint8_t dim, uint64_t vertices)
{
    EXPECT_EQ(data.dim, dim);
    EXPECT_EQ(data.vertex_count, vertices);
    uint64_t count = dim * vertices;
    for (uint64_t k = 0; k < count; k += count / 11 + 1) {
        ASSERT_EQ(data.coords[k], static_cast<float>(k)) << "coordinate " << k;
        ASSERT_EQ(data.normals[k], -static_cast<float>(k)) << "normal component " << k;
    }
    EXPECT_EQ(data.coords[count - 1], static_cast<float>(count - 1));
    EXPECT_EQ(data.normals[count - 1], -static_cast<float>(count - 1));
}

TEST(Failure, ReaderRefusesOrAbsorbsEveryFailedAllocation)
{
    struct File {
        const char* what;
        uint8_t dim;
        uint64_t vertices;
    } files[] = {
        {"small arrays", 4, 3},
        {"arrays of 2 MiB, read on two threads", 4, 1u << 17},
    };
    for (const File& file : files)
        for (bool from_on : {false, true}) {
            SCOPED_TRACE(
                std::string(file.what) + (from_on ? ", the k-th and every later one" : ", only the k-th"));
            std::string path = write_test_file("failure.klein", numbered_klein(file.dim, file.vertices));
            int refusals = 0;
            for (uint64_t k = 1;; k++) {
                SCOPED_TRACE("allocation " + std::to_string(k) + " fails");
                ASSERT_LT(k, 100u) << "the reader never stops allocating";
                std::vector<int> descriptors = open_descriptors();
                SurfaceData data = {nullptr, nullptr, 77, 77};
                KleinReport report = {KLEIN_READ, 0, 0, 0};
                forget_failure();
                arm_failure({k, from_on, false});
                int refused = create_surface_klein(path.c_str(), &data, &report);
                disarm_failure();
                uint64_t failed = failed_failure();
                std::vector<LiveBlock> live = live_failure();
                EXPECT_EQ(open_descriptors(), descriptors);

                if (refused) {
                    refusals++;
                    EXPECT_GT(failed, 0u) << "refused with all memory given";
                    EXPECT_EQ(report.status, KLEIN_NO_MEMORY);
                    EXPECT_TRUE(live.empty()) << "left by calls from" << describe_failure(live);
                    EXPECT_EQ(data.coords, nullptr);
                    EXPECT_EQ(data.vertex_count, 77u);
                    continue;
                }
                EXPECT_EQ(report.status, KLEIN_READ);
                expect_numbered(data, file.dim, file.vertices);
                free(data.coords);
                free(data.normals);
                if (failed == 0)
                    break;
            }
            EXPECT_GT(refusals, 0) << "no allocation was made to fail";
        }
}

} // namespace
