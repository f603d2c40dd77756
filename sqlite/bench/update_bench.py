"""The README's UPDATE over a million-row log: through the SQL function,
and through Python's sqlite3 with a Python function calling the pelmora
module (a user's other way); prints both times and their ratio.

    update_bench.py EXTENSION [ROWS]      (the pelmora module on PYTHONPATH)
"""
import random
import sqlite3
import sys
import time

import pelmora

EXTENSION = sys.argv[1]
ROWS = int(sys.argv[2]) if len(sys.argv) > 2 else 1000000
UPDATE = "UPDATE log SET distance = {}(my_gridsquare, gridsquare)"


def grid(r):
    letters, sub = "ABCDEFGHIJKLMNOPQR", "abcdefghijklmnopqrstuvwx"
    return (r.choice(letters) + r.choice(letters) + str(r.randrange(10)) + str(r.randrange(10)) +
            r.choice(sub) + r.choice(sub))


def python_grid_distance(a, b):
    return pelmora.distance_from(pelmora.lat_from_grid(a), pelmora.long_from_grid(a),
                                 pelmora.lat_from_grid(b), pelmora.long_from_grid(b))


def best(con, sql, rounds=3):
    least = float("inf")
    for _ in range(rounds):
        start = time.process_time()
        con.execute(sql)
        least = min(least, time.process_time() - start)
        con.rollback()
    return least


con = sqlite3.connect(":memory:")
con.enable_load_extension(True)
con.load_extension(EXTENSION)
con.create_function("python_grid_distance", 2, python_grid_distance, deterministic=True)
con.execute("CREATE TABLE log(my_gridsquare TEXT, gridsquare TEXT, distance REAL)")
r = random.Random(1)
con.executemany("INSERT INTO log(my_gridsquare, gridsquare) VALUES (?, ?)",
                ((grid(r), grid(r)) for _ in range(ROWS)))
con.commit()
sql_time = best(con, UPDATE.format("pelmora_grid_distance"))
python_time = best(con, UPDATE.format("python_grid_distance"))
print(UPDATE.format("pelmora_grid_distance") + f", {ROWS} rows: {sql_time:.3f} s")
print(f"the same through a Python function calling the module: {python_time:.3f} s "
      f"(the SQL function {python_time / sql_time:.1f}x faster)")
