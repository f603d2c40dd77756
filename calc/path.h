// The path between two positions or two locators: the distance and the
// bearing of the short path as DistanceFrom and Azimut give them, and the
// long path the other way round the great circle.
//
// Short path: DistanceFrom(a, b), kilometres plus 0.5 (or +0.0 for identical
// positions), and Azimut from a to b, whole degrees 0 to 360, exactly as the
// DLL's methods give them (distance.h, bearing.h).
//
// Long path, defined from those float32 results alone, on the same sphere:
//   - distance: the great circle, twice DistanceFrom's half circle
//     H = 20001.600000000002 km, less the short path's kilometres, plus 0.5
//     as DistanceFrom adds it. For a short result d > 0 (d - 0.5 km) that is
//     float32((2H + 1) - d), the constant 2H + 1 = 40004.200000000004 (a
//     double, exact) and the difference formed in double, stored once; for
//     d = 0 (identical positions) the whole circle, float32(2H + 0.5) =
//     40003.6992. So DistanceFrom's range [0.50006366, 20002.0996] becomes
//     [20002.0996, 40003.6992]: the longest short path is its own long path.
//     Defined for d in [0, 20002.0996] (what DistanceFrom can give).
//   - bearing: the reverse of the short bearing b, b + 180 for b below 180
//     and b - 180 otherwise (0 and 360 give 180, 180 gives 0), exact for
//     whole degrees; the sum is formed in double and stored. Defined for b in
//     [0, 360].
//
// Between two locators (grid.h), each read at its own precision: the
// centres go into DistanceFrom and Azimut as float32 degrees. A locator of 4
// or 6 characters gives the centre LatFromGrid and LongFromGrid give it, so
// that every figure for such locators is the one those methods and the DLL
// give; a locator of 2, 8, 10 or 12 characters gives its exact centre
// (DecodeLocator) rounded to the nearest float32.
//
// No centre lies on the equator or the prime meridian, so Azimut never
// takes a centre for a missing position.
#pragma once

#include <string_view>

#include "calc/grid.h"
#include "runtime/errors.h"

namespace pelmora::calc {

// Float32 results of one path: short and long.
struct Path {
  float distance = 0.0f;       // DistanceFrom: km + 0.5, +0.0 for the same place
  float bearing = 0.0f;        // Azimut, whole degrees 0..360
  float long_distance = 0.0f;  // the rest of the great circle, km + 0.5
  float long_bearing = 0.0f;   // the reverse bearing
};

// The longest short path DistanceFrom gives: 20002.0996 (0x469C4433).
inline constexpr float kLongestShortPath = 0x1.388866p+14f;

// The long path's distance and bearing from the short path's; nothing is
// checked (see above for the domains).
float LongPathDistance(float distance);
float LongPathBearing(float bearing);

// The path from my position to the other: DistanceFrom, then Azimut (on
// working values of its own). The error is the distance's when it fails,
// else the bearing's; a failed part and its long counterpart are 0.
runtime::Outcome<Path> PathBetween(float my_lat, float my_lon, float lat, float lon);

// The float32 centre through which a locator enters the path (see above).
GridStatus PathCentre(std::u16string_view locator, float* lat, float* lon);

// The path between two locators; kNotALocator (and a path of zeros) when
// either text is no locator, else the outcome of PathBetween in `outcome`.
GridStatus PathBetweenLocators(std::u16string_view from, std::u16string_view to,
                               runtime::Outcome<Path>* outcome);

}  // namespace pelmora::calc
