"""Property of plexorama-plot on arbitrary formulas: it writes a surface, or
one error line and no file; it never raises, hangs or does anything else."""
import contextlib
import io
import os
import re
import signal

from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from plexorama import read_klein
from plexorama.formula import FUNCTIONS
from plexorama.plot import main

WATCHDOG = 20  # seconds: far beyond any input drawn here; only a hang reaches it

WORDS = ["u", "v", "z", "w", "pi", "e", "i", "x", "sin", "sqrt", "log", "arccosh", "arctanh", "real", "abs", "exp",
         "(", ")", ",", "+", "-", "*", "/", "**", "^", "0", "1", "2", "0.5", ".5", "1e308", "1e-308", "9", "2j",
         "1e999", ".", "'os'", "__import__", "__class__", "lambda", "[", "]", "{", ";", "#", "\\", " ", "\x00", "π"]
ERROR = re.compile(r"plexorama-plot: .+\n")

# Formulas as the grammar makes them, in the variables of each mode, so
# that most are read and evaluated, then edited by inserting any text;
# (command line before the formulas, variables, how many formulas).
GRAMMAR_MODES = [(["--"], "uv", 4), (["--complex"], "z", 1), (["--complex-pair"], "w", 2),
                 (["--wrap", "u", "--twist", "v", "--"], "uv", 3)]
NUMBERS = ["0", "1", "2", "0.5", "3e38", "1e308", "1e-308", "2j", "pi", "e", "i"]


def _formula(variables):
    atoms = st.sampled_from(NUMBERS + list(variables))
    return st.recursive(atoms, lambda inner: st.one_of(
        st.tuples(inner, st.sampled_from(["+", "-", "*", "/", "**", "^"]), inner).map(lambda t: f"({t[0]} {t[1]} {t[2]})"),
        st.tuples(st.sampled_from(list(FUNCTIONS) + ["-", ""]), inner).map(lambda t: f"{t[0]}({t[1]})")),
        max_leaves=10)


GRAMMAR = st.sampled_from(GRAMMAR_MODES).flatmap(lambda m: st.tuples(
    st.just(m[0]), st.lists(_formula(m[1]), min_size=m[2], max_size=m[2]).map(", ".join),
    st.lists(st.tuples(st.integers(0, 200), st.one_of(st.sampled_from(WORDS), st.text(max_size=8))), max_size=3)))


def _hang(signum, frame):
    raise TimeoutError(f"no answer within {WATCHDOG} s")


SETTINGS = settings(max_examples=800, deadline=None, derandomize=True, database=None,
                    suppress_health_check=[HealthCheck.function_scoped_fixture])


def check(tmp_path, mode, text):
    out = tmp_path / "out.klein"
    if out.exists():
        out.unlink()
    err, stdout = io.StringIO(), io.StringIO()
    previous = signal.signal(signal.SIGALRM, _hang)
    signal.alarm(WATCHDOG)
    cwd = os.getcwd()
    os.chdir(tmp_path)
    try:
        with contextlib.redirect_stderr(err), contextlib.redirect_stdout(stdout):
            status = main(["--steps", "3", "-o", str(out), *mode, text])
    finally:
        os.chdir(cwd)
        signal.alarm(0)
        signal.signal(signal.SIGALRM, previous)
    if status == 0:
        assert err.getvalue() == ""
        coords, normals = read_klein(out)
        assert coords.shape[1] >= 4 and len(coords) > 0
    else:
        assert status in (1, 2)
        assert ERROR.fullmatch(err.getvalue()), err.getvalue()
        assert stdout.getvalue() == ""
    assert sorted(os.listdir(tmp_path)) == (["out.klein"] if status == 0 else [])


@SETTINGS
@given(GRAMMAR)
def test_formulas_of_the_grammar_edited_at_random(tmp_path, drawn):
    mode, text, edits = drawn
    for at, word in edits:
        at %= len(text) + 1
        text = text[:at] + word + text[at:]
    check(tmp_path, mode, text)
