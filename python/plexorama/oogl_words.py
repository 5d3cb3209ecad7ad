"""The words of a Geomview OOGL file and the values they hold, for the
reader of its objects (plexorama.oogl).

A word is a brace, or a run of bytes that are neither white space nor
braces; '#' starts a comment that runs to the end of its line. Words are
kept as where they start in the file, a few bytes each, and read from it
when needed; every count is checked against the words left before anything
is allocated by it.
"""
import re
from dataclasses import dataclass

import numpy as np

INTEGER = re.compile(r"[+-]?[0-9]{1,12}")
NUMBER = re.compile(r"[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?")
# The bytes of numbers and of integers, and the blank between them: a run
# of values of these alone is what NUMBER (INTEGER) reads exactly when
# numpy converts it, so only a run that fails is checked a value at a time.
NUMBER_BYTES = np.isin(np.arange(256), list(b"0123456789+-.eE "))
INTEGER_BYTES = np.isin(np.arange(256), list(b"0123456789+- "))
# White space as Python's str.isspace() sees the file's bytes (as Latin-1).
SPACE = np.array([chr(c).isspace() for c in range(256)])
WORD = re.compile(rb"[{}]|[^{}#" + b"".join(re.escape(bytes([c])) for c in np.flatnonzero(SPACE)) + rb"]+")
FLOAT32_MAX = float(np.finfo(np.float32).max)
# Bytes of the file tokenised at once, and values read at once.
BLOCK = 1 << 20
VALUES = 1 << 20


class OoglError(Exception):
    """What the reader expected at a line of the file, and what it found."""

    def __init__(self, line, expected, found):
        super().__init__(f"{line}: expected {expected}, found {found}")
        self.line = line

@dataclass
class _Tokens:
    """The file's bytes, where each token starts and its line, where each
    line ends, and the token reached."""
    data: bytes
    starts: np.ndarray
    lines: np.ndarray
    newlines: np.ndarray
    pos: int = 0

    @property
    def count(self):
        return len(self.starts)


def shown(word):
    if len(word) > 24:
        word = word[:24] + "..."
    return "'" + word.encode("unicode_escape").decode("ascii").replace("'", "\\'") + "'"


def _comments(block, newlines, open_at_start):
    """Which bytes of block lie in a comment: from a '#' to the end of its
    line, from the start when a comment runs on from the block before."""
    hashes = np.flatnonzero(block == ord("#"))
    if not len(hashes) and not open_at_start:
        return np.zeros(len(block), dtype=bool)
    if open_at_start:
        hashes = np.concatenate([[0], hashes])
    ends = np.concatenate([newlines, [len(block)]])[np.searchsorted(newlines, hashes)]
    depth = np.bincount(hashes, minlength=len(block) + 1) - np.bincount(ends, minlength=len(block) + 1)
    return np.cumsum(depth[:-1]) > 0


def tokenize(data):
    """A token is a brace, or a run of bytes that are neither white space nor
    braces; '#' starts a comment that runs to the end of its line. The file
    is read a block at a time, a word or comment running on across blocks."""
    kind = np.int32 if len(data) < 2**31 else np.int64
    starts, newlines = [], []
    in_word = in_comment = False
    for at in range(0, len(data), BLOCK):
        block = np.frombuffer(data, dtype=np.uint8, count=min(BLOCK, len(data) - at), offset=at)
        ends = np.flatnonzero(block == ord("\n"))
        comment = _comments(block, ends, in_comment)
        brace = ((block == ord("{")) | (block == ord("}"))) & ~comment
        word = ~(SPACE[block] | comment | brace)
        begins = word.copy()
        begins[1:] &= ~word[:-1]
        begins[0] &= not in_word
        starts.append((np.flatnonzero(begins | brace) + at).astype(kind))
        newlines.append((ends + at).astype(kind))
        in_word, in_comment = bool(word[-1]), bool(comment[-1])
    starts = np.concatenate(starts or [np.zeros(0, kind)])
    newlines = np.concatenate(newlines or [np.zeros(0, kind)])
    lines = np.empty(len(starts), dtype=kind)
    for at in range(0, len(starts), BLOCK):
        lines[at:at + BLOCK] = np.searchsorted(newlines, starts[at:at + BLOCK]) + 1
    return _Tokens(data, starts, lines, newlines)


def word_at(t, k):
    return WORD.match(t.data, int(t.starts[k])).group().decode("latin-1")


def _words(t, start, stop):
    """Tokens start to stop as bytes: split off the file where nothing but
    ASCII white space lies between them, as nearly always."""
    if stop <= start:
        return []
    span = t.data[int(t.starts[start]):WORD.match(t.data, int(t.starts[stop - 1])).end()]
    words = span.split()
    if len(words) == stop - start and not any(c in span for c in b"#{}"):
        return words
    return [WORD.match(t.data, s).group() for s in t.starts[start:stop].tolist()]


def _lines(t, start, stop):
    """The lines (from 1) of tokens start to stop."""
    return t.lines[start:stop]


def line_at(t, k):
    return int(t.lines[k])


def _line_tokens(t, line):
    """The first token on a line and how many it holds."""
    low = t.newlines[line - 2] + 1 if line >= 2 else 0
    high = t.newlines[line - 1] if line - 1 < len(t.newlines) else len(t.data)
    first, end = np.searchsorted(t.starts, [low, high])
    return int(first), int(end - first)


def last_line(t):
    return line_at(t, t.count - 1) if t.count else 1


def end_error(t, expected):
    return OoglError(last_line(t), expected, "the end of the file")


def next_word(t, expected):
    if t.pos >= t.count:
        raise end_error(t, expected)
    t.pos += 1
    return word_at(t, t.pos - 1), line_at(t, t.pos - 1)


def peek_word(t):
    return word_at(t, t.pos) if t.pos < t.count else None


def read_integer(t, expected, low, high):
    word, line = next_word(t, expected)
    if not INTEGER.fullmatch(word) or not low <= int(word) <= high:
        raise OoglError(line, expected, shown(word))
    return int(word)


def check_enough(t, count, what):
    left = t.count - t.pos
    if count > left:
        raise end_error(t, f"{count} values of {what} ({left} left)")


def _converted(words, allowed, out):
    """Whether words, all of bytes allowed, could be converted into out."""
    if not allowed[np.frombuffer(b" ".join(words), dtype=np.uint8)].all():
        return False
    try:
        out[:] = words
    except (ValueError, OverflowError):
        return False
    return True


def read_numbers(t, count, what):
    """The next count tokens as finite float32-range numbers."""
    check_enough(t, count, what)
    values = np.empty(count)
    for at in range(0, count, VALUES):
        start = t.pos + at
        words = _words(t, start, start + min(VALUES, count - at))
        chunk = values[at:at + len(words)]
        if not _converted(words, NUMBER_BYTES, chunk):
            for k, word in enumerate(words):
                if not NUMBER.fullmatch(word.decode("latin-1")):
                    raise OoglError(line_at(t, start + k), f"a number ({what})", shown(word.decode("latin-1")))
        big = np.abs(chunk) > FLOAT32_MAX
        if big.any():
            k = int(np.argmax(big))
            raise OoglError(line_at(t, start + k), f"a number within float32 range ({what})",
                            shown(words[k].decode("latin-1")))
    t.pos += count
    return values


def read_indices(t, count, limit, what):
    check_enough(t, count, what)
    start = t.pos
    words = _words(t, start, start + count)
    index = np.empty(count, dtype=np.int64)
    if words and _converted(words, INTEGER_BYTES, index) and index.min() >= 0 and index.max() < limit:
        t.pos += count
        return index
    expected = f"a vertex index from 0 to {limit - 1}" if limit else "no vertex index (there are no vertices)"
    for k, word in enumerate(words):
        word = word.decode("latin-1")
        if not INTEGER.fullmatch(word) or not 0 <= int(word) < limit:
            raise OoglError(line_at(t, start + k), f"{expected} ({what})", shown(word))
    t.pos += count
    return np.zeros(0, dtype=np.int64)


def skip_line(t, line):
    """Skips what is left of a line: a face's colour runs to its end. A colour
    is numbers, so a brace or key word after it on the line is left to read."""
    while t.pos < t.count and line_at(t, t.pos) == line and NUMBER.fullmatch(word_at(t, t.pos)):
        t.pos += 1


def _one_a_line(t, count, width):
    """Where vertices are written one a line, as in nearly every file, a
    vertex line holding more or fewer than width values is an error at that
    line: read freely, a missing value would shift every value after it and
    show up lines later, or not at all. Vertices are one a line when the
    first fills a line of its own, or when the first starts a line and the
    two lines after it hold width values each (then the first line is
    wrong)."""
    full = min(count, (t.count - t.pos) // width)
    if full < 2:
        return
    start = t.pos
    first_line, found = _line_tokens(t, line_at(t, start))
    if first_line != start:
        return
    if found != width:
        following = []
        at = start + found
        for _ in range(min(count - 1, 2)):
            if at >= t.count:
                return
            _, on_line = _line_tokens(t, line_at(t, at))
            following.append(on_line)
            at += on_line
        if following and all(on_line == width for on_line in following):
            raise OoglError(line_at(t, start), f"{width} values on the line of vertex 0 (one vertex a line, as below)",
                            str(found))
        return
    # Rows a block at a time: line numbers around them, 0 for no line at
    # the ends of the file.
    for row0 in range(0, full, max(1, VALUES // width)):
        rows = min(full - row0, max(1, VALUES // width))
        low, high = start + row0 * width, start + (row0 + rows) * width
        seg = np.concatenate([_lines(t, low - 1, low) if low else [0], _lines(t, low, high),
                              _lines(t, high, high + 1) if high < t.count else [0]])
        firsts = seg[1:-1:width]
        alone = (firsts == seg[width:-1:width]) & (seg[0:-2:width] != firsts) & (seg[width + 1::width] != firsts)
        if alone.all():
            continue
        row = int(np.argmin(alone))
        line = int(firsts[row])
        raise OoglError(line, f"{width} values on the line of vertex {row0 + row} (one vertex a line, as above)",
                        str(_line_tokens(t, line)[1]))


def read_vertices(t, count, size, extra, what):
    """count vertices of size position values and extra values dropped."""
    _one_a_line(t, count, size + extra)
    values = read_numbers(t, count * (size + extra), what).reshape(count, size + extra)
    return np.ascontiguousarray(values[:, :size]) if extra else values
