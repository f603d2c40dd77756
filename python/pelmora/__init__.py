"""Maidenhead locators, bearings and great-circle distances, bit for bit as
the methods of Pelmora.dll's CalcDistClass compute them (through libpelmora),
and locators of every precision beside them.

The DLL's functions (grid_from_lat_long, s_locator, lat_from_grid,
long_from_grid, azimut, distance_from, arc_cos) make and read six
characters as the DLL does. Beside them, locators of 2 to 12 characters,
exactly: locator (a position to the cell that holds it), locator_centre and
locator_cell (a cell's centre, corner and size, the nearest doubles),
is_locator, and the short and long paths between positions
(position_path) or locators (grid_path, which keeps the DLL's figures for
locators of 4 and 6 characters); a text that is no locator or a value out of
range raises ValueError. These take scalars only.

Every argument is rounded to single precision as Automation converts a
float parameter: to the nearest float, a finite value beyond the float
range (or an infinity) raising OverflowError; NaN passes. A failure of a
calculation raises PelmoraError with the DLL's error number and description.

Each function also takes sequences or one-dimensional arrays (of equal
length, with scalars standing for every element) and then returns an array:
a float32 NumPy array when NumPy is present, else an array.array('f'), for
the number functions; a list of str for the locators. A float32 array, of
any byte order or strides, is used as it is, bit for bit; an array of any
other real numbers (integers, float16, float64, ...) is cast by NumPy to
float64 in one step and each element then rounded as a scalar argument is.
Only one-dimensional arrays are taken, whatever their layout; bytes,
bytearray and memoryviews of bytes are neither numbers nor locators
(TypeError). An element that cannot be read raises with its index in the
message (a note for an exception of another kind raised by the element
itself); PelmoraError carries it as `index`. With statuses=True a batch
returns (results, statuses), the error number of each element (0 for
success), instead of raising at the first failure.

The module keeps its state per interpreter: in a subinterpreter it raises
that interpreter's PelmoraError (and, since NumPy refuses subinterpreters,
gives array.array results there).
"""
from pelmora._errors import PelmoraError
from pelmora._pelmora import (
    Cell,
    Path,
    __version__,
    arc_cos,
    azimut,
    distance_from,
    grid_from_lat_long,
    grid_path,
    is_locator,
    lat_from_grid,
    locator,
    locator_cell,
    locator_centre,
    long_from_grid,
    long_path_bearing,
    long_path_distance,
    position_path,
    s_locator,
)

__all__ = [
    "Cell",
    "Path",
    "PelmoraError",
    "arc_cos",
    "azimut",
    "distance_from",
    "grid_from_lat_long",
    "grid_path",
    "is_locator",
    "lat_from_grid",
    "locator",
    "locator_cell",
    "locator_centre",
    "long_from_grid",
    "long_path_bearing",
    "long_path_distance",
    "position_path",
    "s_locator",
]
