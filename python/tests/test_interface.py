"""The pelmora module's interface beyond its figures: how batch arguments are
converted (arrays of every dtype and layout cast once, one dimension only,
bytes refused), how a batch error names its element, the module's state in
a subinterpreter, and its signatures against the stubs.
"""
import array
import ast
import inspect
import math
import os
import re
import subprocess
import sys
import textwrap
import tracemalloc

import numpy as np
import pytest

import pelmora

# ---- Conversions: every array cast once, each element as its scalar ----

# 2**60 + 2**36 + 1 rounds to 2**60 through a double (as the int alone does)
# but to 2**60 + 2**37 in one step to float32; 1 + 2**-24 + 2**-60 likewise
# to 1 or to 1 + 2**-23 from a long double.
BIG = 2 ** 60 + 2 ** 36 + 1
LONG = np.array([1, 1 + 2.0 ** -24, -1], np.longdouble) + np.array([0, 2.0 ** -60, 0], np.longdouble)
VALUES = [0.0, -0.0, 0.5, -0.75, 52.5, 13.375, 89.9990234375, -180.0, 2.0 ** -20, 1e-30, 3e38]


def tiled(values, dtype):
    """n elements of `values` over and over, as `dtype` (byte order kept)."""
    return lambda n: np.resize(np.array(values, dtype), n).astype(dtype)


# How a float32 array can be laid out, from a contiguous one.
FLOAT32_LAYOUTS = [
    ("big-endian", lambda a: a.astype(">f4")),
    ("reversed", lambda a: a[::-1].copy()[::-1]),
    ("every third", lambda a: np.repeat(a, 3)[1::3]),
    ("column of a 2-D array", lambda a: np.stack([a, a], axis=1)[:, 1]),
    ("memoryview, every other", lambda a: memoryview(np.repeat(a, 2))[::2]),
]
# Arrays of n elements, by dtype and layout.
LAYOUTS = [("float32 " + name, lambda n, lay=lay: lay(tiled(VALUES, np.float32)(n)))
           for name, lay in FLOAT32_LAYOUTS] + [
    ("float64 big-endian", tiled(VALUES, ">f8")),
    ("float64 every other", lambda n: np.repeat(tiled(VALUES, np.float64)(n), 2)[::2]),
    ("float16", tiled(VALUES[:-1], np.float16)),
    ("long double", lambda n: np.resize(LONG, n)),
    ("int64", tiled([BIG, -BIG, 3, 16777217], np.int64)),
    ("uint64", tiled([BIG, 2 ** 64 - 1], np.uint64)),
    ("int32 big-endian", tiled([1, -2, 2 ** 31 - 1], ">i4")),
    ("uint8", tiled([0, 1, 255], np.uint8)),
    ("bool", tiled([True, False], bool)),
    ("array.array of int", lambda n: array.array("i", tiled([1, -2, 3], np.int32)(n).tolist())),
    ("array.array of double", lambda n: array.array("d", tiled(VALUES, np.float64)(n).tolist())),
    ("objects", lambda n: np.resize(np.array([0.5, BIG, np.float16(0.25)], dtype=object), n)),
]
LAYOUT_IDS = [name for name, _ in LAYOUTS]


@pytest.mark.parametrize("name,make", LAYOUTS, ids=LAYOUT_IDS)
def test_every_array_converts_as_its_scalars(name, make):
    """Each element becomes the float its scalar gives: its distance to the
    same element read as a scalar (from a list) is 0, which only equal
    floats give (the next float is half a kilometre away)."""
    values = make(24)
    scalars = list(values)
    for km in (pelmora.distance_from(values, 0, scalars, 0),
               pelmora.distance_from(0, scalars, 0, values)):
        assert km.dtype == np.float32 and len(km) == 24 and not km.any(), (name, km)


@pytest.mark.parametrize("name,lay", FLOAT32_LAYOUTS, ids=[name for name, _ in FLOAT32_LAYOUTS])
def test_float32_arrays_of_every_layout_are_read_bit_for_bit(name, lay):
    """A signalling NaN survives (a Python float or a double would quiet
    it): the locator functions tell it from a quiet NaN by the status."""
    laid = lay(np.array([0x7FA00000, 0x7FC00000, 0], np.uint32).view(np.float32))
    assert np.asarray(laid).astype(np.float32).view(np.uint32)[0] == 0x7FA00000
    for function in (pelmora.s_locator, pelmora.grid_from_lat_long):
        _, statuses = function(laid, 0, statuses=True)
        assert list(statuses) == [513, 6, 0]


@pytest.mark.parametrize("name,make", LAYOUTS[:-1], ids=LAYOUT_IDS[:-1])
def test_arrays_are_cast_without_an_object_per_element(name, make):
    """At most the float32 results and one float64 copy are allocated; an
    object per element would take three times that (an array of objects
    holds them already)."""
    values = make(1 << 14)
    tracemalloc.start()
    try:
        pelmora.arc_cos(values)
        _, peak = tracemalloc.get_traced_memory()
    finally:
        tracemalloc.stop()
    assert peak <= 12 * len(values) + 16384, (name, peak / len(values))


GRID = np.array([[1, 2, 3], [4, 5, 6]], np.float32)
TEXTS = np.array([["JO62qm", "FN20xq"], ["IO91wm", "JJ00aa"]])


@pytest.mark.parametrize("name,argument", [
    ("contiguous", GRID),
    ("slice of columns", GRID[:, 1:3]),
    ("one column kept 2-D", GRID[:, 1:2]),
    ("big-endian, every other column", GRID.astype(">f8")[:, ::2]),
    ("memoryview", memoryview(GRID)),
    ("objects", GRID.astype(object)),
    ("three dimensions", np.zeros((2, 1, 1))),
    ("texts", TEXTS),
    ("texts, one column kept 2-D", TEXTS[:, :1]),
])
def test_only_one_dimensional_arrays_are_batches(name, argument):
    calls = [lambda: pelmora.arc_cos(argument), lambda: pelmora.s_locator(0, argument),
             lambda: pelmora.lat_from_grid(argument)]
    for call in calls:
        with pytest.raises(ValueError, match="must be one-dimensional, not [23]-dimensional"):
            call()


@pytest.mark.parametrize("call,message", [
    (lambda: pelmora.arc_cos(b"1"), r"arc_cos\(\) argument 1 .*, not bytes$"),
    (lambda: pelmora.arc_cos(bytearray(b"1")), "not bytearray$"),
    (lambda: pelmora.azimut(0, 0, memoryview(b"12"), 0), r"argument 3 .*, not memoryview$"),
    (lambda: pelmora.grid_from_lat_long(0, b"1"), "argument 2 .*, not bytes$"),
    (lambda: pelmora.lat_from_grid(b"JO62qm"), r"lat_from_grid\(\) argument 1 .*, not bytes$"),
    (lambda: pelmora.long_from_grid(bytearray(b"JO62qm")), "not bytearray$"),
    (lambda: pelmora.lat_from_grid(["JO62qm", b"FN20xq"]), "^element 1: .*, not bytes$"),
    (lambda: pelmora.locator_cell(b"JO62"), "not bytes$"),
    (lambda: pelmora.is_locator(bytearray(b"JO62")), "not bytearray$"),
    (lambda: pelmora.grid_path("JO62", b"FN20"), "not bytes$"),
])
def test_bytes_are_neither_numbers_nor_locators(call, message):
    with pytest.raises(TypeError, match=message):
        call()


@pytest.mark.parametrize("argument", [
    np.array([1, 2j]), np.array(["1"]), np.array([b"1"]), np.array(["2026-12-07"], "datetime64[D]"),
], ids=str)
def test_arrays_of_other_than_real_numbers_are_refused_by_dtype(argument):
    with pytest.raises(TypeError, match="not an array of " + re.escape(str(argument.dtype))):
        pelmora.arc_cos(argument)


# Texts of every kind of str that are no locators (one outside ASCII never
# is): refused whole, whichever way the module hands them to the library.
NOT_LOCATORS = ["JO62q\u00e9", "JO62qm\u20ac", "JO62\U0001F600", "JO62qm\0", "JO62\u00a0", "\tJO62"]


@pytest.mark.parametrize("text", NOT_LOCATORS, ids=ascii)
def test_texts_that_are_no_locators_are_refused(text):
    assert pelmora.is_locator(text) == 0
    for call in (pelmora.locator_cell, pelmora.locator_centre, lambda t: pelmora.grid_path("JO62", t),
                 lambda t: pelmora.grid_path(t, "JO62")):
        with pytest.raises(ValueError, match="^" + re.escape(repr(text)) + " is not a locator"):
            call(text)


@pytest.mark.parametrize("call,error,message", [
    (lambda: pelmora.locator(0, 0, characters=7), ValueError, "characters must be 2, 4, 6, 8, 10 or 12"),
    (lambda: pelmora.locator(-90.00000000000001, 0), ValueError, "is outside the grid"),
    (lambda: pelmora.locator(0, 0, 6.0), TypeError, "integer"),
    (lambda: pelmora.position_path(0, 0, 0, 1e39), OverflowError, "1e+39 is beyond single precision"),
    (lambda: pelmora.long_path_bearing(math.nan), ValueError, "nan is outside 0..360"),
    (lambda: pelmora.long_path_distance(20002.2), ValueError, "is outside 0..20002.0996"),
])
def test_locators_and_paths_refuse_values_out_of_range(call, error, message):
    with pytest.raises(error, match=re.escape(message)):
        call()


# ---- Errors: the element of a batch, the repr ----

class Raising:
    """An element whose __float__ raises."""

    def __init__(self, error):
        self.error = error

    def __float__(self):
        raise self.error


@pytest.mark.parametrize("call,error,message", [
    (lambda: pelmora.distance_from(0, 0, [1, 2, 1e39], 0), OverflowError, "element 2: 1e+39 is beyond"),
    (lambda: pelmora.arc_cos(np.array([1, 2, np.inf], np.float16)), OverflowError, "element 2: inf is"),
    (lambda: pelmora.grid_from_lat_long([0, 0], [1, -math.inf]), OverflowError, "element 1: -inf is"),
    (lambda: pelmora.s_locator([0, 0], [1, "1"]), TypeError, "element 1: must be real number, not str"),
    (lambda: pelmora.arc_cos(np.array([1, None], dtype=object)), TypeError, "element 1: must be real"),
    (lambda: pelmora.long_from_grid(("JO62qm", None)), TypeError,
     "element 1: a locator must be a str, not NoneType"),
    (lambda: pelmora.arc_cos([0.5, Raising(ValueError("mine"))]), ValueError, "element 1: mine"),
])
def test_a_batch_error_names_its_element(call, error, message):
    with pytest.raises(error, match="^" + re.escape(message)):
        call()


def test_an_element_raising_keeps_its_own_error():
    """As the cause, when it is a conversion's error; else noted."""
    own = TypeError("not a number")
    with pytest.raises(TypeError, match="^element 1: not a number$") as failure:
        pelmora.arc_cos([0.5, Raising(own)])
    assert failure.value.__cause__ is own
    with pytest.raises(ZeroDivisionError) as failure:
        pelmora.azimut(0, 0, [1, 1, Raising(ZeroDivisionError("zero"))], 1)
    assert failure.value.__notes__ == ["element 2 of the batch"]


def test_repr_of_pelmora_error_keeps_value_and_index():
    with pytest.raises(pelmora.PelmoraError) as failure:
        pelmora.distance_from([0, 1, math.nan], 0, 1, 1)
    error = failure.value
    assert repr(error) == "PelmoraError(513, 'Floating-point error', value=0.0, index=2)"
    again = eval(repr(error), {"PelmoraError": pelmora.PelmoraError})
    assert (again.number, again.description, again.value, again.index) == (513, "Floating-point error", 0.0, 2)
    assert repr(pelmora.PelmoraError(6, "Overflow")) == "PelmoraError(6, 'Overflow')"


# ---- The module in a subinterpreter ----

def test_each_interpreter_has_its_own_module_state():
    """A subinterpreter's PelmoraError is its own class, and its results its
    own types (array.array when NumPy refuses it); the main interpreter's
    state is left as it was."""
    pytest.importorskip("_xxsubinterpreters")
    in_each = textwrap.dedent("""
        import array, math, pelmora
        try:
            import numpy
        except ImportError:  # NumPy refuses subinterpreters
            numpy = None
        try:
            pelmora.distance_from(0, 0, [0, math.nan], 1)
        except pelmora.PelmoraError as error:
            assert (error.number, error.index) == (513, 1)
        results = pelmora.arc_cos([1.0, -1.0])
        assert type(results) is (numpy.ndarray if numpy else array.array), type(results)
        assert type(pelmora.locator_cell("JO62")) is pelmora.Cell
        try:
            pelmora.position_path(0, 0, 1e-44, 10)
        except pelmora.PelmoraError as error:
            assert type(error.value) is pelmora.Path
    """)
    script = textwrap.dedent("""
        import _xxsubinterpreters as interpreters, numpy, pelmora
        for _ in range(2):
            interpreter = interpreters.create()
            interpreters.run_string(interpreter, %r)
            interpreters.destroy(interpreter)
        exec(%r)
    """) % (in_each, in_each)
    subprocess.run([sys.executable, "-c", script], check=True)


# ---- Signatures ----

STUBS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pelmora", "__init__.pyi")


def test_signatures_are_those_of_the_stubs():
    """inspect.signature reads each function's parameters, the same in every
    overload of the stubs, and the fields of Cell and Path; the default of
    statuses, where there is one, is a valid call."""
    with open(STUBS, encoding="utf-8") as f:
        tree = ast.parse(f.read())
    stubs = {}
    for node in tree.body:
        if isinstance(node, ast.ClassDef) and node.name in ("Cell", "Path"):
            fields = tuple(f.name for f in node.body if isinstance(f, ast.FunctionDef))
            assert fields == getattr(pelmora, node.name).__match_args__, node.name
        if isinstance(node, ast.FunctionDef):
            shape = (tuple(a.arg for a in node.args.posonlyargs), tuple(a.arg for a in node.args.args),
                     tuple(a.arg for a in node.args.kwonlyargs))
            stubs.setdefault(node.name, set()).add(shape)
    functions = [name for name in pelmora.__all__ if not isinstance(getattr(pelmora, name), type)]
    assert sorted(stubs) == sorted(functions)
    for name in functions:
        function = getattr(pelmora, name)
        parameters = inspect.signature(function).parameters.values()
        shape = tuple(tuple(p.name for p in parameters if p.kind is kind)
                      for kind in (inspect.Parameter.POSITIONAL_ONLY,
                                   inspect.Parameter.POSITIONAL_OR_KEYWORD,
                                   inspect.Parameter.KEYWORD_ONLY))
        assert stubs[name] == {shape}, name
        if "statuses" in shape[2]:
            statuses = inspect.signature(function).parameters["statuses"].default
            assert statuses is False
            scalars = ["JO62qm"] if shape[0] == ("grid",) else [0.5] * len(shape[0])
            assert function(*scalars, statuses=statuses) == function(*scalars)
