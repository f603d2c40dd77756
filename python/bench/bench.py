"""The pelmora module's speed against its goals (run by tools/bench_interfaces.sh):

- a call costs at most 5 times an empty C-extension call of as many arguments;
- the locator, distance and bearing work is at least 20 times faster than
  pyhamtools' (locator_to_latlong, calculate_distance, calculate_heading);
- a NumPy batch costs at most 1.2 times the C library's own cost per element
  (given as the first argument, in ns, by the driver).
"""
import sys
import timeit

import numpy as np

import pelmora
import pelmora_empty
from pyhamtools import locator as ham

c_ns = float(sys.argv[1])


def ns(statement, number, **names):
    best = min(timeit.repeat(statement, globals=names, number=number, repeat=7))
    return best / number * 1e9


def line(what, value, goal, met):
    print("%-52s %10.2f   goal %-8s %s" % (what, value, goal, "met" if met else "MISSED"))


empty = ns("f(52.5, 13.4, 40.7, -74.0)", 200000, f=pelmora_empty.empty)
for name, statement in (("distance_from", "f(52.5, 13.4, 40.7, -74.0)"),
                        ("azimut", "f(52.5, 13.4, 40.7, -74.0)"),
                        ("grid_from_lat_long", "f(52.5, 13.4)"),
                        ("lat_from_grid", "f('JO62qm')")):
    t = ns(statement, 200000, f=getattr(pelmora, name))
    line("%s call / empty C-extension call (%.0f / %.0f ns)" % (name, t, empty), t / empty,
         "<= 5", t / empty <= 5)

# The same work: two locators to positions, the distance and the bearing.
ours = ns("d(la(a), lo(a), la(b), lo(b)); z(la(a), lo(a), la(b), lo(b))", 50000,
          d=pelmora.distance_from, z=pelmora.azimut, la=pelmora.lat_from_grid,
          lo=pelmora.long_from_grid, a="JO62qm", b="FN20xq")
theirs = ns("p = l('JO62qm'); q = l('FN20xq'); d(p[0], p[1], q[0], q[1]); h(p[0], p[1], q[0], q[1])",
            20000, l=ham.locator_to_latlong, d=ham.calculate_distance, h=ham.calculate_heading)
line("pyhamtools / pelmora, locators+distance+bearing (%.0f / %.0f ns)" % (theirs, ours),
     theirs / ours, ">= 20", theirs / ours >= 20)

n = 1 << 16
rng = np.random.default_rng(1)
lat = rng.uniform(-85, 85, n).astype(np.float32)
lon = rng.uniform(-179, 179, n).astype(np.float32)
lat2 = rng.uniform(-85, 85, n).astype(np.float32)
lon2 = rng.uniform(-179, 179, n).astype(np.float32)
batch = ns("f(a, b, c, d)", 20, f=pelmora.distance_from, a=lat, b=lon, c=lat2, d=lon2) / n
line("NumPy batch distance_from per element / C call (%.1f / %.1f ns)" % (batch, c_ns),
     batch / c_ns, "<= 1.2", batch / c_ns <= 1.2)
