// The OOGL reader: what it makes of faces, polylines and their colours, and
// every file it must refuse, with the line it names.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/oogl.h"
#include "core/polygon.h"
#include "surface_files.h"

namespace {

struct Read {
    const char* reason;
    ShapeData shapes[max_shapes_oogl];
    int count;
    OoglCounts counts;

    explicit Read(const std::string& text)
    {
        reason = parse_shapes_oogl(text.data(), text.size(), shapes, &count, &counts);
    }
    ~Read()
    {
        for (int k = 0; !reason && k < count; k++)
            free_shape(&shapes[k]);
    }
    const ShapeData* kind(ShapeKind kind) const
    {
        for (int k = 0; !reason && k < count; k++)
            if (shapes[k].kind == kind)
                return &shapes[k];
        return nullptr;
    }
};

double area(const ShapeData& t)
{
    double total = 0;
    for (uint64_t v = 0; v < t.vertex_count; v += 3) {
        const float *a = t.coords + v * t.dim, *b = a + t.dim, *c = b + t.dim;
        total += 0.5 * ((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]));
    }
    return total;
}

// The segments of a lines shape as pairs of vertices, each given by its first coordinate.
std::multiset<std::pair<float, float>> segments(const ShapeData& lines)
{
    std::multiset<std::pair<float, float>> found;
    for (uint64_t v = 0; v + 1 < lines.vertex_count; v++)
        if (lines.joins[v])
            found.insert(std::minmax(lines.coords[v * lines.dim], lines.coords[(v + 1) * lines.dim]));
    return found;
}

TEST(OoglReader, PolygonsGiveTrianglesInTheirPlaneAndTheirOwnEdgesOnce)
{
    // An L in the plane x + w = const through R^4: concave, so a fan from
    // vertex 0 would cover the notch; a square shares its edge 1-2.
    Read r("4OFF # x, the index, keeps the vertices apart\n8 2 0\n"
           "0 0 0 0\n4 0 0 -4\n4 1 0 -4\n1 1 0 -1\n1 4 0 -1\n0 4 0 0\n5 0 0 0\n5 1 0 0\n"
           "6 0 1 2 3 4 5  0 0 1.0\n4 1 6 7 2 255 0 0 128\n");
    ASSERT_EQ(r.reason, nullptr) << r.reason;
    ASSERT_EQ(r.count, 2);
    const ShapeData& t = *r.kind(SHAPE_TRIANGLES);
    EXPECT_EQ(t.vertex_count, 3u * (4 + 2));
    EXPECT_EQ(t.normals, nullptr);
    // Measured in x, y: the L's area 7 (its turning negative in x, y here)
    // and the square's 1, each triangle turning as its polygon.
    EXPECT_NEAR(std::fabs(area(t)), 7 + 1, 1e-6);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(t.colors), 4), std::string("\0\0\xff\xff", 4));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(t.colors + 4 * 12), 4), std::string("\xff\0\0\x80", 4));
    const ShapeData& l = *r.kind(SHAPE_LINES);
    std::multiset<std::pair<float, float>> expected
        = {{0, 4}, {4, 4}, {1, 4}, {1, 1}, {0, 1}, {0, 0}, {4, 5}, {5, 5}, {4, 5}};
    EXPECT_EQ(segments(l), expected);
    EXPECT_EQ(l.colors, nullptr);
    // The L is one closed polyline, its first vertex repeated at its end.
    EXPECT_EQ(l.coords[0], l.coords[6 * l.dim]);
    EXPECT_EQ(l.joins[6], 0);
    EXPECT_EQ(r.counts.faces, 2u);
    EXPECT_EQ(r.counts.segments, 9u);
    EXPECT_EQ(r.counts.vertices, 8u);
}

TEST(PolygonSplit, StarShapedPolygonsInAnyPlaneAreCoveredExactly)
{
    // Triangles turning the polygon's way whose areas add up to its own
    // overlap nowhere and leave nothing out.
    std::mt19937 random(5);
    std::uniform_real_distribution<double> unit(0, 1);
    PolygonScratch scratch = {};
    for (int trial = 0; trial < 2000; trial++) {
        uint32_t n = 3 + random() % (concave_limit_polygon - 2);
        double a[4], b[4], xy[2 * concave_limit_polygon], area = 0, covered = 0;
        for (int k = 0; k < 4; k++) {
            a[k] = unit(random) - 0.5;
            b[k] = unit(random) - 0.5;
        }
        std::vector<float> coords(4 * n);
        std::vector<uint32_t> corners(n), triangles(3 * (n - 2));
        for (uint32_t i = 0; i < n; i++) {
            double angle = 2 * M_PI * (i + 0.4 * unit(random)) / n, radius = 0.2 + unit(random);
            xy[2 * i] = radius * std::cos(angle);
            xy[2 * i + 1] = radius * std::sin(angle);
            for (int k = 0; k < 4; k++)
                coords[4 * i + k] = static_cast<float>(xy[2 * i] * a[k] + xy[2 * i + 1] * b[k]);
            corners[i] = i;
        }
        for (uint32_t i = 0; i < n; i++)
            area += 0.5 * (xy[2 * i] * xy[2 * ((i + 1) % n) + 1] - xy[2 * ((i + 1) % n)] * xy[2 * i + 1]);
        ASSERT_EQ(split_polygon(coords.data(), 4, corners.data(), n, triangles.data(), &scratch), nullptr);
        for (uint32_t t = 0; t < n - 2; t++) {
            const double *p = xy + 2 * triangles[3 * t], *q = xy + 2 * triangles[3 * t + 1],
                         *r = xy + 2 * triangles[3 * t + 2];
            double signed_area = 0.5 * ((q[0] - p[0]) * (r[1] - p[1]) - (q[1] - p[1]) * (r[0] - p[0]));
            EXPECT_GT(signed_area * area, -1e-9) << "trial " << trial << ", triangle " << t;
            covered += signed_area;
        }
        EXPECT_NEAR(covered, area, 1e-4) << "trial " << trial << ", " << n << " corners";
    }
    free_polygon(&scratch);
}

TEST(OoglReader, PolylinesPointsAndTheirColours)
{
    Read r("nSKEL 5\n4 4\n"
           "0 0 0 0 0\n1 1 1 1 1\n2 2 2 2 2\n3 3 3 3 3\n"
           "4 0 1 2 0 0 1 0\n2 2 3\n1 3 0.5 0.5 0.5 0.5\n1 1 7\n");
    ASSERT_EQ(r.reason, nullptr) << r.reason;
    const ShapeData& l = *r.kind(SHAPE_LINES);
    EXPECT_EQ(l.dim, 5);
    ASSERT_EQ(l.vertex_count, 6u);
    const uint8_t joins[] = {1, 1, 1, 0, 1, 0};
    EXPECT_EQ(memcmp(l.joins, joins, 6), 0);
    EXPECT_EQ(l.coords[3 * 5], 0.0f); // closed: the last index is the first
    EXPECT_EQ(l.colors[1], 255);      // the polyline's green
    EXPECT_EQ(l.colors[4 * 4], 191);  // no colour among coloured ones: grey
    const ShapeData& p = *r.kind(SHAPE_POINTS);
    ASSERT_EQ(p.vertex_count, 2u);
    EXPECT_EQ(p.colors[0], 128);
    EXPECT_EQ(p.colors[4], 191); // a lone number indexes a colour map: none
    EXPECT_EQ(r.counts.segments, 4u);
    EXPECT_EQ(r.counts.points, 2u);
}

TEST(OoglReader, PolylinesTakeTheirVerticesWhereverTheyLie)
{
    // Runs in order, vertices used again, gaps and jumps back: the lines
    // hold each polyline's vertices as its indices name them, however the
    // reader keeps its vertex list.
    std::mt19937 random(7);
    for (int trial = 0; trial < 300; trial++) {
        int vertices = 1 + static_cast<int>(random() % 40), lines = 1 + static_cast<int>(random() % 8);
        std::string text = "4SKEL " + std::to_string(vertices) + " " + std::to_string(lines) + "\n";
        for (int v = 0; v < vertices; v++)
            text += std::to_string(v) + " 0 0 " + std::to_string(-v) + "\n";
        std::vector<int> expected;
        for (int l = 0, next = 0; l < lines; l++) {
            int n = 2 + static_cast<int>(random() % 6);
            text += std::to_string(n);
            for (int k = 0; k < n; k++) {
                int kind = static_cast<int>(random() % 8),
                    index = kind < 5 ? next : static_cast<int>(random() % vertices);
                next = kind < 5 ? (next + 1) % vertices : next;
                text += " " + std::to_string(index);
                expected.push_back(index);
            }
            text += "\n";
        }
        Read r(text);
        ASSERT_EQ(r.reason, nullptr) << text;
        const ShapeData& l = *r.kind(SHAPE_LINES);
        ASSERT_EQ(l.vertex_count, expected.size()) << text;
        for (size_t k = 0; k < expected.size(); k++)
            ASSERT_EQ(l.coords[4 * k], expected[k]) << text << "vertex " << k;
        EXPECT_EQ(l.coords[4 * expected.size() - 1], -expected.back()) << text;
    }
}

TEST(OoglReader, KeyWordsContainersAndDimensions)
{
    struct Row {
        const char* text;
        int dim;
        uint64_t triangles, lines, points;
    };
    const Row rows[] = {
        {"OFF 3 1 0 0 0 0 1 0 0 0 1 0 3 0 1 2", 4, 3, 4, 0},
        {"3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2", 4, 3, 4, 0},
        {"nOFF 6 1 1 0\n1 2 3 4 5 6\n1 0", 6, 0, 0, 1},
        {"4nOFF 6 1 1 0\n1 2 3 4 5 6 7\n1 0", 7, 0, 0, 1},
        {"CN4OFF 1 1 0\n1 2 3 4  0 0 1  1 0 0 1\n1 0", 4, 0, 0, 1},
        {"STCNnOFF 4 1 1 0\n1 2 3 4  0 0 1 0  1 0 0 1  0.5 0.5\n1 0", 4, 0, 0, 1},
        {"{ LIST appearance { material { diffuse 1 0 0 } } { 4SKEL 2 1 0 0 0 0 1 1 1 1 2 0 1 }\n"
         "# a comment with { and }\n SKEL 1 1 9 9 9 1 0 }",
            4, 0, 2, 1},
        {"LIST 4OFF 3 1 0 0 0 0 0 1 0 0 0 0 1 0 0 3 0 1 2", 4, 3, 4, 0},
    };
    for (const Row& row : rows) {
        Read r(row.text);
        ASSERT_EQ(r.reason, nullptr) << row.text << ": " << r.reason;
        const ShapeData* t = r.kind(SHAPE_TRIANGLES);
        const ShapeData* l = r.kind(SHAPE_LINES);
        const ShapeData* p = r.kind(SHAPE_POINTS);
        EXPECT_EQ(r.shapes[0].dim, row.dim) << row.text;
        EXPECT_EQ(t ? t->vertex_count : 0, row.triangles) << row.text;
        EXPECT_EQ(l ? l->vertex_count : 0, row.lines) << row.text;
        EXPECT_EQ(p ? p->vertex_count : 0, row.points) << row.text;
    }
}

TEST(OoglReader, RefusesBadFilesNamingTheLineAndTheFault)
{
    std::string many(300, '7'), zeros;
    for (int k = 0; k < 3000; k++)
        zeros += " 0";
    struct Row {
        std::string text, reason;
    };
    const Row rows[] = {
        {"", not_oogl},
        {"not a surface\n", not_oogl},
        {"4SKEL\n3 1\n0 0 0 0\n1 1 1 1\n2 2 2 2\n2 0 3\n", "line 6: index 3 is past the 3 vertices"},
        {"4SKEL\n1 1\n0 0 0 0\n0\n", "line 4: polyline 0 has no vertices"},
        {"4SKEL\n1 1\n0 0 0 0\n1000000 0 0\n",
            "line 4: 1000000 vertex indices, more than the 5 bytes left can hold"},
        {"4SKEL\n99999999999999999999 1\n",
            "line 2: expected the vertex count, found '99999999999999999999'"},
        {"4SKEL\n4611686018427387904 1\n0 0 0 0\n1 0\n",
            "line 2: 4611686018427387904 vertices, more than the 13 bytes left can hold"},
        {"4OFF 1 1 0\n0 nan 0 0\n1 0\n", "line 2: a coordinate of vertex 0 'nan' is not finite"},
        {"4OFF 1 1 0\n0 0 -inf 0\n1 0\n", "line 2: a coordinate of vertex 0 '-inf' is not finite"},
        {"4OFF 1 1 0\n0 0 1e39 0\n1 0\n",
            "line 2: a coordinate of vertex 0 '1e39' is beyond the range of a float"},
        {"4OFF 1 1 0\n0 0 x 0\n1 0\n", "line 2: expected a coordinate of vertex 0, found 'x'"},
        {"4OFF 2 1 0\n0 0 0 0\n", "line 1: 2 vertices, more than the 9 bytes left can hold"},
        {"nSKEL 2 1 1\n0 0\n1 0\n",
            "line 1: 2 coordinates per vertex: at least 3 are needed (3 are read with w = 0)"},
        {"4nSKEL 255 0 0\n", "line 1: 256 coordinates per vertex: at most 255 can be shown"},
        {"LIST\n4SKEL 1 1 0 0 0 0 1 0\nnSKEL 5 1 1 0 0 0 0 0 1 0\n",
            "line 3: m = 5 (5 coordinates per vertex), but the object of line 2 has m = 4"},
        {"4OFF BINARY\n", "line 1: '4OFF' BINARY: binary objects are not read; write it as text"},
        {"4OFF 1 1 0 0 0 0 0 1 0 0.5 0.5\n",
            "line 1: a colour of 2 values: expected 3 or 4, or one colour-map index"},
        {"4OFF 1 1 0 0 0 0 0 1 0 1 1 1 1 1\n", "line 1: a colour of more than 4 values"},
        {"{ 4SKEL 1 1 0 0 0 0 1 0\n", "line 1: the file ends with 1 '{' not closed"},
        {"4SKEL 1 1 0 0 0 0 1 0 }\n", "line 1: a '}' with no '{' open"},
        {"appearance { shading flat\n", "line 1: the file ends inside the appearance block of line 1"},
        {"LIST\nMESH 2 2\n", "line 2: expected an OFF, SKEL or LIST object, found 'MESH'"},
        {"4OFF 0 0 0\n", "line 1: nothing to draw: no face, polyline or point"},
        {"4OFF 3 0\n", "line 1: expected the edge count, found the end of the file"},
        {"4SKEL 1 1 " + many + " 0 0 0 1 0", "line 1: a word of more than 256 characters"},
        // 6 kB of indices of one vertex of 255 coordinates asking for 9 MB of triangles.
        {"nOFF 255 1 1 0" + zeros.substr(0, 510) + "\n3000" + zeros,
            "line 2: too large: the shapes would take far more memory than the file's size calls for"},
    };
    for (const Row& row : rows) {
        ShapeData shapes[max_shapes_oogl] = {};
        int count = -1;
        const char* reason = parse_shapes_oogl(row.text.data(), row.text.size(), shapes, &count);
        ASSERT_NE(reason, nullptr) << row.text;
        EXPECT_EQ(std::string(reason), row.reason) << row.text;
        EXPECT_EQ(count, -1) << row.text;
        EXPECT_EQ(shapes[0].coords, nullptr) << row.text;
    }
}

TEST(OoglReader, AFileReadInPiecesGivesWhatItsBytesGive)
{
    // Past the reader's buffer of a megabyte, so that words cross its ends.
    std::string text = "4SKEL\n100000 1000\n";
    for (int v = 0; v < 100000; v++)
        text += std::to_string(v) + ".25 -1e-3 # a comment\n 2 3\n";
    for (int p = 0; p < 1000; p++) {
        text += "100";
        for (int k = 0; k < 100; k++)
            text += " " + std::to_string(100 * p + k);
        text += "\n";
    }
    Read memory(text);
    ShapeData shapes[max_shapes_oogl];
    int count;
    ASSERT_EQ(read_shapes_oogl(write_test_file("large.skel", text).c_str(), shapes, &count), nullptr);
    ASSERT_EQ(memory.reason, nullptr);
    ASSERT_EQ(count, 1);
    ASSERT_EQ(shapes[0].vertex_count, 100000u);
    EXPECT_EQ(memcmp(shapes[0].coords, memory.shapes[0].coords, 16 * 100000), 0);
    EXPECT_EQ(shapes[0].coords[4 * 99999], 99999.25f);
    EXPECT_EQ(memcmp(shapes[0].joins, memory.shapes[0].joins, 100000), 0);
    free_shape(&shapes[0]);

    EXPECT_STREQ(read_shapes_oogl(test_path("missing.skel").c_str(), shapes, &count),
        "cannot open: No such file or directory");
}

} // namespace
