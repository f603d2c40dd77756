// Bearing in whole degrees from one position to another.
//
// Azimut(fields, MyLat, MyLon, lnLatitude, lnLongitude) gives the direction in
// which the great circle from my position (MyLat, MyLon) to the other position
// (lnLatitude, lnLongitude) leaves mine, clockwise from true north. Inputs are
// float32 degrees, positive north and east; no range is checked. The result is
// a whole number of degrees, 0 to 360 inclusive, rounded half up: both 0 and
// 360 stand for north (a bearing from 359.5 up gives 360, one below 0.5
// gives 0), 44.5 gives 45.
//
// Arithmetic is in double; values are rounded to float32 where they are
// stored (the fields below, my latitude and longitude in radians) and nowhere
// else. Degrees become radians by dividing by the double K = 57.2958, not
// 180/pi: every angle is scaled by about 1 - 3.6e-7. The longitude difference
// (mine minus the other's, in radians) is normalised once against
// pi32 = 0x40490FDB, which lies slightly above pi, by adding or subtracting
// 2pi32 = 0x40C90FDB; the bounds are strict and there is no second pass. The
// bearing comes from an auxiliary angle alpha = atan(cos d * cot phi2) and
// beta = atan(1 / t2) with t2 = ((cos d / sin d) * cos(phi1 + alpha)) / sin
// alpha, in exactly this order, the quadrant from the sign of the longitude
// difference and of beta, and a clockwise turn.
//
// Special values:
//   - Missing other position: a zero (either sign) or NaN lnLatitude or
//     lnLongitude gives 0, success, and no field is written. A position on
//     the equator or the prime meridian cannot be a target. My position is
//     not tested: from 0, 0 the bearing is computed.
//   - Equal longitudes (equal as float32 radians, which includes some
//     distinct degrees such as -120.5 and -120.500008): not computed. The
//     result is 180 when lnLatitude < MyLat (target due south) and 0 otherwise
//     (due north, or the same position). Answering 0 to a target due south
//     would be plainly wrong, and positions decoded from one locator column
//     share their longitude exactly. The neighbours one float32 east or west
//     are computed and agree: 180 due south, 0 or 360 due north.
//   - MyLon 180 to lnLongitude -180 is a small difference after the
//     normalisation (-0.000137 degrees), not equality: due south gives 180.
//   - A difference of exactly pi32 (about 180.00007 degrees) stays
//     unnormalised, and as pi32 exceeds pi the answer lies on the far side of
//     the meridian: 180 for a target north across the pole, 360 for one south
//     across it, where the great circle says 0 and 180.
//   - Longitudes outside -180..180 by more than half a turn stay outside
//     after the one pass; the quadrant is then that of the unnormalised
//     difference (500 -> -100 gives 224, where 140 -> -100 gives 44).
//
// Accuracy: before the rounding to whole degrees the value follows the exact
// initial great-circle bearing of the same float32 degrees to within about a
// hundredth of a degree for pairs a degree or more apart; most of the
// difference comes from K, which moves positions near the poles against each
// other. Closer pairs differ more, about as the inverse of their distance,
// since float32 radians place a position only within about a metre. Across
// the 180 meridian it is worse: the difference is scaled by K before the turn
// 2pi32 is taken off, which leaves about 1.4e-4 degrees of longitude, so a
// pair a few hundred metres apart there can be off by more than a degree. The
// figures measured are given with the tests of tests/bearing_test.cpp.
//
// Platform: none. Sine, cosine and arc tangent are correctly rounded
// (runtime/trig.h), with an exact reduction of huge arguments, so every
// build gives the same bits, longitude differences far beyond a turn
// included.
//
// Failures: the floating-point error; the result is then 0 and the fields
// hold what the steps reached (each examination comes before the store of its
// step, so the failing step's field keeps its earlier value). Conditions are
// sticky from the start of the call, a float32 overflow in a store included.
//   - A non-zero other latitude whose radians round to zero (magnitude at
//     most 28 * 2^-149): cot phi2 divides by zero.
//   - An other latitude so small (below about 1.7e-37 degrees) that t1
//     overflows float32: found after phi1 + alpha, alpha then being pi/2.
//   - A longitude difference made zero by the normalisation (MyLon 180,
//     lnLongitude -180.000137): cot d divides by zero.
//   - Distinct longitudes so close to zero (magnitudes below about 1e-37
//     degrees) that t2 overflows float32: found after the reciprocal.
//   - A longitude difference whose degrees overflow float32 (longitudes near
//     the float32 limit): found at the next examination, a quadrant addition
//     when one is made, else the clockwise turn.
//   - NaN in MyLat or MyLon: a signalling NaN fails at the examination after
//     its own division.
//     A quiet NaN is an invalid operation at the first ordered comparison
//     that meets it (< and > with a NaN operand), found at the next
//     examination: the normalisation for MyLon, the quadrant tests for MyLat,
//     the due-south test on equal longitudes. A NaN in the other position is
//     a missing position instead.
//   - Infinite coordinates: the sine or cosine of an infinity is invalid, so
//     every bearing that is computed fails. The two early answers take them
//     as they are: an infinite other coordinate with a zero one is a missing
//     position, and on equal longitudes infinite latitudes are compared like
//     any others. Equal infinite longitudes fail (inf - inf).
#pragma once

#include "runtime/errors.h"

namespace pelmora::calc {

// The working values of a bearing, float32, in this order; the component's
// instance owns one and hands it to every call. No call reads a field it has
// not written in that call.
//   OtherLatRad  the other latitude in radians, phi2
//   LonDiff      my longitude minus the other's: in radians, then normalised
//                (d), at the end in degrees
//   OtherLonRad  the other longitude in radians
//   AuxAngle     the first tangent term t1, then alpha in radians
//   AzimutValue  in turn t2, beta in radians, beta in degrees, the bearing
//                anticlockwise, clockwise, and at the end the result
// Equal longitudes end the call with the first three written (LonDiff +0).
struct BearingFields {
  float OtherLatRad = 0.0f;
  float LonDiff = 0.0f;
  float OtherLonRad = 0.0f;
  float AuxAngle = 0.0f;
  float AzimutValue = 0.0f;
};

runtime::Outcome<float> Azimut(BearingFields& fields, float MyLat, float MyLon, float lnLatitude,
                               float lnLongitude);

}  // namespace pelmora::calc
