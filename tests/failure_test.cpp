// The reader and the double curve when memory runs out: each allocation
// create_surface_klein or find_crossing makes fails in turn, alone and with
// every later one, until the call no longer meets a failure. Each time the
// reader refuses with KLEIN_NO_MEMORY, leaving no block and no descriptor
// behind and the record unwritten, or absorbs the failure and reads the
// whole file; the curve is refused with no block left, or found whole.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "failing_malloc.h"
#include "core/crossing.h"
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

TEST(Failure, DoubleCurveRefusesOrAbsorbsEveryFailedAllocation)
{
    // The squares z = 0 and y = 0 of 2 x 2 cells, apart in w, crossing on the x axis.
    std::vector<float> s;
    for (int sheet = 0; sheet < 2; sheet++)
        for (int cell = 0; cell < 4; cell++)
            for (int corner : {0, 1, 3, 0, 3, 2}) {
                float a = -1.0f + static_cast<float>(cell % 2 + corner % 2),
                      b = -1.0f + static_cast<float>(cell / 2 + corner / 2);
                s.insert(s.end(), {a, sheet ? 0.0f : b, sheet ? b : 0.0f, static_cast<float>(sheet)});
            }
    CrossingView view = {};
    view.frame.dim = 4;
    for (int k = 0; k < 4; k++)
        view.frame.rows[k][k] = 1.0f;
    for (bool from_on : {false, true}) {
        SCOPED_TRACE(from_on ? "the k-th and every later one" : "only the k-th");
        int refusals = 0;
        for (uint64_t k = 1;; k++) {
            SCOPED_TRACE("allocation " + std::to_string(k) + " fails");
            ASSERT_LT(k, 100u) << "the search never stops allocating";
            Crossing curve;
            forget_failure();
            arm_failure({k, from_on, false});
            const char* fault = find_crossing(s.data(), 4, s.size() / 4, &view, &curve);
            disarm_failure();
            uint64_t failed = failed_failure();
            if (fault) {
                refusals++;
                EXPECT_STREQ(fault, "out of memory");
                EXPECT_TRUE(live_failure().empty())
                    << "left by calls from" << describe_failure(live_failure());
                EXPECT_EQ(curve.points, nullptr);
                continue;
            }
            EXPECT_EQ(curve.line_count, 1u);
            EXPECT_NEAR(curve.length, 2.0, 1e-4);
            free_crossing(&curve);
            if (failed == 0)
                break;
        }
        EXPECT_GT(refusals, 0) << "no allocation was made to fail";
    }
}

} // namespace
