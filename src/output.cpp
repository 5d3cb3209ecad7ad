// Files written whole or not at all, through a temporary name and rename.
#include "output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

int open_output(const char* path, int suffix_length, Output* output)
{
    output->path = path;
    output->file = nullptr;
    output->temp[0] = '\0';
    // The same folder, so that the rename stays within one file system and
    // replaces the target in one step; hidden, so no one mistakes it for
    // the finished file.
    const char* slash = strrchr(path, '/');
    int folder = slash ? static_cast<int>(slash - path + 1) : 0;
    int length = snprintf(output->temp, sizeof output->temp, "%.*s.%s.XXXXXX%s", folder, path, path + folder,
        path + strlen(path) - suffix_length);
    if (length < 0 || static_cast<size_t>(length) >= sizeof output->temp) {
        output->temp[0] = '\0';
        errno = ENAMETOOLONG;
        return 0;
    }
    int fd = mkostemps(output->temp, suffix_length, O_CLOEXEC);
    if (fd < 0) {
        output->temp[0] = '\0';
        return 0;
    }
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
    if (!failed) {
        // mkostemps makes the file readable by its owner alone.
        mode_t mask = umask(0);
        umask(mask);
        failed = chmod(output->temp, 0666 & ~mask) != 0 || rename(output->temp, output->path) != 0;
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
