// Input a stranger controls: drops of paths that are not surface files, and
// storms of key, scroll and drop events as GLFW would deliver them.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <cglm/cglm.h>
#include <epoxy/gl.h>
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include "app/render.h"
#include "gl_test.h"
#include "app/input.h"
#include "draw/mesh.h"
#include "core/motion.h"
#include "surface_files.h"
#include "app/window.h"

// The view on show, whose orientation and axes the tests read and set.
static View& shown = const_cast<View&>(view);

namespace {

std::string valid_surface(const std::string& name, uint8_t dim)
{
    return write_test_file(name, klein_bytes(dim, 3, filled(3 * dim, 0.25f), filled(3 * dim, 0.5f)));
}

// Turns, held keys and the swap state go back to a fresh viewer's, so that
// tests after these see the picture they expect.
class Hostile : public testing::Test {
protected:
    // What the window put there for held keys, to put back.
    int (*found)(GLFWwindow*, int) = key_state_input;

    void TearDown() override
    {
        for (int k = 0; k < 200 && animate_index != 0; k++)
            main_loop();
        key_state_input = found;
        glm_quat_identity(shown.q);
        const vec3 initial[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
        memcpy(shown.axis, initial, sizeof shown.axis);
    }
};

TEST_F(Hostile, DropsOfWhatIsNoSurfaceChangeNothing)
{
    drop_surface(6, filled(18, 0.25f), filled(18, 0.5f));
    choose_coordinates(0, 5, 2, 1);
    const Shown before = {shown_mesh(), chosen()};
    const GLuint vertex_array = shown_mesh()->vertex_array;

    std::string dir = test_path("");
    std::string fifo = test_path("hostile-fifo");
    unlink(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string loop = test_path("hostile-loop");
    unlink(loop.c_str());
    ASSERT_EQ(symlink(loop.c_str(), loop.c_str()), 0);
    // A socket bound to a path: open() on it fails, where reading would hang.
    std::string socket_path = test_path("hostile-socket");
    unlink(socket_path.c_str());
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socket_path.size(), sizeof address.sun_path);
    strcpy(address.sun_path, socket_path.c_str());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    std::string valid = valid_surface("hostile-valid.klein", 5);
    std::string refused = write_test_file("hostile refused é.klein", std::string("KLEIN\0\x05", 7));

    struct Row {
        const char* what;
        std::vector<std::string> paths;
    } rows[] = {
        {"missing file", {test_path("no-such-file.klein")}},
        {"missing directory", {"/nonexistent/surface.klein"}},
        {"empty path", {""}},
        {"directory", {dir}},
        {"named pipe without a writer", {fifo}},
        {"endless device", {"/dev/zero"}},
        {"empty character device", {"/dev/null"}},
        {"socket", {socket_path}},
        {"link to itself", {loop}},
        {"spaces and UTF-8 in a refused file's name", {refused}},
        {"only the first path of a drop counts", {fifo, valid}},
        {"several hostile paths", {socket_path, "/dev/zero", dir}},
    };
    const std::vector<int> descriptors = open_descriptors();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<const char*> paths;
        for (const std::string& path : row.paths)
            paths.push_back(path.c_str());
        __drop_callback_input(window, static_cast<int>(paths.size()), paths.data());
        expect_shown(before);
        EXPECT_TRUE(glIsVertexArray(vertex_array));
        EXPECT_EQ(open_descriptors(), descriptors);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
    close(listener);
    unlink(socket_path.c_str());
    unlink(fifo.c_str());
    unlink(loop.c_str());

    // A surface whose name has spaces and UTF-8 is shown like any other.
    std::string unusual = valid_surface("surface à Möbius, 2 × 2.klein", 7);
    const char* paths[] = {unusual.c_str()};
    __drop_callback_input(window, 1, paths);
    EXPECT_EQ(view.dim, 7);
    EXPECT_NE(shown_mesh(), before.mesh);
}

std::set<int> held;

int held_state(GLFWwindow*, int key)
{
    return held.count(key) ? GLFW_PRESS : GLFW_RELEASE;
}

testing::AssertionResult finite_orientation()
{
    for (int k = 0; k < 4; k++)
        if (!std::isfinite(shown.q[k]))
            return testing::AssertionFailure() << "q[" << k << "] = " << shown.q[k];
    for (int i = 0; i < 3; i++)
        for (int k = 0; k < 3; k++)
            if (!std::isfinite(shown.axis[i][k]))
                return testing::AssertionFailure() << "axis[" << i << "][" << k << "] = " << shown.axis[i][k];
    return testing::AssertionSuccess();
}

testing::AssertionResult sound_choice()
{
    const Choice p = chosen();
    const uint8_t indices[4] = {p.x, p.y, p.z, p.w};
    for (int a = 0; a < 4; a++) {
        for (int b = a + 1; b < 4; b++)
            if (indices[a] == indices[b])
                return testing::AssertionFailure()
                    << "indices " << a << " and " << b << " are both " << int(indices[a]);
        if (shown_mesh() && indices[a] >= p.dim)
            return testing::AssertionFailure()
                << "index " << a << " is " << int(indices[a]) << " with dim " << int(p.dim);
    }
    return testing::AssertionSuccess();
}

// 10 000 key events and 10 000 scroll events in random order, with drops of
// good and bad files and frames in between. After every event the choice of
// coordinates is four different ones the surface has and the orientation is
// finite; after every frame q is of unit length.
TEST_F(Hostile, StormsOfEventsKeepTheStateSound)
{
    std::vector<std::string> files;
    for (uint8_t dim : {4, 5, 6, 9, 12})
        files.push_back(valid_surface("storm-" + std::to_string(dim) + ".klein", dim));
    std::string valid = klein_bytes(8, 3, filled(24, 0.25f), filled(24, 0.5f));
    files.push_back(write_test_file("storm-truncated.klein", valid.substr(0, valid.size() - 1)));
    files.push_back(
        write_test_file("storm-three.klein", klein_bytes(3, 3, filled(9, 0.5f), filled(9, 0.5f))));
    files.push_back(write_test_file("storm-foreign.klein", "P6\n1 1\n255\n\xff\xff\xff"));
    files.push_back("/dev/zero");

    std::vector<int> keys = {GLFW_KEY_UNKNOWN, GLFW_KEY_SPACE, GLFW_KEY_LAST, GLFW_KEY_I, GLFW_KEY_O,
        GLFW_KEY_P, GLFW_KEY_Q, GLFW_KEY_W, GLFW_KEY_A, GLFW_KEY_S, GLFW_KEY_Z, GLFW_KEY_X};
    for (int key = GLFW_KEY_0; key <= GLFW_KEY_9; key++)
        keys.push_back(key);
    for (int key = GLFW_KEY_KP_0; key <= GLFW_KEY_KP_9; key++)
        keys.push_back(key);
    const int actions[] = {GLFW_PRESS, GLFW_PRESS, GLFW_REPEAT, GLFW_RELEASE};
    const double offsets[]
        = {0.0, 1.0, -1.0, 3.5, -120.0, 1e9, -1e38, 1e300, -1.7e308, HUGE_VAL, -HUGE_VAL, NAN, 4.9e-324};

    key_state_input = held_state;
    std::mt19937 random(20261208);
    int key_events = 0, scroll_events = 0;
    for (int event = 0; key_events < 10000 || scroll_events < 10000; event++) {
        bool key = scroll_events >= 10000 || (key_events < 10000 && random() % 2);
        if (key) {
            __key_callback_input(window, keys[random() % keys.size()], 0, actions[random() % 4],
                static_cast<int>(random() % 64));
            key_events++;
        } else {
            double x = offsets[random() % std::size(offsets)], y = offsets[random() % std::size(offsets)];
            __scroll_callback_input(window, x, y);
            scroll_events++;
        }
        if (event % 97 == 0) {
            const char* paths[] = {files[random() % files.size()].c_str()};
            __drop_callback_input(window, 1, paths);
        }
        ASSERT_TRUE(sound_choice()) << "event " << event;
        ASSERT_TRUE(finite_orientation()) << "event " << event;
        if (event % 23 == 0) {
            held.clear();
            held.insert(keys[random() % keys.size()]);
            main_loop();
            ASSERT_TRUE(finite_orientation()) << "frame after event " << event;
            ASSERT_NEAR(glm_quat_norm(shown.q), 1.0f, 1e-5f) << "frame after event " << event;
        }
    }
    held.clear();

    // Once the last turn has ended, the attributes read what the record names.
    for (int k = 0; k < 200 && animate_index != 0; k++)
        main_loop();
    ASSERT_EQ(animate_index, 0);
    ASSERT_NE(shown_mesh(), nullptr);
    main_loop();
    const uint8_t indices[4] = {view.show[0], view.show[1], view.show[2], view.show[3]};
    for (GLuint location = 0; location < 8; location++)
        EXPECT_EQ(attribute_offset(location), 4u * indices[location % 4]) << "location " << location;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

} // namespace
