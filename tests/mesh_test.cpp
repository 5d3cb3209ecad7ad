// Shown surfaces: which float of each vertex every attribute location reads,
// the polygon modes of the two draws, and what a drop keeps or replaces.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include "app/render.h"
#include "gl_test.h"
#include "app/input.h"
#include "app/surface.h"
#include "core/klein.h"
#include "draw/mesh.h"
#include "surface_files.h"

namespace {

struct Attribute {
    GLint enabled, stride, buffer;
    uintptr_t offset;
};

// Reads the set-up of the bound vertex array, which bind_mesh leaves bound.
Attribute attribute(GLuint location)
{
    Attribute a = {};
    glGetVertexAttribiv(location, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &a.enabled);
    glGetVertexAttribiv(location, GL_VERTEX_ATTRIB_ARRAY_STRIDE, &a.stride);
    glGetVertexAttribiv(location, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING, &a.buffer);
    a.offset = attribute_offset(location);
    return a;
}

// Expects locations 0 to 3 to read the given coordinates and 4 to 7 the same
// normal components.
void expect_binding(int dim, const int (&indices)[4])
{
    for (GLuint location = 0; location < 8; location++) {
        SCOPED_TRACE("location " + std::to_string(location));
        Attribute a = attribute(location);
        EXPECT_EQ(a.enabled, GL_TRUE);
        EXPECT_EQ(a.stride, 4 * dim);
        EXPECT_EQ(a.offset, 4u * indices[location % 4]);
        EXPECT_EQ(static_cast<GLuint>(a.buffer),
            location < 4 ? shown_mesh()->coord_buffer : shown_mesh()->normal_buffer);
    }
}

void drop_plain(uint8_t dim, size_t vertices = 3)
{
    drop_surface(dim, filled(dim * vertices, 0.25f), filled(dim * vertices, 0.5f));
}

TEST(Binding, FourCoordinatesInFileOrder)
{
    drop_plain(4);
    choose_coordinates(0, 1, 2, 3);
    expect_binding(4, {0, 1, 2, 3});
}

TEST(Binding, SixCoordinatesAndAnExchange)
{
    drop_plain(6);
    choose_coordinates(0, 1, 2, 5);
    expect_binding(6, {0, 1, 2, 5});
    GLuint coords = shown_mesh()->coord_buffer, normals = shown_mesh()->normal_buffer;

    // y and w exchanged: locations 1 and 3 (and 5 and 7) trade places.
    choose_coordinates(0, 5, 2, 1);
    expect_binding(6, {0, 5, 2, 1});
    EXPECT_EQ(shown_mesh()->coord_buffer, coords);
    EXPECT_EQ(shown_mesh()->normal_buffer, normals);
}

TEST(Drawing, EachDrawSetsItsPolygonMode)
{
    drop_plain(4);
    GLint mode[2];
    draw_mesh(shader, shown_mesh());
    glGetIntegerv(GL_POLYGON_MODE, mode);
    EXPECT_EQ(mode[0], GL_FILL);
    draw_mesh_lines(shader_plain, shown_mesh());
    glGetIntegerv(GL_POLYGON_MODE, mode);
    EXPECT_EQ(mode[0], GL_LINE);
    draw_mesh(shader, shown_mesh());
    glGetIntegerv(GL_POLYGON_MODE, mode);
    EXPECT_EQ(mode[0], GL_FILL);
    EXPECT_FALSE(glIsEnabled(GL_POLYGON_OFFSET_LINE));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(Drop, RefusedFilesKeepTheShownSurface)
{
    drop_plain(6);
    choose_coordinates(0, 1, 2, 5);
    Shown before = {shown_mesh(), {6, 0, 1, 2, 5}};
    GLuint vertex_array = shown_mesh()->vertex_array;

    std::string valid = klein_bytes(6, 3, filled(18, 1.0f), filled(18, 1.0f));
    struct Row {
        const char* what;
        std::string bytes;
    } rows[] = {
        {"not a KLEIN file", "P6\n2 2\n255\n"},
        {"truncated", valid.substr(0, valid.size() - 4)},
        {"three coordinates", klein_bytes(3, 3, filled(9, 1.0f), filled(9, 1.0f))},
        {"no coordinates", klein_bytes(0, 3, {}, {})},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::string path = write_test_file("refused.klein", row.bytes);
        const char* paths[] = {path.c_str()};
        __drop_callback_input(nullptr, 1, paths);
        expect_shown(before);
        EXPECT_TRUE(glIsVertexArray(vertex_array));
    }

    const char* missing[] = {"/nonexistent/surface.klein"};
    __drop_callback_input(nullptr, 1, missing);
    __drop_callback_input(nullptr, 0, nullptr);
    expect_shown(before);
}

TEST(Drop, SurfaceTheGpuCannotTakeKeepsTheShownOne)
{
    drop_plain(6);
    choose_coordinates(1, 2, 3, 5);
    Shown before = {shown_mesh(), {6, 1, 2, 3, 5}};
    float unused = 0.0f;
    EXPECT_EQ(show_data_surface({&unused, &unused, uint64_t {1} << 31, 4}), SHOW_NO_MESH);
    expect_shown(before);
    EXPECT_EQ(show_data_surface({&unused, &unused, 3, 3}), SHOW_TOO_FEW_COORDINATES);
    expect_shown(before);
}

TEST(Drop, OnlyTheFirstPathIsRead)
{
    std::string five = write_test_file("five.klein", klein_bytes(5, 3, filled(15, 1.0f), filled(15, 1.0f)));
    std::string seven = write_test_file("seven.klein", klein_bytes(7, 3, filled(21, 1.0f), filled(21, 1.0f)));
    const char* paths[] = {five.c_str(), seven.c_str()};
    __drop_callback_input(nullptr, 2, paths);
    EXPECT_EQ(view.dim, 5);
}

TEST(Drop, ReplacedMeshIsDestroyed)
{
    drop_plain(4);
    Mesh old = *shown_mesh();
    drop_plain(4);
    EXPECT_FALSE(glIsVertexArray(old.vertex_array));
    EXPECT_FALSE(glIsBuffer(old.coord_buffer));
    EXPECT_FALSE(glIsBuffer(old.normal_buffer));
    EXPECT_TRUE(glIsVertexArray(shown_mesh()->vertex_array));
    EXPECT_TRUE(glIsBuffer(shown_mesh()->coord_buffer));
}

TEST(Drop, ChosenIndicesSurviveAWiderSurfaceAndResetForANarrowerOne)
{
    drop_plain(6);
    choose_coordinates(4, 1, 2, 5);

    drop_plain(8);
    expect_shown({shown_mesh(), {8, 4, 1, 2, 5}});
    expect_binding(8, {4, 1, 2, 5});

    drop_plain(5);
    expect_shown({shown_mesh(), {5, 0, 1, 2, 3}});
    expect_binding(5, {0, 1, 2, 3});
}

TEST(Mesh, WithoutNormalsLightingReadsAFiniteConstant)
{
    std::vector<float> coords = filled(12, 0.5f);
    Mesh* mesh = create_mesh({coords.data(), nullptr, 3, 4});
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->normal_buffer, 0u);
    const uint8_t first[4] = {0, 1, 2, 3};
    bind_mesh(mesh, first);
    for (GLuint location = 4; location < 8; location++) {
        EXPECT_EQ(attribute(location).enabled, GL_FALSE) << location;
        float value[4];
        glGetVertexAttribfv(location, GL_CURRENT_VERTEX_ATTRIB, value);
        EXPECT_EQ(value[0], location == 6 ? 1.0f : 0.0f) << location;
    }
    GLuint coord_buffer = mesh->coord_buffer;
    destroy_mesh(mesh);
    EXPECT_FALSE(glIsBuffer(coord_buffer));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    bind_chosen();
}

TEST(Mesh, MoreVerticesThanOneDrawTakesAreRefused)
{
    float unused = 0.0f;
    EXPECT_EQ(create_mesh({&unused, &unused, uint64_t {1} << 31, 1}), nullptr);
    EXPECT_EQ(create_mesh({&unused, &unused, (uint64_t {1} << 32) - 1, 1}), nullptr);
}

// Bytes of address space the process has mapped.
uint64_t mapped_bytes()
{
    unsigned long long pages = 0;
    FILE* statm = fopen("/proc/self/statm", "r");
    if (statm) {
        if (fscanf(statm, "%llu", &pages) != 1)
            pages = 0;
        fclose(statm);
    }
    return pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

#ifdef PLEXORAMA_SANITIZED
// The address sanitizer's runtime has it; not every compiler installs a header declaring it.
extern "C" void __sanitizer_purge_allocator();
#endif

// Resident memory: a buffer left behind holds the pages its read filled,
// while the address space also grows with what starting a reading thread
// reserves, which says nothing about leaks.
uint64_t resident_bytes()
{
#ifdef PLEXORAMA_SANITIZED
    // Freed blocks stay resident in the sanitizer's quarantine until purged.
    __sanitizer_purge_allocator();
#endif
    unsigned long long pages = 0, resident = 0;
    FILE* statm = fopen("/proc/self/statm", "r");
    if (statm) {
        if (fscanf(statm, "%llu %llu", &pages, &resident) != 2)
            resident = 0;
        fclose(statm);
    }
    return resident * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

TEST(Mesh, BuffersTheGpuCannotTakeLeaveNothingBehind)
{
#ifdef PLEXORAMA_SANITIZED
    GTEST_SKIP() << "the address sanitizer needs more address space than the cap leaves";
#endif
    // 64 MiB per array, with the address space capped at 32 MiB more than in
    // use: the driver cannot allocate both buffers and reports GL_OUT_OF_MEMORY
    // or fails to map.
    const size_t floats = 16u << 20;
    std::vector<float> coords(floats, 0.5f), normals(floats, 0.5f);
    struct Way {
        const char* what;
        Mesh* (*create)(const std::vector<float>&, const std::vector<float>&);
    } ways[] = {
        {"copied",
            [](const std::vector<float>& c, const std::vector<float>& n) {
                return create_mesh(
                    {const_cast<float*>(c.data()), const_cast<float*>(n.data()), c.size() / 4, 4});
            }},
        {"mapped",
            [](const std::vector<float>& c, const std::vector<float>&) {
                float *at_coords, *at_normals;
                return create_mapped_mesh(4, c.size() / 4, &at_coords, &at_normals);
            }},
    };
    for (const Way& way : ways)
        each_storage([&] {
            SCOPED_TRACE(way.what);
            GLuint first_buffer = 0, first_array = 0;
            glGenBuffers(1, &first_buffer);
            glGenVertexArrays(1, &first_array);
            glDeleteBuffers(1, &first_buffer);
            glDeleteVertexArrays(1, &first_array);

            rlimit saved;
            getrlimit(RLIMIT_AS, &saved);
            rlimit capped = saved;
            capped.rlim_cur = mapped_bytes() + (32u << 20);
            ASSERT_EQ(setrlimit(RLIMIT_AS, &capped), 0);
            Mesh* mesh = way.create(coords, normals);
            setrlimit(RLIMIT_AS, &saved);

            EXPECT_EQ(mesh, nullptr);
            for (GLuint name = first_buffer; name < first_buffer + 4; name++)
                EXPECT_FALSE(glIsBuffer(name)) << "buffer " << name;
            for (GLuint name = first_array; name < first_array + 4; name++)
                EXPECT_FALSE(glIsVertexArray(name)) << "vertex array " << name;
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "the failure's error was taken";
        });
}

TEST(Mesh, MappedBuffersHoldWhatWasWritten)
{
    for (uint64_t vertices : {uint64_t {0}, uint64_t {3}, uint64_t {300000}})
        each_storage([&] {
            SCOPED_TRACE(std::to_string(vertices) + " vertices");
            float *coords = nullptr, *normals = nullptr;
            Mesh* mesh = create_mapped_mesh(5, vertices, &coords, &normals);
            ASSERT_NE(mesh, nullptr);
            ASSERT_NE(coords, nullptr);
            ASSERT_NE(normals, nullptr);
            for (uint64_t k = 0; k < 5 * vertices; k++) {
                coords[k] = static_cast<float>(k);
                normals[k] = -static_cast<float>(k);
            }
            EXPECT_EQ(unmap_mesh(mesh), 0);
            EXPECT_EQ(mesh->vertex_count, vertices);
            std::vector<float> seen(5 * vertices + 1);
            for (auto [buffer, sign] : {std::pair {mesh->coord_buffer, 1.0f}, {mesh->normal_buffer, -1.0f}}) {
                glBindBuffer(GL_ARRAY_BUFFER, buffer);
                glGetBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(20 * vertices), seen.data());
                for (uint64_t k = 0; k < 5 * vertices; k += vertices / 7 + 1)
                    ASSERT_EQ(seen[k], sign * static_cast<float>(k)) << "float " << k;
            }
            destroy_mesh(mesh);
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        });
}

// A file that shrinks after its header was checked, while the arrays are read
// into fresh buffers: refused as truncated, with the size it has now, and the
// buffers go with the refusal. Each refusal would leave 8 MiB of buffers
// behind if they stayed. The heap keeps up to 64 MiB of freed memory for the
// driver's next frames, so resident memory is compared only once the first
// rounds have filled that.
TEST(Drop, FileThatShrinksWhileReadKeepsTheShownSurface)
{
    drop_plain(6);
    choose_coordinates(0, 1, 2, 5);
    Shown before = {shown_mesh(), {6, 0, 1, 2, 5}};

    const uint64_t vertices = 1u << 18, bytes = 15 + 32 * vertices;
    std::string whole = klein_bytes(4, vertices, filled(4 * vertices, 0.5f), filled(4 * vertices, 0.5f));
    const int rounds = 4;
    uint64_t resident = 0;
    for (int round = 0; round < rounds; round++) {
        if (round == rounds - 1)
            resident = resident_bytes();
        for (uint64_t shrunk : {uint64_t {0}, uint64_t {15}, 15 + 16 * vertices - 1, bytes - 1, bytes - 1})
            each_storage([&] {
                SCOPED_TRACE("shrunk to " + std::to_string(shrunk));
                std::string path = write_test_file("shrinking.klein", whole);
                KleinFile file;
                ShowReport report;
                ASSERT_EQ(open_surface_klein(path.c_str(), &file, &report.klein), 0);
                ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(shrunk)), 0);
                EXPECT_EQ(show_open_surface(&file, &report), SHOW_UNREADABLE);
                close_surface_klein(&file);
                EXPECT_EQ(report.klein.status, KLEIN_TRUNCATED);
                EXPECT_EQ(report.klein.expected, bytes);
                EXPECT_EQ(report.klein.found, shrunk);
                expect_shown(before);
                EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
            });
    }
    EXPECT_LT(resident_bytes(), resident + (16u << 20));
}

} // namespace
