// Showing a surface when memory runs out: with a surface on show, each
// allocation the viewer's code makes on the way from a file to the GPU
// fails in turn, alone and with every later one, for either kind of mesh
// storage. Each time the call refuses with SHOW_NO_MESH, leaving no block,
// descriptor or GL name behind and the shown surface as it was, or puts the
// new surface on show.
//
// Only allocations called from this executable's code fail, which is where
// the viewer's modules are linked. Failing Mesa's own (llvmpipe, 22.3) makes
// it crash: with one of its allocations in glBindBuffer failing, on a name
// fresh from glGenBuffers, it dereferences a null pointer. Other failures it
// swallows, answering as if all had worked, or it leaves blocks behind.
// Neither is for the viewer to mend.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include "failing_malloc.h"
#include "gl_test.h"
#include "app/input.h"
#include "app/surface.h"
#include "draw/mesh.h"
#include "surface_files.h"

namespace {

ShowStatus show_file(const char* path)
{
    ShowReport report;
    ShowStatus status = show_file_surface(path, &report);
    // The file is sound: memory is all the call can be short of.
    EXPECT_EQ(report.klein.status, KLEIN_READ);
    return status;
}

// A picture in a light that takes no normals reads none.
ShowStatus show_coordinates(const char* path)
{
    ShowReport report;
    ShowStatus status = show_file_surface(path, &report, false, false);
    EXPECT_EQ(report.klein.status, KLEIN_READ);
    return status;
}

// The drop handler answers nothing; a refusal shows as the mesh staying.
ShowStatus drop_file(const char* path)
{
    Mesh* shown = shown_mesh();
    const char* paths[] = {path};
    __drop_callback_input(nullptr, 1, paths);
    return shown_mesh() == shown ? SHOW_NO_MESH : SHOW_DONE;
}

// The blocks of a that b lacks; both in address order.
std::vector<LiveBlock> minus(const std::vector<LiveBlock>& a, const std::vector<LiveBlock>& b)
{
    std::vector<LiveBlock> rest;
    auto before = [](const LiveBlock& x, const LiveBlock& y) { return x.address < y.address; };
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(rest), before);
    return rest;
}

struct Names {
    GLuint buffer, vertex_array;
};

// The names glGenBuffers and glGenVertexArrays give now.
Names next_names()
{
    Names next;
    glGenBuffers(1, &next.buffer);
    glDeleteBuffers(1, &next.buffer);
    glGenVertexArrays(1, &next.vertex_array);
    glDeleteVertexArrays(1, &next.vertex_array);
    return next;
}

// Expects every name generated since first to be deleted. GL gives the
// lowest free name or counts up, so those names lie from first up to the
// name it gives now; a core context refuses to bind a name it has deleted,
// while one left generated binds. Returns how many names were generated
// after first.
GLuint expect_names_deleted(Names first)
{
    Names next = next_names();
    for (GLuint name = first.buffer; name < next.buffer; name++) {
        glBindBuffer(GL_ARRAY_BUFFER, name);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_OPERATION))
            << "buffer " << name << " was left";
    }
    for (GLuint name = first.vertex_array; name < next.vertex_array; name++) {
        glBindVertexArray(name);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_OPERATION))
            << "vertex array " << name << " was left";
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    auto after = [](GLuint from, GLuint to) { return to > from ? to - from - 1 : 0; };
    return after(first.buffer, next.buffer) + after(first.vertex_array, next.vertex_array);
}

// Expects the mesh's GL objects to hold the numbered surface of 6
// coordinates and 3 vertices, with coordinate 5 read as w.
void expect_shown_intact(const Mesh& mesh)
{
    ASSERT_TRUE(glIsVertexArray(mesh.vertex_array));
    for (auto [buffer, sign] : {std::pair {mesh.coord_buffer, 1.0f}, {mesh.normal_buffer, -1.0f}}) {
        ASSERT_TRUE(glIsBuffer(buffer));
        float seen[18] = {};
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glGetBufferSubData(GL_ARRAY_BUFFER, 0, sizeof seen, seen);
        for (int k = 0; k < 18; k++)
            EXPECT_EQ(seen[k], sign * static_cast<float>(k)) << "buffer " << buffer << ", float " << k;
    }
    glBindVertexArray(mesh.vertex_array);
    EXPECT_EQ(attribute_offset(3), 4u * 5);
    EXPECT_EQ(attribute_offset(7), 4u * 5);
}

struct Tally {
    int refusals;
    GLuint names_generated; // by calls that were refused
};

// Puts the numbered surface of 6 coordinates on show, w being coordinate 5,
// then has show put the file at path on show with the k-th allocation
// failing, for every k until none fails.
void fail_each_allocation(
    ShowStatus (*show)(const char* path), const std::string& path, bool from_on, Tally* tally)
{
    const std::string shown_path = write_test_file("shown.klein", numbered_klein(6, 3));
    const char* shown_paths[] = {shown_path.c_str()};
    for (uint64_t k = 1;; k++) {
        SCOPED_TRACE("allocation " + std::to_string(k) + " fails");
        ASSERT_LT(k, 100u) << "showing never stops allocating";
        // The shown mesh's blocks are counted too, so that a success can be
        // seen to free them.
        forget_failure();
        arm_failure({0, false, true});
        __drop_callback_input(nullptr, 1, shown_paths);
        disarm_failure();
        choose_coordinates(0, 1, 2, 5);
        std::vector<LiveBlock> live = live_failure();
        ASSERT_FALSE(live.empty()) << "the shown mesh's blocks were not seen";
        const Shown before = {shown_mesh(), chosen()};
        const Mesh shown = *shown_mesh();
        std::vector<int> descriptors = open_descriptors();
        Names first = next_names();

        arm_failure({k, from_on, true});
        ShowStatus status = show(path.c_str());
        disarm_failure();
        uint64_t failed = failed_failure();
        std::vector<LiveBlock> left = live_failure();
        std::vector<LiveBlock> added = minus(left, live), freed = minus(live, left);
        EXPECT_EQ(open_descriptors(), descriptors);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

        if (status == SHOW_DONE) {
            EXPECT_EQ(view.dim, 4);
            EXPECT_FALSE(glIsVertexArray(shown.vertex_array)) << "the replaced mesh stays";
            std::vector<LiveBlock> kept = minus(live, freed);
            EXPECT_TRUE(kept.empty()) << "the replaced mesh's blocks from" << describe_failure(kept);
            if (failed == 0)
                return;
            continue;
        }
        tally->refusals++;
        EXPECT_EQ(status, SHOW_NO_MESH);
        EXPECT_GT(failed, 0u) << "refused with all memory given";
        EXPECT_TRUE(added.empty()) << "left by calls from" << describe_failure(added);
        EXPECT_TRUE(freed.empty()) << "the shown mesh's blocks from" << describe_failure(freed);
        expect_shown(before);
        ASSERT_EQ(shown_mesh(), before.mesh);
        // The record has no padding, so its bytes are its fields.
        EXPECT_EQ(memcmp(shown_mesh(), &shown, sizeof shown), 0) << "the shown mesh's record changed";
        expect_shown_intact(shown);
        tally->names_generated += expect_names_deleted(first);
    }
}

TEST(GlFailure, ShowingRefusesOrShowsAndKeepsTheShownSurface)
{
    struct Entry {
        const char* what;
        ShowStatus (*show)(const char* path);
    } entries[] = {
        {"show_file_surface", show_file},
        {"show_file_surface without normals", show_coordinates},
        {"the drop handler", drop_file},
    };
    struct File {
        const char* what;
        uint64_t vertices;
    } files[] = {
        {"small arrays", 3},
        {"arrays of 2 MiB, read on two threads", 1u << 17},
    };
    Tally tally = {0, 0};
    for (const Entry& entry : entries)
        for (const File& file : files) {
            std::string path = write_test_file("failure.klein", numbered_klein(4, file.vertices));
            for (bool from_on : {false, true})
                each_storage([&] {
                    SCOPED_TRACE(std::string(entry.what) + ", " + file.what
                        + (from_on ? ", the k-th and every later one" : ", only the k-th"));
                    fail_each_allocation(entry.show, path, from_on, &tally);
                });
        }
    EXPECT_GT(tally.refusals, 0) << "no allocation was made to fail";
    // Only memory of ours as buffer storage is allocated after the names.
    if (pinned_memory_mesh) {
        EXPECT_GT(tally.names_generated, 0u) << "no refusal came after GL names were generated";
    }
}

} // namespace
