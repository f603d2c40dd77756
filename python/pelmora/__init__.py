"""Maidenhead locators, bearings and great-circle distances, bit for bit as
the methods of Pelmora.dll's CalcDistClass compute them (through libpelmora).

Every argument is rounded to single precision as Automation converts a
float parameter: to the nearest float, a finite value beyond the float
range (or an infinity) raising OverflowError; NaN passes. A failure of a
calculation raises PelmoraError with the DLL's error number and description.

Each function also takes sequences or one-dimensional NumPy arrays (of equal
length, with scalars standing for every element) and then returns an array: a float32
NumPy array when NumPy is present, else an array.array('f'), for the
number methods; a list of str for the locators. float32 arrays are used as
they are, bit for bit. With statuses=True a batch returns (results,
statuses), the error number of each element (0 for success), instead of
raising at the first failure.
"""
from pelmora._errors import PelmoraError
from pelmora._pelmora import (
    __version__,
    arc_cos,
    azimut,
    distance_from,
    grid_from_lat_long,
    lat_from_grid,
    long_from_grid,
    s_locator,
)

__all__ = [
    "PelmoraError",
    "arc_cos",
    "azimut",
    "distance_from",
    "grid_from_lat_long",
    "lat_from_grid",
    "long_from_grid",
    "s_locator",
]
