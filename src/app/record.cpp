// Recordings: PNG sequences, and clips encoded by ffmpeg through a pipe.
#include "app/record.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "draw/picture.h"

// 1 when out holds exactly one %d (with an optional zero flag and width)
// and any other % is %%; 0 when it holds no conversion; -1 otherwise.
static int __pattern_record(const char* out)
{
    int conversions = 0;
    for (const char* c = strchr(out, '%'); c; c = strchr(c + 1, '%')) {
        if (c[1] == '%') {
            c++;
            continue;
        }
        size_t width = strspn(c + 1, "0123456789");
        // Two digits of width are plenty for frame numbers.
        if (width > 2 || c[1 + width] != 'd')
            return -1;
        conversions++;
    }
    return conversions == 0 ? 0 : conversions == 1 ? 1 : -1;
}

static int __ends_with_record(const char* text, const char* suffix)
{
    size_t length = strlen(text), suffix_length = strlen(suffix);
    return length > suffix_length && strcmp(text + length - suffix_length, suffix) == 0;
}

RecordKind kind_record(const char* out)
{
    int pattern = __pattern_record(out);
    if (pattern != 0)
        return pattern == 1 ? RECORD_PNG : RECORD_NONE;
    if (__ends_with_record(out, ".mp4"))
        return RECORD_MP4;
    if (__ends_with_record(out, ".webm"))
        return RECORD_WEBM;
    if (__ends_with_record(out, ".gif"))
        return RECORD_GIF;
    return RECORD_NONE;
}

int __find_program_record(const char* program, char* found, size_t size)
{
    const char* path = getenv("PATH");
    for (const char* dir = path; dir && *dir;) {
        size_t length = strcspn(dir, ":");
        // An empty entry means the current folder.
        int written = length ? snprintf(found, size, "%.*s/%s", static_cast<int>(length), dir, program)
                             : snprintf(found, size, "./%s", program);
        if (written > 0 && static_cast<size_t>(written) < size && access(found, X_OK) == 0)
            return 1;
        dir += length + (dir[length] == ':');
    }
    return 0;
}

// The last line ffmpeg wrote to its log, as the reason it failed.
static const char* __ffmpeg_reason_record(int log)
{
    static char reason[256];
    char text[4096];
    ssize_t length = pread(log, text, sizeof text - 1, 0);
    if (length <= 0)
        return nullptr;
    text[length] = '\0';
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r'))
        text[--length] = '\0';
    const char* last = strrchr(text, '\n');
    snprintf(reason, sizeof reason, "%.200s", last ? last + 1 : text);
    return reason;
}

// Starts ffmpeg reading raw frames from a pipe and writing the clip's
// temporary file. Returns none, or why not.
static const char* __start_ffmpeg_record(Record* record, const char* ffmpeg)
{
    static char reason[160];
    char video_size[32];
    snprintf(video_size, sizeof video_size, "%dx%d", record->size, record->size);
    const char* head[] = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-f", "rawvideo",
        "-pixel_format", "rgb24", "-video_size", video_size, "-framerate", "60", "-i", "pipe:0"};
    // yuv420p is what players take; gif makes a palette of its own.
    const char* mp4[] = {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-f", "mp4"};
    // libvpx's default is its slowest setting; 4 takes a fraction of the time.
    const char* webm[] = {"-c:v", "libvpx-vp9", "-pix_fmt", "yuv420p", "-crf", "32", "-b:v", "0", "-cpu-used",
        "4", "-row-mt", "1", "-f", "webm"};
    // GIF counts delays in hundredths of a second, so 60 frames a second come
    // out as delays of 1 and 2 in turn, and players slow a delay of 1 to 10:
    // 50 frames a second (every sixth dropped) gives every frame a delay of 2.
    const char* gif[]
        = {"-filter_complex", "fps=50,split[a][b];[a]palettegen[p];[b][p]paletteuse", "-f", "gif"};
    const char** tail = record->kind == RECORD_MP4 ? mp4 : record->kind == RECORD_WEBM ? webm : gif;
    size_t tail_count = record->kind == RECORD_MP4 ? std::size(mp4)
        : record->kind == RECORD_WEBM              ? std::size(webm)
                                                   : std::size(gif);
    const char* argv[std::size(head) + std::size(webm) + 3];
    size_t count = 0;
    for (const char* word : head)
        argv[count++] = word;
    for (size_t k = 0; k < tail_count; k++)
        argv[count++] = tail[k];
    // "file:", so that no name is taken for another of ffmpeg's protocols.
    char clip[PATH_MAX + 8];
    snprintf(clip, sizeof clip, "file:%s", record->clip.temp[0] ? record->clip.temp : record->clip.target);
    argv[count++] = "-y";
    argv[count++] = clip;
    argv[count] = nullptr;

    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        snprintf(reason, sizeof reason, "cannot start ffmpeg: %s", strerror(errno));
        return reason;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[0], 0);
    posix_spawn_file_actions_adddup2(&actions, record->log, 2);
    // Watched before a signal can come, so that one ends the encoder too; it
    // starts with the signals as they were.
    sigset_t saved;
    block_signals_output(&saved);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setsigmask(&attributes, &saved);
    int error
        = posix_spawn(&record->ffmpeg, ffmpeg, &actions, &attributes, const_cast<char**>(argv), environ);
    if (!error)
        watch_child_output(record->ffmpeg);
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[0]);
    if (error) {
        close(ends[1]);
        record->ffmpeg = 0;
        snprintf(reason, sizeof reason, "cannot start ffmpeg: %s", strerror(error));
        return reason;
    }
    record->pipe = ends[1];
    return nullptr;
}

const char* open_record(const char* out, int size, Record* record)
{
    static char reason[160];
    *record = {};
    record->out = out;
    record->kind = kind_record(out);
    record->size = size;
    record->pipe = -1;
    record->log = -1;
    if (record->kind == RECORD_PNG)
        return watch_frames_output(out) ? nullptr : "cannot write: frame name too long";

    char ffmpeg[PATH_MAX];
    if (!__find_program_record("ffmpeg", ffmpeg, sizeof ffmpeg))
        return "cannot record: ffmpeg is not on PATH (Debian package ffmpeg)";
    // The temporary name keeps the suffix: ffmpeg is told the format, but a
    // reader of a stray file should see it too.
    const char* suffix = strrchr(out, '.');
    if (!open_output(out, static_cast<int>(strlen(suffix)), &record->clip)) {
        snprintf(reason, sizeof reason, "cannot write: %s", strerror(errno));
        return reason;
    }
    // ffmpeg opens the file by its name; it stays open here until the end,
    // so that a reader of a FIFO does not see it end before ffmpeg starts.

    // MP4 goes back to fill in sizes once the clip is done, which a pipe cannot.
    struct stat status;
    if (record->kind == RECORD_MP4 && fstat(fileno(record->clip.file), &status) == 0
        && S_ISFIFO(status.st_mode)) {
        discard_record(record);
        return "cannot write: an MP4 clip cannot go to a pipe (WebM and GIF can)";
    }
    FILE* log = tmpfile();
    record->log = log ? dup(fileno(log)) : -1;
    if (log)
        fclose(log);
    // A write to an encoder that has died must fail, not end the program.
    signal(SIGPIPE, SIG_IGN);
    const char* fault = record->log < 0 ? "cannot start ffmpeg: no temporary file for its messages"
                                        : __start_ffmpeg_record(record, ffmpeg);
    if (fault) {
        discard_record(record);
        return fault;
    }
    return nullptr;
}

// Closes the pipe and waits for ffmpeg; returns its exit status, or -1.
static int __wait_ffmpeg_record(Record* record)
{
    if (record->pipe >= 0)
        close(record->pipe);
    record->pipe = -1;
    int status = -1;
    if (record->ffmpeg > 0) {
        // Not reaped until it is no longer watched, so that a signal cannot
        // end another process given its pid.
        siginfo_t ended;
        while (waitid(P_PID, static_cast<id_t>(record->ffmpeg), &ended, WEXITED | WNOWAIT) < 0
            && errno == EINTR) { }
        watch_child_output(0);
        while (waitpid(record->ffmpeg, &status, 0) < 0 && errno == EINTR) { }
        record->ffmpeg = 0;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const char* write_record(Record* record, const uint8_t* rgb)
{
    static char reason[PATH_MAX + 64];
    size_t bytes = 3 * static_cast<size_t>(record->size) * static_cast<size_t>(record->size);
    if (record->kind == RECORD_PNG) {
        char name[PATH_MAX];
        if (!name_frame_output(record->out, record->frames + 1, name, sizeof name))
            return "cannot write: frame name too long";
        Output output;
        const char* fault = nullptr;
        if (!open_output(name, 0, &output)) {
            snprintf(reason, sizeof reason, "%s: cannot write: %s", name, strerror(errno));
            discard_record(record);
            return reason;
        }
        if ((fault = save_png_picture(&output, rgb, record->size)) != nullptr) {
            snprintf(reason, sizeof reason, "%s: %s", name, fault);
            discard_record(record);
            return reason;
        }
        record->frames++;
        return nullptr;
    }
    for (size_t done = 0; done < bytes;) {
        ssize_t written = write(record->pipe, rgb + done, bytes - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            // ffmpeg ended early; what it said is the better reason.
            int error = errno;
            __wait_ffmpeg_record(record);
            const char* said = __ffmpeg_reason_record(record->log);
            snprintf(reason, sizeof reason, "ffmpeg failed: %s", said ? said : strerror(error));
            discard_record(record);
            return reason;
        }
        done += static_cast<size_t>(written);
    }
    record->frames++;
    return nullptr;
}

const char* close_record(Record* record)
{
    static char reason[320];
    if (record->kind == RECORD_PNG) {
        end_frames_output(0);
        return nullptr;
    }
    int status = __wait_ffmpeg_record(record);
    const char* fault = nullptr;
    if (status != 0) {
        const char* said = record->log >= 0 ? __ffmpeg_reason_record(record->log) : nullptr;
        snprintf(reason, sizeof reason, "ffmpeg failed: %s", said ? said : "no message");
        fault = reason;
    } else if (!commit_output(&record->clip)) {
        snprintf(reason, sizeof reason, "cannot write: %s", strerror(errno));
        fault = reason;
    }
    discard_record(record);
    return fault;
}

void discard_record(Record* record)
{
    if (record->kind == RECORD_PNG) {
        end_frames_output(1);
        record->frames = 0;
        return;
    }
    __wait_ffmpeg_record(record);
    discard_output(&record->clip);
    if (record->log >= 0)
        close(record->log);
    record->log = -1;
}
