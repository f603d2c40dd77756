"""Pelmora's SQL functions in SQLite: the corpus and the shared table of
loggers' cases bit for bit through SQL, NULL in and out, argument types, failures raised or NULL, the flags that
let the functions stand in an index and a generated column, and the
sqlite3 shell's `.load`.

PELMORA_SQLITE_EXTENSION names the built extension (pelmora.so) and
PELMORA_CORPUS_DUMP the native corpus_dump program (CTest sets both)."""

import math
import os
import sqlite3
import struct
import subprocess
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "corpus"))
from corpus_text import text_units  # noqa: E402

EXTENSION = os.environ.get("PELMORA_SQLITE_EXTENSION", "")
ERROR_NUMBER = {0: 0, 1: 6, 2: 513, 3: 5}  # corpus_dump's numbers of the errors

pytestmark = pytest.mark.skipif(not EXTENSION, reason="PELMORA_SQLITE_EXTENSION not set")


def connect():
    con = sqlite3.connect(":memory:")
    con.enable_load_extension(True)
    con.load_extension(EXTENSION)
    con.enable_load_extension(False)
    return con


def f32(bits):
    return struct.unpack("<f", struct.pack("<I", bits))[0]


def bits(value):
    if value is None:  # SQLite's NaN
        return None
    return struct.unpack("<I", struct.pack("<f", value))[0]


def is_nan(b):
    return (b & 0x7FFFFFFF) > 0x7F800000


def same(got, expected):
    return (got is None and is_nan(expected)) or got == expected


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
                calls[kind].append((text_units(rest), int(r[0]), int(r[1], 16), int(r[2]), int(r[3], 16)))
            elif kind in ("sLocator", "GridFromLatLong"):
                error, _, text = tail.partition(" ")
                calls[kind].append(([int(w, 16) for w in rest.split()], int(error),
                                    None if text == "<null>" else "".join(map(chr, text_units(text)))))
            elif kind in calls:
                r = tail.split(" ")
                calls[kind].append(([int(w, 16) for w in rest.split()], int(r[0]), int(r[1], 16)))
    return calls


def finite(inputs):
    # SQLite has no NaN, and an infinite argument is Automation's overflow.
    return all((b & 0x7F800000) != 0x7F800000 for b in inputs)


def replay(con, function, calls, result_of):
    """Every successful call of the corpus in one statement, every failing one
    alone (a failure ends its statement); returns the calls that differ."""
    arity = len(calls[0][0])
    columns = ", ".join(f"x{i}" for i in range(arity))
    con.execute(f"CREATE TEMP TABLE c(n INTEGER PRIMARY KEY, {columns})")
    ok = [(n, *map(f32, inputs)) for n, (inputs, error, _) in enumerate(calls) if error == 0]
    con.executemany(f"INSERT INTO c VALUES ({', '.join('?' * (arity + 1))})", ok)
    wrong = []
    for n, got in con.execute(f"SELECT n, {function}({columns}) FROM c ORDER BY n"):
        if not result_of(got, calls[n][2]):
            wrong.append((calls[n], got))
    con.execute("DROP TABLE c")
    for inputs, error, expected in calls:
        if error == 0:
            continue
        with pytest.raises(sqlite3.OperationalError, match=rf"\(error {ERROR_NUMBER[error]}\)$"):
            con.execute(f"SELECT {function}({', '.join('?' * arity)})", list(map(f32, inputs))).fetchone()
    return wrong


@pytest.mark.parametrize("kind,function", [("azimut", "pelmora_bearing"),
                                           ("distance", "pelmora_distance"),
                                           ("arccos", "pelmora_arc_cos")])
def test_corpus_numbers(corpus, kind, function):
    calls = [c for c in corpus[kind] if finite(c[0])]
    assert len(calls) > 0.9 * len(corpus[kind])
    assert replay(connect(), function, calls, lambda got, expected: same(bits(got), expected)) == []


@pytest.mark.parametrize("kind,function", [("sLocator", "pelmora_s_locator"),
                                           ("GridFromLatLong", "pelmora_grid_from_lat_long")])
def test_corpus_locators(corpus, kind, function):
    calls = [c for c in corpus[kind] if finite(c[0])]
    assert replay(connect(), function, calls, lambda got, expected: got == expected) == []


def test_corpus_decoding(corpus):
    con = connect()
    wrong = []
    rows = [c for c in corpus["decode"] if not any(0xD800 <= u <= 0xDFFF for u in c[0])]
    assert len(rows) > 0.9 * len(corpus["decode"])
    texts = [("".join(map(chr, units)),) for units, *_ in rows]
    con.execute("CREATE TEMP TABLE g(n INTEGER PRIMARY KEY, grid TEXT)")
    con.executemany("INSERT INTO g(grid) VALUES (?)", texts)
    got = con.execute("SELECT pelmora_lat_from_grid(grid), pelmora_long_from_grid(grid) FROM g ORDER BY n").fetchall()
    for (units, lat_error, lat, lon_error, lon), (glat, glon) in zip(rows, got):
        if (lat_error, lon_error) != (0, 0) or bits(glat) != lat or bits(glon) != lon:
            wrong.append((units, glat, glon))
    assert wrong == []


# ---- The shared table of the calls loggers make ----

CASES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "cases", "loggers.tsv")
PATH_FIGURES = ("distance", "bearing", "long_distance", "long_bearing")


def cases():
    with open(CASES, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line and not line.startswith("#"):
                yield line.split("\t")


def f32_of_text(text):
    return struct.unpack("<f", struct.pack("<f", float(text)))[0]


def test_loggers_cases_through_sql():
    """Each case as the SQL functions give it; a failing case must fail
    with the table's status (locators, centres and paths; the cell's corner
    and size have no SQL function)."""
    con = connect()
    checked = 0
    wrong = []

    def check(sql, args, status, expected, convert=lambda v: v):
        nonlocal checked
        checked += 1
        try:
            got = convert(con.execute(f"SELECT {sql}", args).fetchone()[0])
        except sqlite3.OperationalError as e:
            got = ("error", str(e).rsplit("(error ", 1)[-1].rstrip(")"))
            expected = ("error", status) if status != "0" else expected
        if got != expected:
            wrong.append((sql, args, got, expected))

    for case in cases():
        call, args = case[0], case[1:]
        if "nan" in (a.lower() for a in args):
            continue  # SQLite has no NaN
        if call == "locator":
            lat, lon, n, status, text = args[:5]
            check("pelmora_locator(?, ?, ?)", (float(lat), float(lon), int(n)), status, text)
        elif call == "is_locator":
            check("pelmora_is_locator(?)", (args[0],), "0", int(args[2]))
        elif call == "cell" and args[1] == "0" and int(args[-2]) not in (4, 6):
            # The exact centre, rounded to float, is what a path uses.
            for function, hex_bits in (("pelmora_lat", args[2]), ("pelmora_lon", args[3])):
                exact = struct.unpack("<d", bytes.fromhex(hex_bits)[::-1])[0]
                check(f"{function}(?)", (args[0],), "0", bits(f32_of_text(repr(exact))), bits)
        elif call in ("grid_path", "position_path"):
            n = 2 if call == "grid_path" else 4
            inputs = tuple(args[:n]) if n == 2 else tuple(map(f32_of_text, args[:n]))
            status = args[n]
            prefix = "pelmora_grid_" if n == 2 else "pelmora_"
            for figure, hex_bits in zip(PATH_FIGURES, args[n + 1:n + 5]):
                marks = ", ".join("?" * n)
                check(f"{prefix}{figure}({marks})", inputs, status, int(hex_bits, 16), bits)
    assert checked > 100
    assert wrong == []


# ---- NULL, argument types, failures ----

@pytest.mark.parametrize("call", [
    "pelmora_distance(NULL, 0, 1, 1)", "pelmora_long_bearing(0, 0, 1, NULL)", "pelmora_lat(NULL)",
    "pelmora_long_from_grid(NULL)",
    "pelmora_locator(NULL, 1)", "pelmora_locator(1, 2, NULL)", "pelmora_s_locator(1, NULL)",
    "pelmora_arc_cos(NULL)", "pelmora_is_locator(NULL)", "pelmora_grid_long_distance('JO62', NULL)"])
def test_null_in_null_out(call):
    assert connect().execute(f"SELECT {call}").fetchone() == (None,)


def test_numbers_stored_as_text_are_numbers():
    con = connect()
    assert con.execute("SELECT pelmora_locator('52.5', ' 13.4 ')").fetchone() == ("JO62qm",)
    assert con.execute("SELECT pelmora_distance(52.5, 13.4, '40.7', -74)").fetchone() == \
        con.execute("SELECT pelmora_distance(52.5, 13.4, 40.7, -74)").fetchone()


@pytest.mark.parametrize("call,message", [
    ("pelmora_locator('north', 1)", "pelmora_locator: argument 1 must be a number"),
    ("pelmora_locator(1, 2, 6.5)", "pelmora_locator: argument 3 must be a whole number of characters"),
    ("pelmora_distance(0, 0, 1, x'00')", "pelmora_distance: argument 4 must be a number"),
    ("pelmora_lat(52)", "pelmora_lat: argument 1 must be a text"),
    ("pelmora_grid_from_lat_long(0, 3640)",
     "pelmora_grid_from_lat_long: Invalid procedure call or argument (error 5)"),
    ("pelmora_s_locator(0, 1e39)", "pelmora_s_locator: Overflow (error 6)"),
    ("pelmora_locator(91, 0)", "pelmora_locator: Argument out of range (error -4)"),
    ("pelmora_locator(0, 0, 7)", "pelmora_locator: Argument out of range (error -4)"),
    ("pelmora_locator(0, 0, 4294967302)", "pelmora_locator: Argument out of range (error -4)"),
    ("pelmora_lat('JO6')", "pelmora_lat: Not a locator (error -3)"),
    ("pelmora_grid_bearing('JO62qm', 'FN2')", "pelmora_grid_bearing: Not a locator (error -3)"),
    ("pelmora_distance(0, 0, 9e999, 0)", "pelmora_distance: Overflow (error 6)"),
    ("pelmora_bearing(0, 13.4, 1.401298464324817e-45, -74)", "pelmora_bearing: Floating-point error (error 513)"),
])
def test_failures_carry_number_and_text(call, message):
    with pytest.raises(sqlite3.OperationalError) as failure:
        connect().execute(f"SELECT {call}").fetchone()
    assert str(failure.value) == message


def test_null_on_error_mode():
    con = connect()
    assert con.execute("SELECT pelmora_on_error('null')").fetchone() == ("raise",)
    assert con.execute("SELECT pelmora_grid_from_lat_long(0, 3640), pelmora_distance(0, 0, 9e999, 0),"
                       " pelmora_grid_distance('JO62qm', 'XX')").fetchone() == (None, None, None)
    with pytest.raises(sqlite3.OperationalError, match="must be a text"):  # a misuse still raises
        con.execute("SELECT pelmora_lat(52)").fetchone()
    assert con.execute("SELECT pelmora_on_error('raise')").fetchone() == ("null",)
    with pytest.raises(sqlite3.OperationalError, match=r"\(error 5\)$"):
        con.execute("SELECT pelmora_grid_from_lat_long(0, 3640)").fetchone()
    with pytest.raises(sqlite3.OperationalError, match="'raise' or 'null'"):
        con.execute("SELECT pelmora_on_error('ignore')").fetchone()


def test_a_locator_holding_nul_is_kept_whole():
    got = connect().execute("SELECT pelmora_grid_from_lat_long(52.5, -1480)").fetchone()[0]
    assert got == "\0O02am"


# ---- Indexes, generated columns, views; the shell ----

def test_usable_in_index_generated_column_and_view():
    con = connect()
    con.executescript("""
        CREATE TABLE log(call TEXT, my_grid TEXT, grid TEXT,
                         km REAL GENERATED ALWAYS AS (pelmora_grid_distance(my_grid, grid)) STORED);
        CREATE INDEX by_lat ON log(pelmora_lat(grid));
        CREATE VIEW far AS SELECT call FROM log WHERE km > 5000;
        INSERT INTO log(call, my_grid, grid) VALUES ('A', 'JO62qm', 'FN20xr'), ('B', 'JO62qm', 'JO62')
    """)
    assert con.execute("SELECT call FROM far").fetchall() == [("A",)]
    assert con.execute("SELECT call FROM log WHERE pelmora_lat(grid) = pelmora_lat('FN20xr')").fetchall() == [("A",)]


def test_the_shell_loads_it():
    out = subprocess.run(["sqlite3", ":memory:"], input=f".load {EXTENSION}\n"
                         "SELECT pelmora_locator(52.5, 13.4), pelmora_bearing(52.5, 13.4, 40.7, -74);\n",
                         capture_output=True, text=True, check=True)
    assert out.stdout == "JO62qm|296.0\n"
