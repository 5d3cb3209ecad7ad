"""Formulas as plexorama-plot reads them, parsed into numpy calls: the text
is never run as Python, and nothing but what is listed here can be named.

    list     = sum {"," sum}
    sum      = product {("+" | "-") product}
    product  = signed {("*" | "/") signed}
    signed   = ("-" | "+") signed | power
    power    = atom [("**" | "^") signed]
    atom     = number | variable | constant | function "(" sum ")" | "(" sum ")"

Numbers are decimal with an optional exponent (1e-3) and an optional j that
makes them imaginary (2j); the constants are pi, e and i; the variables are
those the caller allows. Values are real numpy arrays where they can be and
complex where they must: sqrt(-1), log(-1) and (-8)**(1/3) are complex, as
in the complex plane. Errors name the column (from 1) and what was expected
there. Values are float64 from the start, so 9**9**9 is inf at once rather
than an integer that takes hours; how long the text and how deep its
nesting may be are bounded too.
"""
import re
from dataclasses import dataclass

import numpy as np

MAX_LENGTH = 10000
MAX_DEPTH = 100


def _arccosh(x):
    # Below 1 the real arccosh has no value; the complex one has.
    return np.arccosh(x if np.iscomplexobj(x) or np.all(x >= 1) else np.asarray(x, dtype=complex))


FUNCTIONS = {
    "sin": np.sin, "cos": np.cos, "tan": np.tan,
    "arcsin": np.emath.arcsin, "arccos": np.emath.arccos, "arctan": np.arctan,
    "sinh": np.sinh, "cosh": np.cosh, "tanh": np.tanh,
    "arcsinh": np.arcsinh, "arccosh": _arccosh, "arctanh": np.emath.arctanh,
    "exp": np.exp, "log": np.emath.log, "log2": np.emath.log2, "log10": np.emath.log10,
    "sqrt": np.emath.sqrt, "abs": np.abs,
    "real": np.real, "imag": np.imag, "conj": np.conj, "arg": np.angle,
}
CONSTANTS = {"pi": np.float64(np.pi), "e": np.float64(np.e), "i": np.complex128(1j)}

TOKEN = re.compile(r"\s*(?:(?P<number>(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?j?)"
                   r"|(?P<name>[A-Za-z_][A-Za-z0-9_]*)|(?P<operator>\*\*|[-+*/^(),])|(?P<other>\S))")


class FormulaError(ValueError):
    """What was expected at a column of the text, and what was found."""

    def __init__(self, column, expected, found):
        super().__init__(f"column {column}: expected {expected}, found {found}")
        self.column = column


def _tokens(text):
    """(kind, text, column) for each token, then ("end", "", column)."""
    out = []
    at = 0
    while True:
        match = TOKEN.match(text, at)
        if not match:
            out.append(("end", "", len(text) + 1))
            return out
        kind = match.lastgroup
        out.append((kind, match.group(kind), match.start(kind) + 1))
        at = match.end()


def _shown(kind, word):
    if kind == "end":
        return "the end"
    return repr(word if len(word) <= 24 else word[:24] + "...")


@dataclass
class _Text:
    """The tokens of a text, the place reached in them, the variables allowed."""
    tokens: list
    variables: tuple
    at: int = 0


def _peek(t):
    return t.tokens[t.at][:2]


def _take(t):
    t.at += 1
    return t.tokens[t.at - 1][1]


def _fail(t, expected):
    kind, word, column = t.tokens[t.at]
    raise FormulaError(column, expected, _shown(kind, word))


def _power(base, exponent):
    """base ** exponent, complex where a negative base meets a fractional
    exponent, as in the complex plane."""
    if not (np.iscomplexobj(base) or np.iscomplexobj(exponent)) and np.any(
            (base < 0) & (exponent != np.floor(exponent))):
        base = np.asarray(base, dtype=complex)
    return np.power(base, exponent)


OPERATIONS = {"+": np.add, "-": np.subtract, "*": np.multiply, "/": np.divide}


def _chained(t, depth, operators, operand):
    """Operands joined by operators of one precedence, applied left to right
    in a loop, so that a long chain costs no stack."""
    first, rest = operand(t, depth), []
    while _peek(t) in [("operator", o) for o in operators]:
        rest.append((OPERATIONS[_take(t)], operand(t, depth)))
    if not rest:
        return first

    def value(env):
        total = first(env)
        for operation, f in rest:
            total = operation(total, f(env))
        return total
    return value


def _sum(t, depth):
    return _chained(t, depth, "+-", _product)


def _product(t, depth):
    return _chained(t, depth, "*/", _signed)


def _deeper(t, depth):
    if depth >= MAX_DEPTH:
        _fail(t, f"at most {MAX_DEPTH} nested brackets, signs and powers")
    return depth + 1


def _signed(t, depth):
    if _peek(t) in (("operator", "-"), ("operator", "+")):
        depth = _deeper(t, depth)
        sign = _take(t)
        inner = _signed(t, depth)
        return (lambda env: np.negative(inner(env))) if sign == "-" else inner
    base = _atom(t, depth)
    if _peek(t) in (("operator", "**"), ("operator", "^")):
        depth = _deeper(t, depth)
        _take(t)
        exponent = _signed(t, depth)
        return lambda env: _power(base(env), exponent(env))
    return base


def _bracketed(t, depth, after):
    """The sum between brackets; the opening one is next."""
    if _peek(t) != ("operator", "("):
        _fail(t, f"'(' after {after}")
    depth = _deeper(t, depth)
    _take(t)
    inner = _sum(t, depth)
    if _peek(t) != ("operator", ")"):
        _fail(t, "an operator or ')'")
    _take(t)
    return inner


def _constant(value):
    return lambda env: value


def _atom(t, depth):
    kind, word = _peek(t)
    if kind == "number":
        value = np.complex128(complex(word)) if word.endswith("j") else np.float64(word)
        if not np.isfinite(value):
            _fail(t, "a number within float64 range")
        _take(t)
        return _constant(value)
    if kind == "name" and word in t.variables:
        _take(t)
        return lambda env: env[word]
    if kind == "name" and word in CONSTANTS:
        _take(t)
        return _constant(CONSTANTS[word])
    if kind == "name" and word in FUNCTIONS:
        _take(t)
        function, argument = FUNCTIONS[word], _bracketed(t, depth, repr(word))
        return lambda env: function(argument(env))
    if (kind, word) == ("operator", "("):
        return _bracketed(t, depth, "")
    if kind == "name" and t.tokens[t.at + 1][1] == "(":
        _fail(t, f"a function ({', '.join(FUNCTIONS)})")
    names = ", ".join(t.variables)
    _fail(t, f"a number, {'a variable (' + names + '), ' if names else ''}pi, e, i, a function or '('")


def parse(text, variables=()):
    """Parses a comma-separated list of formulas in the given variables.
    Returns one (text, f) per formula: its text as written, and f(env), its
    value for env mapping each variable to an array. Raises FormulaError."""
    if len(text) > MAX_LENGTH:
        raise FormulaError(MAX_LENGTH + 1, f"at most {MAX_LENGTH} characters", "more")
    t = _Text(_tokens(text), tuple(variables))
    out = []
    while True:
        start = t.tokens[t.at][2]
        f = _sum(t, 0)
        end = t.tokens[t.at][2]
        out.append((text[start - 1:end - 1].strip(), f))
        if _peek(t)[0] == "end":
            return out
        if _peek(t) != ("operator", ","):
            _fail(t, "an operator, ',' or the end")
        _take(t)


def evaluate(f, env, shape):
    """f's values on arrays of the given shape: float64 where real, complex128
    otherwise; overflow and the like give inf and nan, not warnings."""
    with np.errstate(all="ignore"):
        value = np.asarray(f(env))
    return np.broadcast_to(value, shape)
