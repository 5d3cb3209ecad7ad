// Files written whole or not at all, through a temporary name and rename,
// and special files written in place.
#include "output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

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
        fd = mkostemps(output->temp, suffix_length, O_CLOEXEC);
        if (fd < 0)
            output->temp[0] = '\0';
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
        failed = chmod(output->temp, 0666 & ~mask) != 0 || rename(output->temp, output->target) != 0;
    }
    if (failed) {
        int error = errno;
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
    if (output->temp[0])
        unlink(output->temp);
    output->temp[0] = '\0';
}
