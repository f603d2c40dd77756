// Great-circle distance, its arc cosine, and the method that always yields 0.
//
// DistanceFrom(alat, alon, blat, blon)
//   Inputs are float32 degrees, latitude positive north, longitude positive
//   east; no range is checked. The result is a float32 number of kilometres
//   plus 0.5 (not made a whole number), by the spherical law of cosines on a
//   sphere on which half a great circle measures 20001.600000000002 km, the
//   scaling divided by pi32 = 3.14159274101257324 (0x40490FDB), the float32
//   nearest to pi: radius 6366.7068 km. Successful results lie in
//   [0.50006366, 20002.0996]; identical inputs give exactly +0.0.
//
//   Exact float32 equality of both pairs (+0 equals -0) gives +0.0 at once,
//   without an arc cosine. The same place under different numbers
//   (longitudes 10 and 370, two longitudes at a pole) takes the full
//   calculation and gives one of the two smallest distances, 0.50006366 or
//   2.6982136: the longitude difference is a turn in float32 radians, not
//   exactly 2 pi, and X rounds to 1 or to the float32 below it depending on
//   the place (DistanceFrom(10, 10, 10, 370) is 2.6982136).
//
//   Rounding: each input in radians (x * pi32 / 180), the four sines and
//   cosines of the latitudes and the cosine of the longitude difference
//   (b minus a) are stored as float32; the cosine of the central angle X
//   is summed in double and rounded to float32 when passed to the arc
//   cosine; the scaled distance and the distance plus 0.5 are stored as
//   float32. Since X is a float32, short distances are quantised: X = 1
//   gives 0.50006366, the float32 next below 1 gives 2.6982136, the next
//   3.6087437. Exchanging the two points gives a bit-identical result.
//
//   Failures (only the floating-point error can arise from the arithmetic):
//     - any NaN input, quiet or signalling. A comparison of the equality
//       check that involves a NaN signals invalid and counts as unequal (a
//       position that is not a number is no known place, so the answer is
//       not the 0 of identical positions): the test after the
//       multiplication of alat ends the call, wherever the NaN is.
//     - an infinite latitude (its sine and cosine are invalid; caught by the
//       test after the longitude difference), two infinite longitudes of
//       the same sign (inf - inf; the same test), or any other infinite
//       longitude (the cosine of the infinite difference; caught by the test
//       after the sum of X). Equal infinite inputs meet the equality check.
//   None of these reaches the arc cosine. The other tests of the radian
//   conversion cannot signal first with float32 inputs: a product or
//   quotient of a float32 and pi32 / 180 stays inside the float32 range.
//   A failure reported by the arc cosine callee ends the call with that
//   error and +0.0.
//   On failure the out-parameter holds the result variable as it stood:
//   +0.0 for every failure up to the arc cosine; the scaled value if the
//   test after the scaling signals; the value plus 0.5 if the test after
//   the addition signals. With the ArcCos calculation as callee neither of
//   these last two can signal (A is at most pi32). The first guards against
//   a callee whose A overflows float32 once scaled (A above 5.3e34 gives an
//   infinite scaled value) or is a signalling NaN; the second cannot signal
//   first at all, as a finite float32 plus 0.5 stays finite.
//
//   Finite inputs of any magnitude succeed, with the same result on every
//   build (the sine and cosine are correctly rounded, runtime/trig.h):
//   (1e30, 0, 0, 0) gives 14251.497.
//
// ArcCos(X)
//   The arc cosine in radians of a float32, by
//   arc tan(-X / sqrt(1 - X^2)) + 2 * arc tan(1), each statement in
//   resume-next mode: a runtime error abandons the statement that raised it
//   and the call goes on. It always succeeds.
//     - -1 < X < 1: the float32 nearest to the arc cosine of X, except at
//       X = 1.58932547e-08 (0x328885A3) and X = 0.000248686469 (0x39826222),
//       one float32 below it, natively and on the 32-bit Windows build
//       alike. At these two the arc cosine lies less than half a unit in the
//       last place of a double above the midpoint of two float32 values: the
//       double sum is that midpoint exactly, and its store rounds the tie to
//       even, downwards. 0 and -0 give 1.57079637.
//     - X = 1: the square root is 0 and becomes 1e-8, giving 9.99999994e-09;
//       X = -1 gives pi32.
//     - X > 1: the square root of a negative raises the invalid-argument
//       error, the root stays 0 and becomes 1e-8: a tiny value of the order
//       of 1e-8 / X (4.99999997e-09 for 2), resting on the cancellation of
//       two arc tangents; +infinity gives +0.0.
//     - X < -1, -infinity included: pi32.
//     - a quiet NaN: a quiet NaN (nothing signals; its sign and payload are
//       not fixed); a signalling NaN: invalid is signalled in the root and
//       in the quotient, both statements are abandoned, and the result is
//       +0.0.
//
// Distanse(lnLatitude, lnLongitude)
//   Reads neither input and yields +0.0 with success, for every input.
#pragma once

#include "runtime/errors.h"

namespace pelmora::calc {

// Where DistanceFrom obtains its arc cosine. The component hands it the
// object's own interface; a failure reported here ends DistanceFrom with
// that error. On success the arc cosine of X has been written into A.
class ArcCosCallee {
 public:
  virtual runtime::RtError Call(float X, float& A) = 0;

 protected:
  ~ArcCosCallee() = default;
};

// Always succeeds.
runtime::Outcome<float> ArcCos(float X);

runtime::Outcome<float> DistanceFrom(float alat, float alon, float blat, float blon,
                                     ArcCosCallee& arcCos);

// The same, with the ArcCos calculation as the callee.
runtime::Outcome<float> DistanceFrom(float alat, float alon, float blat, float blon);

// 0.0 with success, whatever the inputs.
runtime::Outcome<float> Distanse(float lnLatitude, float lnLongitude);

}  // namespace pelmora::calc
