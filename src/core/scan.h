// Words of a text file, read a buffer at a time: blanks and '#' comments
// skipped, lines counted, numbers parsed in place. A file of any size costs
// one buffer; bytes already in memory are scanned where they lie.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t word_limit_scan = 256; // longer words are refused: no number needs more

struct Scan {
    int descriptor;     // -1 for bytes in memory
    char* buffer;       // the file's bytes in hand (owned), or the bytes in memory
    size_t capacity;    // of buffer, for a file
    const char* at;     // the next byte not yet scanned
    const char* end;    // past the bytes in hand
    uint64_t offset;    // of buffer[0] in the file
    uint64_t size;      // of the file when opened, or of the bytes
    uint64_t line;      // of the byte at `at`, from 1; at the end, of the last word
    uint64_t word_line; // of the last word found
    bool ended;         // every byte of the file is in hand
    char reason[256];   // why the scan stopped, once it has
};

// A word: a brace, or a run of bytes that are neither blank nor a brace nor '#'.
struct Word {
    const char* text; // in the scan's buffer, valid until the next call that scans on
    size_t length;    // 0 at the end of the file
};

// Opens a regular file to scan. Returns null, or why it cannot.
const char* open_file_scan(Scan* scan, const char* path);
// Scans size bytes at bytes, which must outlive the scan.
void open_memory_scan(Scan* scan, const char* bytes, size_t size);
void close_scan(Scan* scan);

// Writes "line N: " and the message into the scan's reason; returns it.
const char* refuse_scan(Scan* scan, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The next word, not taken, after the blanks and comments before it (taken).
// Within the line, stops at the line's end instead, giving an empty word.
// A word longer than word_limit_scan, or a failed read, gives an empty word
// and the reason; `failed` then says so.
Word peek_scan(Scan* scan, bool within_line = false);
inline void take_scan(Scan* scan, Word word)
{
    scan->at = word.text + word.length;
}
inline bool failed_scan(const Scan* scan)
{
    return scan->reason[0] != 0;
}

// Bytes from the next unread one to the end of the file as opened.
uint64_t left_scan(const Scan* scan);

// The word as a number: null, or what is wrong with it ("not a number").
const char* float_scan(Word word, float* value);
// The word as a whole number 0 to 2^63 - 1: null, or what is wrong with it.
const char* count_scan(Word word, uint64_t* value);
// Whether the word is a whole number, written without a point or exponent.
bool integral_scan(Word word);

// The word as the reason shows it: quoted, at most 24 characters, escaped.
void quote_scan(Word word, char* text, size_t size);
