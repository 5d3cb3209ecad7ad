// Words of a text file. The buffer always holds a whole word past the
// blanks before it, so that a word is parsed where it lies, and a file of
// gigabytes costs no more memory than a megabyte.
#include "core/scan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// A fuzz build shrinks the buffer so that short inputs cross its ends.
#ifndef PLEXORAMA_SCAN_BUFFER
#define PLEXORAMA_SCAN_BUFFER (1u << 20)
#endif
static_assert(PLEXORAMA_SCAN_BUFFER > 2 * word_limit_scan);

const char* open_file_scan(Scan* scan, const char* path)
{
    *scan = {};
    // Opening a named pipe blocking would wait for a writer forever.
    int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        snprintf(scan->reason, sizeof scan->reason, "cannot open: %s", strerror(errno));
        return scan->reason;
    }
    struct stat info;
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(descriptor);
        snprintf(scan->reason, sizeof scan->reason, "cannot open: not a regular file");
        return scan->reason;
    }
    scan->size = static_cast<uint64_t>(info.st_size);
    scan->capacity = scan->size < PLEXORAMA_SCAN_BUFFER ? scan->size + 1 : PLEXORAMA_SCAN_BUFFER;
    if (scan->capacity <= 2 * word_limit_scan)
        scan->capacity = 2 * word_limit_scan + 1;
    scan->buffer = static_cast<char*>(malloc(scan->capacity));
    if (!scan->buffer) {
        close(descriptor);
        snprintf(scan->reason, sizeof scan->reason, "out of memory");
        return scan->reason;
    }
    scan->descriptor = descriptor;
    scan->at = scan->end = scan->buffer;
    scan->line = 1;
    return nullptr;
}

void open_memory_scan(Scan* scan, const char* bytes, size_t size)
{
    *scan = {};
    scan->descriptor = -1;
    scan->buffer = const_cast<char*>(bytes);
    scan->at = bytes;
    scan->end = bytes + size;
    scan->size = size;
    scan->line = 1;
    scan->ended = true;
}

void close_scan(Scan* scan)
{
    if (scan->descriptor >= 0) {
        close(scan->descriptor);
        free(scan->buffer);
    }
    scan->descriptor = -1;
    scan->buffer = nullptr;
    scan->at = scan->end = nullptr;
}

const char* refuse_scan(Scan* scan, const char* format, ...)
{
    int written = snprintf(
        scan->reason, sizeof scan->reason, "line %llu: ", static_cast<unsigned long long>(scan->line));
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(scan->reason + written, sizeof scan->reason - written, format, arguments);
    va_end(arguments);
    return scan->reason;
}

// Moves the bytes not yet scanned to the buffer's start and reads after
// them until it is full or the file ends. Returns 1 when a read fails.
static int __fill_scan(Scan* scan)
{
    size_t kept = static_cast<size_t>(scan->end - scan->at);
    memmove(scan->buffer, scan->at, kept);
    scan->offset += static_cast<uint64_t>(scan->at - scan->buffer);
    scan->at = scan->buffer;
    scan->end = scan->buffer + kept;
    while (!scan->ended && static_cast<size_t>(scan->end - scan->buffer) < scan->capacity) {
        ssize_t got = read(scan->descriptor, const_cast<char*>(scan->end),
            scan->capacity - static_cast<size_t>(scan->end - scan->buffer));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            refuse_scan(scan, "cannot read: %s", strerror(errno));
            return 1;
        }
        if (got == 0)
            scan->ended = true;
        scan->end += got;
    }
    return 0;
}

static bool __blank_scan(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

static bool __word_scan(char c)
{
    return !__blank_scan(c) && c != '\n' && c != '{' && c != '}' && c != '#';
}

Word peek_scan(Scan* scan, bool within_line)
{
    // A comment may run on past the bytes in hand.
    bool in_comment = false;
    for (;;) {
        const char* at = scan->at;
        while (!in_comment && at < scan->end && (__blank_scan(*at) || (*at == '\n' && !within_line))) {
            scan->line += *at == '\n';
            at++;
        }
        scan->at = at;
        if (at < scan->end && (in_comment || *at == '#')) {
            const void* newline = memchr(at, '\n', static_cast<size_t>(scan->end - at));
            scan->at = newline ? static_cast<const char*>(newline) : scan->end;
            in_comment = !newline;
            if (newline)
                continue;
        } else if (at < scan->end && (*at == '\n' || *at == '{' || *at == '}')) {
            scan->word_line = *at == '\n' ? scan->word_line : scan->line;
            return {at, static_cast<size_t>(*at != '\n')};
        } else if (at < scan->end && (scan->ended || static_cast<size_t>(scan->end - at) > word_limit_scan)) {
            const char* stop = static_cast<size_t>(scan->end - at) > word_limit_scan
                ? at + word_limit_scan + 1
                : scan->end;
            const char* p = at;
            while (p < stop && __word_scan(*p))
                p++;
            if (p - at > static_cast<ptrdiff_t>(word_limit_scan)) {
                refuse_scan(scan, "a word of more than %zu characters", word_limit_scan);
                return {at, 0};
            }
            scan->word_line = scan->line;
            return {at, static_cast<size_t>(p - at)};
        }
        if (scan->ended && scan->at == scan->end) {
            // A refusal at the end names the line where the file's words end.
            scan->line = scan->word_line ? scan->word_line : 1;
            return {scan->at, 0};
        }
        if (__fill_scan(scan))
            return {scan->at, 0};
    }
}

uint64_t left_scan(const Scan* scan)
{
    uint64_t at = scan->offset + static_cast<uint64_t>(scan->at - scan->buffer);
    return at < scan->size ? scan->size - at : 0;
}

// A word as C's number parsers take it: in a buffer of its own, ended by NUL.
static void __terminated_scan(Word word, char* text)
{
    memcpy(text, word.text, word.length);
    text[word.length] = 0;
}

const char* float_scan(Word word, float* value)
{
    const char* text = word.text;
    const char* end = word.text + word.length;
    // from_chars takes no '+', which some writers put before exponents'
    // mantissas; one before a sign would make two signs.
    if (text < end && *text == '+' && end - text > 1 && text[1] != '-' && text[1] != '+')
        text++;
    if (text == end)
        return "not a number";
#if defined(__cpp_lib_to_chars)
    auto parsed = std::from_chars(text, end, *value);
    if (parsed.ptr != end || parsed.ec == std::errc::invalid_argument)
        return "not a number";
    if (parsed.ec != std::errc::result_out_of_range)
        return nullptr;
#else
    // The standard library of the WebAssembly build parses no floats with
    // from_chars; strtof reads the same numbers, and hexadecimal ones too.
    char terminated[word_limit_scan + 1];
    __terminated_scan({text, static_cast<size_t>(end - text)}, terminated);
    char* stop;
    errno = 0;
    *value = strtof(terminated, &stop);
    if (*stop || stop == terminated || strpbrk(terminated, "xX"))
        return "not a number";
    if (errno != ERANGE)
        return nullptr;
#endif
    char terminated_again[word_limit_scan + 1];
    __terminated_scan({text, static_cast<size_t>(end - text)}, terminated_again);
    double wide = strtod(terminated_again, nullptr);
    if (wide > -1 && wide < 1) {
        // Below the smallest float: as near to it as a float comes.
        *value = static_cast<float>(wide);
        return nullptr;
    }
    return "beyond the range of a float";
}

const char* count_scan(Word word, uint64_t* value)
{
    const char* text = word.text;
    const char* end = word.text + word.length;
    if (text < end && *text == '+')
        text++;
    if (text == end)
        return "not a whole number";
    if (*text == '-')
        return "negative";
    uint64_t total = 0;
    for (; text < end; text++) {
        if (*text < '0' || *text > '9')
            return "not a whole number";
        if (total > (INT64_MAX - 9) / 10)
            return "too large";
        total = 10 * total + static_cast<uint64_t>(*text - '0');
    }
    *value = total;
    return nullptr;
}

bool integral_scan(Word word)
{
    size_t k = word.length && (word.text[0] == '+' || word.text[0] == '-');
    if (k == word.length)
        return false;
    for (; k < word.length; k++)
        if (word.text[k] < '0' || word.text[k] > '9')
            return false;
    return true;
}

void quote_scan(Word word, char* text, size_t size)
{
    size_t shown = word.length > 24 ? 24 : word.length;
    size_t at = 0;
    if (size < 2)
        return;
    text[at++] = '\'';
    for (size_t k = 0; k < shown && at + 8 < size; k++) {
        unsigned char c = static_cast<unsigned char>(word.text[k]);
        if (c >= 0x20 && c < 0x7f && c != '\'' && c != '\\')
            text[at++] = static_cast<char>(c);
        else
            at += static_cast<size_t>(snprintf(text + at, size - at, "\\x%02x", c));
    }
    if (shown < word.length && at + 4 < size) {
        memcpy(text + at, "...", 3);
        at += 3;
    }
    if (at + 1 < size)
        text[at++] = '\'';
    text[at] = 0;
}
