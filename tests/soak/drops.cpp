// Preloaded into the viewer by the soak tests, never linked into it: hands
// the viewer's own drop callback one file per event poll, as GLFW does after
// a real drop, and logs the process's memory once each drop is handled.
//   SOAK_DROPS           a file naming the files to drop, one a line
//   SOAK_LOG             where a line goes after each drop, and one numbered
//                        0 before the first: the drop's number, then VmRSS,
//                        RssAnon, RssFile and RssShmem in KiB, then malloc's
//                        arena, in use, free and mmapped in bytes
//   SOAK_RAISE_GL_ERROR  when set, one GL error is raised before the first
//                        drop, so that a test can see its error checks work
#include <dlfcn.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <GLFW/glfw3.h>

static GLFWwindow* target = nullptr;
static GLFWdropfun dropped = nullptr;
static FILE* paths = nullptr;
static FILE* record = nullptr;
static long count = 0;

static void* __real_drops(const char* name)
{
    void* real = dlsym(RTLD_NEXT, name);
    if (!real) {
        fprintf(stderr, "soak: no %s to interpose\n", name);
        abort();
    }
    return real;
}

extern "C" GLFWdropfun glfwSetDropCallback(GLFWwindow* window, GLFWdropfun callback)
{
    using Set = GLFWdropfun (*)(GLFWwindow*, GLFWdropfun);
    target = window;
    dropped = callback;
    return reinterpret_cast<Set>(__real_drops("glfwSetDropCallback"))(window, callback);
}

// A name no glGenVertexArrays gave: binding it is GL_INVALID_OPERATION.
static void __raise_gl_error_drops()
{
    using Bind = void (*)(unsigned int);
    reinterpret_cast<Bind>(glfwGetProcAddress("glBindVertexArray"))(0x7fffffff);
}

// The kernel's figures for this process, in KiB.
static void __status_drops(long* rss, long* anon, long* file, long* shmem)
{
    *rss = *anon = *file = *shmem = -1;
    FILE* status = fopen("/proc/self/status", "r");
    if (!status)
        return;
    char line[256];
    while (fgets(line, sizeof line, status)) {
        sscanf(line, "VmRSS: %ld", rss);
        sscanf(line, "RssAnon: %ld", anon);
        sscanf(line, "RssFile: %ld", file);
        sscanf(line, "RssShmem: %ld", shmem);
    }
    fclose(status);
}

static void __log_drops()
{
    long rss, anon, file, shmem;
    __status_drops(&rss, &anon, &file, &shmem);
    struct mallinfo2 heap = mallinfo2();
    fprintf(record, "%ld %ld %ld %ld %ld %zu %zu %zu %zu\n", count, rss, anon, file, shmem, heap.arena,
        heap.uordblks, heap.fordblks, heap.hblkhd);
    fflush(record);
}

static void __open_drops()
{
    const char* list = getenv("SOAK_DROPS");
    const char* log = getenv("SOAK_LOG");
    if (!list || !log || !(paths = fopen(list, "r")) || !(record = fopen(log, "w"))) {
        fprintf(stderr, "soak: SOAK_DROPS and SOAK_LOG must name a readable list and a writable log\n");
        abort();
    }
    if (getenv("SOAK_RAISE_GL_ERROR"))
        __raise_gl_error_drops();
    __log_drops();
}

extern "C" void glfwPollEvents()
{
    using Poll = void (*)();
    static Poll poll = reinterpret_cast<Poll>(__real_drops("glfwPollEvents"));
    if (!paths)
        __open_drops();
    poll();

    char path[4096];
    if (!dropped || !fgets(path, sizeof path, paths))
        return;
    path[strcspn(path, "\n")] = '\0';
    const char* drop[1] = {path};
    dropped(target, 1, drop);
    count++;
    __log_drops();
}
