"""The pelmora module: the corpus bit for bit, Automation's rounding of
arguments, failures as exceptions, texts of every kind, batches.

PELMORA_CORPUS_DUMP names the native corpus_dump program (tools/test.sh sets
it); without it the corpus test is skipped.
"""
import array
import math
import os
import random
import re
import struct
import subprocess
import sys

import numpy as np
import pytest

import pelmora

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "corpus"))
from corpus_text import text_units  # noqa: E402

ERROR_NUMBER = {0: 0, 1: 6, 2: 513, 3: 5}  # corpus_dump's numbers of the errors
FLT_MAX = struct.unpack("<f", struct.pack("<I", 0x7F7FFFFF))[0]


def parse_show(text):
    return "".join(map(chr, text_units(text)))


def f32(bits):
    return np.array(bits, dtype=np.uint32).view(np.float32)


def same_bits(got, expected_bits):
    """float32 results against bit patterns, any NaN equal to any NaN."""
    got_bits = np.asarray(got, dtype=np.float32).view(np.uint32)
    expected = np.array(expected_bits, dtype=np.uint32)
    nan = ((got_bits & 0x7FFFFFFF) > 0x7F800000) & ((expected & 0x7FFFFFFF) > 0x7F800000)
    return np.flatnonzero(~((got_bits == expected) | nan))


@pytest.fixture(scope="module")
def corpus(tmp_path_factory):
    dump = os.environ.get("PELMORA_CORPUS_DUMP")
    if not dump:
        pytest.skip("PELMORA_CORPUS_DUMP (the native corpus_dump) not set")
    path = tmp_path_factory.mktemp("corpus") / "native.txt"
    subprocess.run([dump, str(path)], check=True)
    calls = {"azimut": [], "distance": [], "arccos": [], "sLocator": [], "GridFromLatLong": [],
             "decode": []}
    with open(path) as f:
        for line in f:
            head, _, tail = line.rstrip("\n").rpartition(" -> ")
            kind, _, rest = head.partition(" ")
            if kind == "decode":
                r = tail.split(" ")
                calls[kind].append((parse_show(rest), int(r[0]), int(r[1], 16), int(r[2]), int(r[3], 16)))
            elif kind in ("sLocator", "GridFromLatLong"):
                error, _, text = tail.partition(" ")
                calls[kind].append(([int(w, 16) for w in rest.split()], int(error),
                                    None if text == "<null>" else parse_show(text)))
            elif kind in calls:
                r = tail.split(" ")
                calls[kind].append(([int(w, 16) for w in rest.split()], int(r[0]), int(r[1], 16)))
    return calls


@pytest.mark.parametrize("kind,function", [("azimut", pelmora.azimut),
                                           ("distance", pelmora.distance_from),
                                           ("arccos", pelmora.arc_cos)])
def test_corpus_numbers(corpus, kind, function):
    calls = corpus[kind]
    inputs = np.array([c[0] for c in calls], dtype=np.uint32).view(np.float32)
    values, statuses = function(*[np.ascontiguousarray(inputs[:, i]) for i in range(inputs.shape[1])],
                                statuses=True)
    assert list(statuses) == [ERROR_NUMBER[c[1]] for c in calls]
    assert same_bits(values, [c[2] for c in calls]).size == 0
    # The scalar form, for every call whose inputs a Python float can carry
    # (no signalling NaN, nothing Automation would refuse).
    for (bits, error, result) in calls[::7]:
        if any((b & 0x7FFFFFFF) >= 0x7F800000 and b not in (0x7FC00000, 0xFFC00000) for b in bits):
            continue
        args = [float(f32(b)) for b in bits]
        if error:
            with pytest.raises(pelmora.PelmoraError) as failure:
                function(*args)
            assert failure.value.number == ERROR_NUMBER[error]
            assert same_bits([failure.value.value], [result]).size == 0
        else:
            assert same_bits([function(*args)], [result]).size == 0


@pytest.mark.parametrize("kind,function", [("sLocator", pelmora.s_locator),
                                           ("GridFromLatLong", pelmora.grid_from_lat_long)])
def test_corpus_locators(corpus, kind, function):
    calls = corpus[kind]
    inputs = np.array([c[0] for c in calls], dtype=np.uint32).view(np.float32)
    texts, statuses = function(inputs[:, 0].copy(), inputs[:, 1].copy(), statuses=True)
    assert list(statuses) == [ERROR_NUMBER[c[1]] for c in calls]
    assert texts == [c[2] for c in calls]


def test_corpus_decoding(corpus):
    calls = corpus["decode"]
    grids = [c[0] for c in calls]
    lat, lat_statuses = pelmora.lat_from_grid(grids, statuses=True)
    lon, lon_statuses = pelmora.long_from_grid(grids, statuses=True)
    assert list(lat_statuses) == [ERROR_NUMBER[c[1]] for c in calls]
    assert list(lon_statuses) == [ERROR_NUMBER[c[3]] for c in calls]
    assert same_bits(lat, [c[2] for c in calls]).size == 0
    assert same_bits(lon, [c[4] for c in calls]).size == 0
    for grid, _, lat_bits, _, lon_bits in calls[::11]:
        assert same_bits([pelmora.lat_from_grid(grid), pelmora.long_from_grid(grid)],
                         [lat_bits, lon_bits]).size == 0


# ---- The loggers' cases, bit for bit ----

LOGGERS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "cases",
                       "loggers.tsv")


def float_bits(x):
    return struct.pack(">f", x).hex().upper()


def double_bits(x):
    return struct.pack(">d", x).hex().upper()


def replay(call, args):
    """A case's status and result fields as the table writes them. Each
    call refuses one way (ValueError: -3 for a text that is no locator, -4
    for a value out of range); PelmoraError gives its number and value."""
    try:
        if call == "locator":
            return 0, [pelmora.locator(float(args[0]), float(args[1]), int(args[2]))]
        if call == "cell":
            cell = pelmora.locator_cell(args[0])
            return 0, [double_bits(v) for v in cell[:6]] + [str(cell.characters)]
        if call == "is_locator":
            characters = pelmora.is_locator(args[0])
            return (0 if characters else -3), [str(characters)]
        if call == "grid_path":
            return 0, [float_bits(v) for v in pelmora.grid_path(*args)]
        if call == "position_path":
            return 0, [float_bits(v) for v in pelmora.position_path(*map(float, args))]
        if call in ("long_path_distance", "long_path_bearing"):
            return 0, [float_bits(getattr(pelmora, call)(float(args[0])))]
    except ValueError:
        refused = {"locator": (-4, [""]), "cell": (-3, ["0" * 16] * 6 + ["0"]),
                   "grid_path": (-3, [float_bits(0)] * 4)}
        return refused.get(call, (-4, [float_bits(0)]))
    except pelmora.PelmoraError as error:
        assert isinstance(error.value, pelmora.Path)
        return error.number, [float_bits(v) for v in error.value]
    raise AssertionError("unknown call " + call)


ARITY = {"locator": 3, "cell": 1, "is_locator": 1, "grid_path": 2, "position_path": 4,
         "long_path_distance": 1, "long_path_bearing": 1}


def test_loggers_cases_bit_for_bit():
    """Every case of the loggers' table, computed again through the module,
    gives its line character for character."""
    with open(LOGGERS, encoding="utf-8") as f:
        lines = [line.rstrip("\n") for line in f if line.strip() and not line.startswith("#")]
    assert len(lines) > 50
    differ = []
    for line in lines:
        fields = line.split("\t")
        call = fields[0]
        args = fields[1:1 + ARITY[call]]
        status, results = replay(call, args)
        computed = "\t".join([call, *args, str(status), *results, fields[-1]])
        if computed != line:
            differ.append("table:    %s\ncomputed: %s" % (line, computed))
    assert not differ, "\n".join(differ)


# ---- Arguments as Automation converts a float parameter ----

ABOVE_ONE = 1.0 + 2.0 ** -24  # halfway between 1 and the next float: to even, 1


@pytest.mark.parametrize("value,expected", [
    (ABOVE_ONE, 1.0),
    (1.0 + 3 * 2.0 ** -24, 1.0 + 2.0 ** -22),   # halfway again: to even, upwards
    (FLT_MAX, FLT_MAX),
    (2.0 ** -150, 0.0),                      # half the smallest subnormal: to even, 0
    (-0.0, -0.0),
    (3, 3.0),
    (16777217, 16777216.0),                  # an int rounds like its double
])
def test_arguments_round_to_float32(value, expected):
    got = pelmora.arc_cos(value)
    assert struct.pack("<f", got) == struct.pack("<f", pelmora.arc_cos(expected))
    assert pelmora.distance_from(value, 0, value, 0) == 0.0  # the same float both times


@pytest.mark.parametrize("value", [3.4028235e38, -1e39, math.inf, -math.inf, 10 ** 40])
def test_beyond_single_precision_is_overflow(value):
    with pytest.raises(OverflowError):
        pelmora.arc_cos(value)
    with pytest.raises(OverflowError, match="^element 1: "):
        pelmora.distance_from(0, 0, 1, [0.0, value])
    with pytest.raises(OverflowError, match="^element 1: "):
        pelmora.distance_from(0, 0, 1, np.array([0.0, value], dtype=np.float64))


def test_nan_passes_and_bad_types_are_type_errors():
    assert math.isnan(pelmora.arc_cos(math.nan))
    with pytest.raises(TypeError):
        pelmora.arc_cos("1")
    with pytest.raises(TypeError):
        pelmora.lat_from_grid(1.0)
    with pytest.raises(TypeError):
        pelmora.arc_cos()


# ---- Failures ----

def test_a_field_of_code_0_is_a_nul_inside_the_locator():
    assert pelmora.grid_from_lat_long(52.5, -1480) == "\0O02am"
    assert pelmora.s_locator([52.5], [-1480]) == ["\0O02am"]


@pytest.mark.parametrize("call,number,description,value", [
    (lambda: pelmora.grid_from_lat_long(0, 1e9), 6, "Overflow", None),
    (lambda: pelmora.s_locator(0, 5000), 5, "Invalid procedure call or argument", None),
    (lambda: pelmora.distance_from(0, 0, math.nan, 1), 513, "Floating-point error", 0.0),
    (lambda: pelmora.azimut(0, 0, 1e-44, 10), 513, "Floating-point error", 0.0),
])
def test_failures_carry_the_dll_number_and_description(call, number, description, value):
    with pytest.raises(pelmora.PelmoraError) as failure:
        call()
    error = failure.value
    assert (error.number, error.description, error.value, error.index) == (number, description, value, None)
    assert str(error) == "%s (error %d)" % (description, number)
    assert isinstance(error, ArithmeticError)


# ---- Texts of every kind of str ----

def test_every_str_decodes_as_its_utf16_units():
    """One-byte, two-byte (lone surrogates) and four-byte strings decode as
    the UTF-16 units they stand for, here spelled as surrogate pairs in a
    two-byte string."""
    pieces = [" ", "J", "o", "6", "2", "q", "\u00d7", "\u20ac", "\U0001F600", "\ud800", "\t", "x"]
    rng = random.Random(23)
    for _ in range(20000):
        text = "".join(rng.choice(pieces) for _ in range(rng.randrange(10)))
        units = text.encode("utf-16-le", "surrogatepass")
        spelled = "".join(chr(units[i] | units[i + 1] << 8) for i in range(0, len(units), 2))
        for function in (pelmora.lat_from_grid, pelmora.long_from_grid):
            assert struct.pack("<f", function(text)) == struct.pack("<f", function(spelled)), repr(text)


# ---- Batches ----

def test_batches_broadcast_and_agree_with_scalars():
    lats = np.linspace(-89.5, 89.5, 181, dtype=np.float32)
    km = pelmora.distance_from(lats, 13.4, 52.5, [13.4] * len(lats))
    bearing = pelmora.azimut(52.5, 13.4, lats.astype(np.float64), 100.0)
    assert km.dtype == np.float32 and bearing.dtype == np.float32
    for i in range(0, len(lats), 10):
        assert km[i] == pelmora.distance_from(float(lats[i]), 13.4, 52.5, 13.4)
        assert bearing[i] == pelmora.azimut(52.5, 13.4, float(lats[i]), 100.0)
    assert pelmora.grid_from_lat_long((52.5,), 13.4) == ["JO62qm"]
    assert list(pelmora.long_from_grid(np.array(["JO62qm", "FN20"]))) == [13.375, -75.0]


def test_batch_failures_and_misuse():
    with pytest.raises(pelmora.PelmoraError) as failure:
        pelmora.distance_from([0, 1, math.nan, math.nan], 0, 1, 1)
    assert failure.value.index == 2
    texts, statuses = pelmora.grid_from_lat_long([0, 0], [1, 1e9], statuses=True)
    assert texts == ["JJ00ma", None] and list(statuses) == [0, 6]
    with pytest.raises(ValueError):
        pelmora.distance_from([1, 2], [1, 2, 3], 0, 0)
    with pytest.raises(TypeError):
        pelmora.arc_cos(0.5, statuses=True)

    # An element that empties its list while it is read: the batch reads a
    # copy, element by element as given.
    class Emptying:
        def __init__(self, items):
            self.items = items

        def __float__(self):
            self.items.clear()
            return 0.5

    items = []
    items += [Emptying(items), 0.25, 0.75]
    assert list(pelmora.arc_cos(items)) == [pelmora.arc_cos(x) for x in (0.5, 0.25, 0.75)]


def test_batches_without_numpy():
    """Without NumPy a batch gives array.array('f') (statuses 'i')."""
    script = ("import sys; sys.modules['numpy'] = None\n"
              "import array, pelmora\n"
              "v, s = pelmora.arc_cos([1.0, -1.0], statuses=True)\n"
              "assert isinstance(v, array.array) and v.typecode == 'f', v\n"
              "assert list(v) == [pelmora.arc_cos(1.0), pelmora.arc_cos(-1.0)]\n"
              "assert s.typecode == 'i' and list(s) == [0, 0]\n")
    subprocess.run([sys.executable, "-c", script], check=True)
