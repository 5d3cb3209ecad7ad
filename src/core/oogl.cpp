// Geomview's OOGL files read as shapes: the containers, key words and
// appearance blocks around the objects. The file is scanned once, a buffer
// at a time; no count in it is trusted before the bytes left can hold what
// it claims (every number takes a character and a blank), so that a claim
// costs neither memory nor time, and every refusal names the line at fault.
#include "core/oogl.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/oogl_object.h"

const char not_oogl[] = "not an OOGL file";

static bool __is_oogl(Word word, const char* text)
{
    return word.length == strlen(text) && memcmp(word.text, text, word.length) == 0;
}

// Reads the prefixes of an OFF or SKEL key word, in their fixed order.
static bool __key_oogl(Word word, ObjectKey* key)
{
    const char* at = word.text;
    const char* end = word.text + word.length;
    auto eat = [&](const char* part) {
        size_t n = strlen(part);
        bool found = static_cast<size_t>(end - at) >= n && memcmp(at, part, n) == 0;
        at += found ? n : 0;
        return found;
    };
    *key = {};
    key->st = eat("ST");
    key->c = eat("C");
    key->normals = eat("N");
    key->four = eat("4");
    key->n = eat("n");
    if (eat("OFF"))
        return at == end;
    key->skel = !key->st && !key->c && !key->normals && eat("SKEL");
    return key->skel && at == end;
}

// Whether a file starting with the word is an OOGL file: a container, a key
// word of an object (one this reader reads or not), or the first number of
// an OFF that leaves its key word out.
static bool __first_oogl(Word word)
{
    ObjectKey key;
    float number;
    if (__is_oogl(word, "{") || __is_oogl(word, "LIST") || __is_oogl(word, "appearance")
        || __key_oogl(word, &key) || !float_scan(word, &number))
        return true;
    static const char* const kinds[] = {"MESH", "VECT", "QUAD"};
    for (const char* kind : kinds) {
        size_t n = strlen(kind);
        if (word.length >= n && memcmp(word.text + word.length - n, kind, n) == 0)
            return true;
    }
    return false;
}

static const char* __appearance_oogl(ObjectReader* r)
{
    uint64_t line = r->scan.line, depth = 0;
    do {
        Word word = peek_scan(&r->scan);
        if (failed_scan(&r->scan))
            return r->scan.reason;
        if (!word.length)
            return refuse_object(r, "the file ends inside the appearance block of line %llu",
                static_cast<unsigned long long>(line));
        if (!depth && !__is_oogl(word, "{"))
            return unexpected_object(r, {"'{' after appearance"}, word);
        take_scan(&r->scan, word);
        depth += __is_oogl(word, "{");
        depth -= __is_oogl(word, "}");
    } while (depth);
    return nullptr;
}

static const char* __objects_oogl(ObjectReader* r)
{
    Word word = peek_scan(&r->scan);
    if (failed_scan(&r->scan))
        return r->scan.reason;
    if (!word.length || !__first_oogl(word))
        return not_oogl;
    float number;
    if (!float_scan(word, &number)) {
        const char* failed = read_off_object(r, {}, r->scan.line);
        const char* released = release_gather(r->shapes, max_shapes_oogl, &r->list);
        if (failed || released)
            return failed ? failed : refuse_object(r, "%s", released);
    }
    uint64_t depth = 0;
    for (;;) {
        word = peek_scan(&r->scan);
        if (failed_scan(&r->scan))
            return r->scan.reason;
        if (!word.length)
            break;
        take_scan(&r->scan, word);
        ObjectKey key;
        const char* failed = nullptr;
        if (__is_oogl(word, "{"))
            depth++;
        else if (__is_oogl(word, "}") && depth)
            depth--;
        else if (__is_oogl(word, "}"))
            failed = refuse_object(r, "a '}' with no '{' open");
        else if (__is_oogl(word, "appearance"))
            failed = __appearance_oogl(r);
        else if (__key_oogl(word, &key)) {
            uint64_t line = r->scan.line;
            if (__is_oogl(peek_scan(&r->scan), "BINARY")) {
                char shown[128];
                quote_scan(word, shown, sizeof shown);
                failed = refuse_object(r, "%s BINARY: binary objects are not read; write it as text", shown);
            } else
                failed = key.skel ? read_skel_object(r, key, line) : read_off_object(r, key, line);
            const char* released = release_gather(r->shapes, max_shapes_oogl, &r->list);
            if (!failed && released)
                failed = refuse_object(r, "%s", released);
        } else if (!__is_oogl(word, "LIST"))
            failed = unexpected_object(r, {"an OFF, SKEL or LIST object"}, word);
        if (failed)
            return failed;
    }
    if (depth)
        return refuse_object(
            r, "the file ends with %llu '{' not closed", static_cast<unsigned long long>(depth));
    for (const Gathered& shape : r->shapes)
        if (shape.count)
            return nullptr;
    return refuse_object(r, "nothing to draw: no face, polyline or point");
}

// The reason of a refusal, kept past the reader's own memory.
static thread_local char reason_oogl[sizeof Scan {}.reason];

static const char* __read_oogl(ObjectReader* r, ShapeData* shapes, int* count, OoglCounts* counts)
{
    const char* failed = __objects_oogl(r);
    // Shapes freed first leave a vertex list a refusal stopped in to be freed whole.
    for (Gathered& shape : r->shapes)
        if (failed)
            free_gather(&shape);
    release_gather(r->shapes, max_shapes_oogl, &r->list);
    free_object(r);
    close_scan(&r->scan);
    if (failed) {
        if (failed == not_oogl)
            return not_oogl;
        snprintf(reason_oogl, sizeof reason_oogl, "%s", failed);
        return reason_oogl;
    }
    int n = 0;
    for (Gathered& shape : r->shapes) {
        if (shape.count)
            finish_gather(&shape, &shapes[n++]);
        else
            free_gather(&shape);
    }
    *count = n;
    if (counts)
        *counts = r->counts;
    return nullptr;
}

// Faces and polylines name their vertices again and again, so that a few
// bytes of indices may ask for a vertex of 255 coordinates each: a file of
// a megabyte could ask for gigabytes. A mesh's shapes take a few times its
// file's size (each vertex in six triangles and as many edge ends, against
// its coordinates written out); 16 times leaves room for the densest.
static const uint64_t amplification_oogl = 16, allowance_oogl = 8 << 20;

// Readies the shapes of a reader whose memory is zero and whose scan is open.
static void __start_oogl(ObjectReader* r)
{
    const ShapeKind kinds[max_shapes_oogl] = {SHAPE_TRIANGLES, SHAPE_LINES, SHAPE_POINTS};
    for (int k = 0; k < max_shapes_oogl; k++) {
        r->shapes[k].kind = kinds[k];
        r->shapes[k].most = amplification_oogl * r->scan.size + allowance_oogl;
    }
}

const char* read_shapes_oogl(const char* path, ShapeData* shapes, int* count, OoglCounts* counts)
{
    ObjectReader* r = static_cast<ObjectReader*>(calloc(1, sizeof(ObjectReader)));
    if (!r)
        return "out of memory";
    const char* failed = open_file_scan(&r->scan, path);
    if (failed) {
        snprintf(reason_oogl, sizeof reason_oogl, "%s", failed);
        free(r);
        return reason_oogl;
    }
    __start_oogl(r);
    failed = __read_oogl(r, shapes, count, counts);
    free(r);
    return failed;
}

const char* parse_shapes_oogl(
    const char* bytes, size_t size, ShapeData* shapes, int* count, OoglCounts* counts)
{
    ObjectReader* r = static_cast<ObjectReader*>(calloc(1, sizeof(ObjectReader)));
    if (!r)
        return "out of memory";
    open_memory_scan(&r->scan, bytes, size);
    __start_oogl(r);
    const char* failed = __read_oogl(r, shapes, count, counts);
    free(r);
    return failed;
}
