// Files written whole or not at all, through a temporary name and rename,
// and removed again when a signal ends the program.
#include "core/output.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

enum SlotState {
    SLOT_FREE,
    SLOT_TEMP, // a temporary file being written
    SLOT_DONE, // a finished file of the armed run
};

struct Slot {
    std::atomic<int> state;
    char path[PATH_MAX];
};

const int ending_signals[] = {SIGINT, SIGTERM, SIGHUP};

// What a signal removes. Fixed storage, since the handler may not allocate;
// changed only with the ending signals blocked, so the handler never sees
// half of a change.
struct {
    Slot slots[16];
    char pattern[PATH_MAX]; // the watched frames; empty when none
    std::atomic<long> frames;
    std::atomic<pid_t> child;
    bool armed;
    bool caught; // the handler is installed
    struct sigaction previous[std::size(ending_signals)];
} cleanup;

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<long>::is_always_lock_free
    && std::atomic<pid_t>::is_always_lock_free);

} // namespace

static void __ending_signals_output(sigset_t* signals)
{
    sigemptyset(signals);
    for (int signal_number : ending_signals)
        sigaddset(signals, signal_number);
}

void block_signals_output(sigset_t* saved)
{
    sigset_t signals;
    __ending_signals_output(&signals);
    pthread_sigmask(SIG_BLOCK, &signals, saved);
}

int name_frame_output(const char* pattern, long k, char* name, size_t size)
{
    if (k < 0 || k > INT_MAX)
        return 0;
    size_t length = 0;
    int conversions = 0;
    auto put = [&](char c) {
        if (length + 1 < size)
            name[length] = c;
        length++;
    };
    for (const char* c = pattern; *c; c++) {
        if (c[0] != '%' || c[1] == '%') {
            c += c[0] == '%';
            put(*c);
            continue;
        }
        bool zero = c[1] == '0';
        int width = 0;
        for (c++; *c >= '0' && *c <= '9' && width < 1000; c++)
            width = 10 * width + (*c - '0');
        if (*c != 'd' || ++conversions > 1)
            return 0;
        char digits[24];
        int count = 0;
        for (long rest = k; count == 0 || rest > 0; rest /= 10)
            digits[count++] = static_cast<char>('0' + rest % 10);
        for (int pad = width - count; pad > 0; pad--)
            put(zero ? '0' : ' ');
        while (count > 0)
            put(digits[--count]);
    }
    if (length >= size)
        return 0;
    name[length] = '\0';
    return 1;
}

// Removes a frame only where it is a plain file: a name that is a link, a
// FIFO or a device was written through, not made.
static void __remove_frame_output(const char* name)
{
    struct stat status;
    if (lstat(name, &status) == 0 && S_ISREG(status.st_mode))
        unlink(name);
}

static void __end_output(int signal_number)
{
    // Reaped first, so that the encoder cannot make its file again after it
    // is removed.
    pid_t child = cleanup.child.load();
    if (child > 0) {
        kill(child, SIGKILL);
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) { }
    }
    for (Slot& slot : cleanup.slots)
        if (slot.state.load() != SLOT_FREE)
            unlink(slot.path);
    char name[PATH_MAX];
    for (long k = cleanup.frames.load(); k > 0; k--)
        if (name_frame_output(cleanup.pattern, k, name, sizeof name))
            __remove_frame_output(name);
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

// Catches the ending signals while there is something to remove, and gives
// them back their previous handling once there is not.
static void __settle_output()
{
    bool needed = cleanup.armed || cleanup.child.load() > 0 || cleanup.pattern[0];
    for (const Slot& slot : cleanup.slots)
        needed |= slot.state.load() != SLOT_FREE;
    if (needed == cleanup.caught)
        return;
    struct sigaction action = {};
    action.sa_handler = __end_output;
    __ending_signals_output(&action.sa_mask);
    for (size_t k = 0; k < std::size(ending_signals); k++) {
        if (needed) {
            sigaction(ending_signals[k], nullptr, &cleanup.previous[k]);
            if (cleanup.previous[k].sa_handler != SIG_IGN)
                sigaction(ending_signals[k], &action, nullptr);
        } else if (cleanup.previous[k].sa_handler != SIG_IGN) {
            sigaction(ending_signals[k], &cleanup.previous[k], nullptr);
        }
    }
    cleanup.caught = needed;
}

// Settles the handling of the ending signals for what is listed now, then
// unblocks them.
static void __release_output(const sigset_t* saved)
{
    __settle_output();
    pthread_sigmask(SIG_SETMASK, saved, nullptr);
}

// Puts path among the names a signal removes. Returns 0 when they are full.
static int __list_output(const char* path, SlotState state)
{
    for (Slot& slot : cleanup.slots)
        if (slot.state.load() == SLOT_FREE) {
            strcpy(slot.path, path);
            slot.state.store(state);
            return 1;
        }
    return 0;
}

static void __unlist_output(const char* temp)
{
    for (Slot& slot : cleanup.slots)
        if (slot.state.load() == SLOT_TEMP && strcmp(slot.path, temp) == 0)
            slot.state.store(SLOT_FREE);
}

// Whether a link may be followed, by the kernel's rule for shared folders
// (fs.protected_symlinks): in a sticky folder anyone may write to, only a
// link of one's own or of the folder's owner.
static int __may_follow_output(const char* link, const struct stat* status)
{
    const char* slash = strrchr(link, '/');
    char folder[PATH_MAX];
    snprintf(
        folder, sizeof folder, "%.*s", slash ? static_cast<int>(slash - link + 1) : 1, slash ? link : ".");
    struct stat seen;
    if (stat(folder, &seen) != 0)
        return 0;
    bool shared = (seen.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
    return !shared || status->st_uid == geteuid() || status->st_uid == seen.st_uid;
}

// Follows the links from path to the file they name. Returns 1 with its name
// in target and its status (st_mode 0 when nothing is there yet), or 0 with
// errno set.
static int __follow_output(const char* path, char* target, struct stat* status)
{
    if (strlen(path) >= PATH_MAX) {
        errno = ENAMETOOLONG;
        return 0;
    }
    strcpy(target, path);
    // As many links as the kernel follows before ELOOP.
    for (int links = 0; links <= 40; links++) {
        if (lstat(target, status) != 0) {
            status->st_mode = 0;
            return errno == ENOENT;
        }
        if (!S_ISLNK(status->st_mode))
            return 1;
        if (!__may_follow_output(target, status)) {
            errno = EACCES;
            return 0;
        }
        char link[PATH_MAX];
        ssize_t length = readlink(target, link, sizeof link);
        if (length < 0)
            return 0;
        if (static_cast<size_t>(length) == sizeof link) {
            errno = ENAMETOOLONG;
            return 0;
        }
        link[length] = '\0';
        // A relative link is read from its own folder.
        const char* slash = strrchr(target, '/');
        int folder = link[0] != '/' && slash ? static_cast<int>(slash - target + 1) : 0;
        char next[PATH_MAX];
        if (static_cast<size_t>(snprintf(next, sizeof next, "%.*s%s", folder, target, link)) >= sizeof next) {
            errno = ENAMETOOLONG;
            return 0;
        }
        strcpy(target, next);
    }
    errno = ELOOP;
    return 0;
}

int open_output(const char* path, int suffix_length, Output* output)
{
    output->path = path;
    output->file = nullptr;
    output->temp[0] = '\0';
    struct stat status;
    if (!__follow_output(path, output->target, &status))
        return 0;
    if (S_ISDIR(status.st_mode)) {
        errno = EISDIR;
        return 0;
    }
    int fd = -1;
    if (status.st_mode != 0 && !S_ISREG(status.st_mode)) {
        // A rename would put a plain file in place of the FIFO or device.
        fd = open(output->target, O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC);
    } else {
        // The same folder, so that the rename stays within one file system
        // and replaces the target in one step; hidden, so no one mistakes it
        // for the finished file.
        const char* slash = strrchr(output->target, '/');
        int folder = slash ? static_cast<int>(slash - output->target + 1) : 0;
        int length = snprintf(output->temp, sizeof output->temp, "%.*s.%s.XXXXXX%s", folder, output->target,
            output->target + folder, path + strlen(path) - suffix_length);
        if (length < 0 || static_cast<size_t>(length) >= sizeof output->temp) {
            output->temp[0] = '\0';
            errno = ENAMETOOLONG;
            return 0;
        }
        sigset_t saved;
        block_signals_output(&saved);
        fd = mkostemps(output->temp, suffix_length, O_CLOEXEC);
        if (fd >= 0 && !__list_output(output->temp, SLOT_TEMP)) {
            close(fd);
            unlink(output->temp);
            fd = -1;
            errno = EMFILE;
        }
        int error = errno;
        if (fd < 0)
            output->temp[0] = '\0';
        __release_output(&saved);
        errno = error;
    }
    if (fd < 0)
        return 0;
    output->file = fdopen(fd, "wb");
    if (!output->file) {
        int error = errno;
        close(fd);
        discard_output(output);
        errno = error;
        return 0;
    }
    return 1;
}

// The file is in place: a frame of the watched ones, once renamed a file of
// the armed run, or else no longer for a signal to remove.
static void __committed_output(const Output* output)
{
    char name[PATH_MAX];
    bool frame = cleanup.pattern[0]
        && name_frame_output(cleanup.pattern, cleanup.frames.load() + 1, name, sizeof name)
        && strcmp(name, output->path) == 0;
    if (frame)
        cleanup.frames.fetch_add(1);
    if (output->temp[0]) {
        __unlist_output(output->temp);
        if (cleanup.armed && !frame)
            __list_output(output->target, SLOT_DONE); // in the slot just freed
    }
}

int commit_output(Output* output)
{
    int failed = 0;
    if (output->file) {
        // A full disk may show only when the buffer goes out.
        failed = fflush(output->file) != 0 || ferror(output->file);
        int error = errno;
        failed |= fclose(output->file) != 0;
        output->file = nullptr;
        if (failed && error)
            errno = error;
    }
    if (!failed && output->temp[0]) {
        // mkostemps makes the file readable by its owner alone.
        mode_t mask = umask(0);
        umask(mask);
        failed = chmod(output->temp, 0666 & ~mask) != 0;
    }
    sigset_t saved;
    block_signals_output(&saved);
    if (!failed && output->temp[0])
        failed = rename(output->temp, output->target) != 0;
    if (!failed)
        __committed_output(output);
    int error = errno;
    __release_output(&saved);
    if (failed) {
        discard_output(output);
        errno = error;
        return 0;
    }
    output->temp[0] = '\0';
    return 1;
}

void discard_output(Output* output)
{
    if (output->file)
        fclose(output->file);
    output->file = nullptr;
    if (output->temp[0]) {
        sigset_t saved;
        block_signals_output(&saved);
        unlink(output->temp);
        __unlist_output(output->temp);
        __release_output(&saved);
    }
    output->temp[0] = '\0';
}

void arm_output()
{
    sigset_t saved;
    block_signals_output(&saved);
    cleanup.armed = true;
    __release_output(&saved);
}

void disarm_output(int failed)
{
    sigset_t saved;
    block_signals_output(&saved);
    for (Slot& slot : cleanup.slots)
        if (slot.state.load() == SLOT_DONE) {
            if (failed)
                unlink(slot.path);
            slot.state.store(SLOT_FREE);
        }
    cleanup.armed = false;
    __release_output(&saved);
}

void watch_child_output(pid_t child)
{
    sigset_t saved;
    block_signals_output(&saved);
    cleanup.child.store(child);
    __release_output(&saved);
}

int watch_frames_output(const char* pattern)
{
    if (strlen(pattern) >= sizeof cleanup.pattern) {
        errno = ENAMETOOLONG;
        return 0;
    }
    sigset_t saved;
    block_signals_output(&saved);
    cleanup.frames.store(0);
    strcpy(cleanup.pattern, pattern);
    __release_output(&saved);
    return 1;
}

void end_frames_output(int remove)
{
    sigset_t saved;
    block_signals_output(&saved);
    char name[PATH_MAX];
    for (long k = cleanup.frames.load(); remove && k > 0; k--)
        if (name_frame_output(cleanup.pattern, k, name, sizeof name))
            __remove_frame_output(name);
    cleanup.frames.store(0);
    cleanup.pattern[0] = '\0';
    __release_output(&saved);
}
