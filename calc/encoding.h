// Locator encoding: a position to a six-character Maidenhead locator.
//
// Inputs are float32 degrees, latitude first, positive north and east; no
// range is checked. The result is six UTF-16 units: field pair (A..R, and S at
// exactly 90 or 180 degrees, in sLocator also at the float32 just below each),
// square pair (0..9), subsquare pair (a..x), the longitude character first in
// each pair.
//
// The two methods make the same subdivision with different arithmetic, and can
// differ for positions on or next to a cell boundary:
//   sLocator         (coordinate + 180 or 90) / (20 or 10), running quotients
//                    rounded to float32 after the field and the square step;
//   GridFromLatLong  coordinate / (20 or 10) + 9, quotients kept in double.
// Every whole degree lies on a cell boundary, so on the whole-degree grid
// they give different texts for more than half the positions.
//
// Failures (the result is then the null text):
//   - overflow: a field or square quotient whose floor leaves -32768..32767
//     (infinities and quiet NaN included), or a field index + 65 above 32767;
//   - invalid argument: a field character code outside 0..255 (longitudes
//     outside -1480 up to below 3640, latitudes outside -740 up to below
//     1820);
//   - floating point: a signalling NaN coordinate, at the first step using it.
// Both field floors come before the first character, and the longitude
// character before the latitude character, so for the same coordinates both
// methods fail with the same error.
#pragma once

#include "runtime/code_page.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace pelmora::calc {

runtime::Outcome<runtime::Text> sLocator(float sLat, float sLon,
                                         const runtime::CodePage& page = runtime::Windows1252());

runtime::Outcome<runtime::Text> GridFromLatLong(
    float dLat, float dLon, const runtime::CodePage& page = runtime::Windows1252());

}  // namespace pelmora::calc
