"""Property of the converter on arbitrary OOGL-like text: it converts, or it
writes one error line and no file; it never raises, never hangs."""
import contextlib
import io
import os
import re
import signal

from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from plexorama import read_klein
from plexorama.convert import main

WATCHDOG = 20  # seconds: far beyond any input drawn here; only a hang reaches it

WORDS = ["OFF", "4OFF", "nOFF", "4nOFF", "CN4OFF", "MESH", "4MESH", "nMESH", "uv4MESH", "Z4MESH",
         "LIST", "{", "}", "appearance", "VECT", "4nSKEL", "SKEL", "BINARY", "QUAD", "#",
         "nan", "inf", "-inf", "1e39", "3e38", "-3e38", "1e-300", "0.5", "-1", "2147483648",
         "99999999999999", "x", "\n"]
TOKEN = st.one_of(st.sampled_from(WORDS), st.integers(-3, 12).map(str),
                  st.floats(-2, 2, allow_nan=False).map(lambda x: f"{x:.3g}"))

VALID = ("LIST { appearance { shading flat } 4OFF\n4 2 0\n0 0 0 0\n1 0 0 0\n1 1 0 1\n0 1 0 1\n"
         "3 0 1 2 255 0 0\n3 0 2 3\n}\n4uMESH 3 2 0 0 0 0 1 0 0 0 2 0 0 1 0 1 0 0 1 1 0 0 2 1 0 0\n"
         "VECT 1 2 0 2 0 0 0 0 1 1 1\n").split(" ")

ERROR = re.compile(r"plexorama-convert: .+(:(\d+|end): expected .+, found .+|: holds only VECT/SKEL objects: nothing to draw)\n")
WARNING = re.compile(r"plexorama-convert: .+: skipped what is not a surface: .+\n")


def _hang(signum, frame):
    raise TimeoutError(f"no answer within {WATCHDOG} s")


def check(tmp_path, text):
    source = tmp_path / "in.off"
    out = tmp_path / "out.klein"
    for stale in (source, out):
        if stale.exists():
            stale.unlink()
    source.write_text(text, encoding="latin-1")
    err, stdout = io.StringIO(), io.StringIO()
    previous = signal.signal(signal.SIGALRM, _hang)
    signal.alarm(WATCHDOG)
    try:
        with contextlib.redirect_stderr(err), contextlib.redirect_stdout(stdout):
            status = main([str(source), str(out)])
    finally:
        signal.alarm(0)
        signal.signal(signal.SIGALRM, previous)
    lines = err.getvalue().splitlines(keepends=True)
    if status == 0:
        assert all(WARNING.fullmatch(line) for line in lines), lines
        coords, normals = read_klein(out)
        assert coords.shape[0] % 3 == 0 and coords.shape[0] > 0
    else:
        assert status == 1
        assert len(lines) == 1 and ERROR.fullmatch(lines[0]), lines
        assert stdout.getvalue() == ""
    assert sorted(os.listdir(tmp_path)) == (["in.off", "out.klein"] if status == 0 else ["in.off"])


SETTINGS = settings(max_examples=300, deadline=None, derandomize=True, database=None,
                    suppress_health_check=[HealthCheck.function_scoped_fixture])


@SETTINGS
@given(st.lists(TOKEN, max_size=60))
def test_any_token_soup(tmp_path, tokens):
    check(tmp_path, " ".join(tokens))


@SETTINGS
@given(st.lists(st.tuples(st.integers(0, len(VALID) - 1), st.sampled_from(["drop", "swap"]), TOKEN),
                max_size=4))
def test_edited_valid_file(tmp_path, edits):
    words = list(VALID)
    for at, how, token in edits:
        at %= len(words)
        if how == "drop":
            del words[at]
        else:
            words[at] = token
        if not words:
            words = ["LIST"]
    check(tmp_path, " ".join(words))
