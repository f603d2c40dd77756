#include "calc/bearing.h"

#include <cmath>

#include "calc/arithmetic.h"
#include "calc/measure.h"
#include "runtime/fp_screen.h"
#include "runtime/no_status.h"
#include "runtime/numeric.h"

namespace pelmora::calc {

namespace {

// Degrees per radian, a double. It lies above 180/pi (57.29577951...), so
// every angle in radians comes out about 3.6e-7 of itself too small.
constexpr double K = 57.2958;

// pi32 and twice that (0x40C90FDB): the bounds and the step of the
// longitude normalisation.
constexpr float kTwoPi32 = 0x1.921fb6p+2f;

// Exact single-precision constants of the quadrant and turn arithmetic.
constexpr float kOne = 1.0f;
constexpr float kHalfTurn = 180.0f;
constexpr float kFullTurn = 360.0f;

Outcome<UnroundedBearing> Decided(float result) {
  return runtime::Success(UnroundedBearing{result, true});
}

// Zero of either sign, or NaN: the other position is missing.
bool Missing(float x) { return x == 0.0f || std::isnan(x); }

// Everything up to and including the clockwise turn. Each examination sits
// after the arithmetic of its step and before the value is stored, so a
// failing step leaves its field as it was.
template <class Status>
[[gnu::always_inline]] inline Outcome<UnroundedBearing> Clockwise(Status& fp, BearingFields& f,
                                                                  float MyLat, float MyLon,
                                                                  float lnLatitude,
                                                                  float lnLongitude) {
  if (Missing(lnLatitude) || Missing(lnLongitude)) return Decided(0.0f);

  // Radians by the double K, each rounded to float32.
  const double my_lat_q = fp.Div(fp.Widen(MyLat), K);
  if (FpTestFails(fp)) return Failure<UnroundedBearing>(kFpError);
  const float my_lat_rad = fp.Store(my_lat_q);
  const double my_lon_q = fp.Div(fp.Widen(MyLon), K);
  if (FpTestFails(fp)) return Failure<UnroundedBearing>(kFpError);
  const float my_lon_rad = fp.Store(my_lon_q);
  const double other_lat_q = fp.Div(fp.Widen(lnLatitude), K);
  if (FpTestFails(fp)) return Failure<UnroundedBearing>(kFpError);
  f.OtherLatRad = fp.Store(other_lat_q);
  const double other_lon_q = fp.Div(fp.Widen(lnLongitude), K);
  if (FpTestFails(fp)) return Failure<UnroundedBearing>(kFpError);
  f.OtherLonRad = fp.Store(other_lon_q);

  // My longitude minus the other's. Longitudes equal in float32 radians are
  // not computed: the target lies due south when its latitude is below mine,
  // and otherwise due north or on the spot.
  const double diff = fp.Sub(fp.Widen(my_lon_rad), fp.Widen(f.OtherLonRad));
  if (FpTestFails(fp)) return Failure<UnroundedBearing>(kFpError);
  f.LonDiff = fp.Store(diff);
  if (f.LonDiff == 0.0f) {
    const bool due_south = fp.Less(AsDouble(lnLatitude), AsDouble(MyLat));
    if (FpTestFails(fp)) return Failure<UnroundedBearing>(kFpError);
    return Decided(due_south ? kHalfTurn : 0.0f);
  }

  // One pass of normalisation with strict bounds: a difference equal to
  // +-pi32 stays, and one beyond +-3 pi32 stays outside (-pi32, pi32).
  if (fp.Greater(AsDouble(f.LonDiff), AsDouble(kPi32))) {
    const double wrapped = fp.Sub(fp.Widen(f.LonDiff), fp.Widen(kTwoPi32));
    if (FpTestFails(fp)) return Failure<UnroundedBearing>(kFpError);
    f.LonDiff = fp.Store(wrapped);
  } else if (fp.Less(AsDouble(f.LonDiff), AsDouble(-kPi32))) {
    const double wrapped = fp.Add(fp.Widen(f.LonDiff), fp.Widen(kTwoPi32));
    if (FpTestFails(fp)) return Failure<UnroundedBearing>(kFpError);
    f.LonDiff = fp.Store(wrapped);
  }
  // The sine and cosine of delta, both needed below, are made together, and
  // the one cosine serves both tangent terms. The sine records here what it
  // would record before the test after t2; that is what the cosine records
  // here (invalid for an infinite delta, nothing otherwise), so every test
  // sees the same conditions.
  const double delta = fp.Widen(f.LonDiff);
  const runtime::SineCosine delta_trig = fp.SinCos(delta);

  // First tangent term: the cotangent of the other latitude is formed
  // first, then scaled by cos delta. A float32 overflow of t1 is not tested
  // here; the next examination (after the sum below) reports it.
  const runtime::SineCosine other_lat_trig = fp.SinCos(fp.Widen(f.OtherLatRad));
  const double cot_other_lat = fp.Div(other_lat_trig.cos, other_lat_trig.sin);
  const double t1 = fp.Mul(delta_trig.cos, cot_other_lat);
  if (FpTestFails(fp)) return Failure<UnroundedBearing>(kFpError);
  f.AuxAngle = fp.Store(t1);

  // Auxiliary angle alpha, in float32 radians.
  f.AuxAngle = fp.Store(fp.Atan(fp.Widen(f.AuxAngle)));

  // Second tangent term, in exactly this order:
  // ((cos delta / sin delta) * cos(phi1 + alpha)) / sin alpha, with the sum
  // kept in double.
  const double alpha = fp.Widen(f.AuxAngle);
  const double lat_sum = fp.Add(fp.Widen(my_lat_rad), alpha);
  if (FpTestFails(fp)) return Failure<UnroundedBearing>(kFpError);
  const double cot_delta = fp.Div(delta_trig.cos, delta_trig.sin);
  const double t2 = fp.Div(fp.Mul(cot_delta, fp.Cos(lat_sum)), fp.Sin(alpha));
  if (FpTestFails(fp)) return Failure<UnroundedBearing>(kFpError);
  f.AzimutValue = fp.Store(t2);

  // beta = atan(1 / t2), the reciprocal kept in double. An overflow in the
  // store of t2 shows here.
  const double reciprocal = fp.Div(fp.Widen(kOne), fp.Widen(f.AzimutValue));
  if (FpTestFails(fp)) return Failure<UnroundedBearing>(kFpError);
  f.AzimutValue = fp.Store(fp.Atan(reciprocal));

  // beta in degrees, -90..90, then the longitude difference in degrees, of
  // which only the sign is used below.
  const double beta_degrees = fp.Mul(fp.Widen(f.AzimutValue), K);
  if (FpTestFails(fp)) return Failure<UnroundedBearing>(kFpError);
  f.AzimutValue = fp.Store(beta_degrees);
  const double diff_degrees = fp.Mul(fp.Widen(f.LonDiff), K);
  if (FpTestFails(fp)) return Failure<UnroundedBearing>(kFpError);
  f.LonDiff = fp.Store(diff_degrees);

  // Quadrant: the three tests in this order, each on the current values.
  // Afterwards AzimutValue counts anticlockwise from north, 0..360. Each
  // turn is added in double, tested, then stored; false when the test
  // fails.
  const auto add_turn = [&](float turn) {
    const double turned = fp.Add(fp.Widen(f.AzimutValue), fp.Widen(turn));
    if (FpTestFails(fp)) return false;
    f.AzimutValue = fp.Store(turned);
    return true;
  };
  if (fp.Greater(AsDouble(f.LonDiff), 0.0) && fp.Less(AsDouble(f.AzimutValue), 0.0)) {
    if (!add_turn(kHalfTurn)) return Failure<UnroundedBearing>(kFpError);
  }
  if (fp.Less(AsDouble(f.LonDiff), 0.0) && fp.Greater(AsDouble(f.AzimutValue), 0.0)) {
    if (!add_turn(kHalfTurn)) return Failure<UnroundedBearing>(kFpError);
  }
  if (fp.Less(AsDouble(f.LonDiff), 0.0) && fp.Less(AsDouble(f.AzimutValue), 0.0)) {
    if (!add_turn(kFullTurn)) return Failure<UnroundedBearing>(kFpError);
  }

  // Clockwise from north.
  const double clockwise = fp.Sub(fp.Widen(kFullTurn), fp.Widen(f.AzimutValue));
  if (FpTestFails(fp)) return Failure<UnroundedBearing>(kFpError);
  f.AzimutValue = fp.Store(clockwise);
  return runtime::Success(UnroundedBearing{f.AzimutValue, false});
}

// The whole bearing, rounded to whole degrees.
template <class Status>
[[gnu::always_inline]] inline Outcome<float> Rounded(Status& fp, BearingFields& f, float MyLat,
                                                     float MyLon, float lnLatitude,
                                                     float lnLongitude) {
  const auto turned = Clockwise(fp, f, MyLat, MyLon, lnLatitude, lnLongitude);
  if (!turned) return Failure(turned.error, 0.0f);
  if (turned.value.decided) return runtime::Success(turned.value.degrees);

  // Whole degrees, halves up: floor of the sum with 0.5 formed in double.
  const double half_up = fp.Add(fp.Widen(f.AzimutValue), 0.5);
  if (FpTestFails(fp)) return Failure(kFpError, 0.0f);
  f.AzimutValue = fp.Store(runtime::Floor(half_up));
  return runtime::Success(f.AzimutValue);
}

[[gnu::noinline, gnu::cold]] Outcome<float> ExactAzimut(BearingFields& fields, float MyLat,
                                                        float MyLon, float lnLatitude,
                                                        float lnLongitude) {
  FpStatus fp;
  return Rounded(fp, fields, MyLat, MyLon, lnLatitude, lnLongitude);
}

}  // namespace

Outcome<UnroundedBearing> AzimutBeforeRounding(BearingFields& fields, float MyLat, float MyLon,
                                               float lnLatitude, float lnLongitude) {
  FpStatus fp;
  return Clockwise(fp, fields, MyLat, MyLon, lnLatitude, lnLongitude);
}

// Azimut runs under a status chosen from its inputs.
namespace {

// The plain domain: |MyLat| <= 90, 1e-6 <= |lnLatitude| <= 90, MyLon 0 or
// 1e-6 <= |MyLon| <= 180, and 1e-6 <= |lnLongitude| <= 180 (no NaN passes).
// Inside it no step of Clockwise or of the rounding can signal:
//   - every input is finite and not a signalling NaN, and the other position
//     is not missing; the radians, degrees over K, are finite, at most
//     1.5708 and 3.1416 in magnitude, and each is 0 or at least 1.7e-8
//     (2^-26) in magnitude;
//   - the longitude difference is finite; two float32 values of at least
//     2^-26 (or 0) differ by a multiple of 2^-49, so a difference that is
//     not 0 is at least 2^-49; after the one pass of normalisation (a
//     multiple of 2^-21 then, at most pi32 in magnitude) it is still not 0.
//     Its sine is at least about 1.7e-15 in magnitude (at most pi32 from 0,
//     and sin(pi32) is -8.7e-8), so cot delta is finite, below 6e14, and its
//     cosine at least 4.3e-8 (no float32 lies nearer pi/2 than 4.3e-8);
//   - the other latitude in radians lies in [1.7e-8, 1.5707961]: its sine is
//     not 0, and its cotangent lies in [2.8e-7, 6e7], so t1 lies in
//     [1.2e-14, 6e7] in magnitude, stored without overflow and not 0;
//   - alpha = atan(t1) is then at least 1.2e-14 in magnitude, as is its
//     sine, and phi1 + alpha is finite; cos(phi1 + alpha) is at least 6e-17
//     in magnitude (no double lies nearer pi/2), so t2 lies in [2.6e-24,
//     5e28] in magnitude: stored without overflow and not 0;
//   - 1 / t2 is finite, and beta, both degree values, the quadrant turns,
//     the clockwise turn and the half added are finite and small.
// So the bearing runs under NoStatus, on the object's fields themselves (it
// cannot fail, so nothing needs to be kept from it). Any other input runs
// under the screen, and again under FpStatus when marked.
inline bool PlainBearing(float MyLat, float MyLon, float lnLatitude, float lnLongitude) {
  constexpr float kLeast = 1e-6f;
  const float my_lon = std::fabs(MyLon);
  const float other_lat = std::fabs(lnLatitude);
  const float other_lon = std::fabs(lnLongitude);
  return std::fabs(MyLat) <= 90.0f && other_lat >= kLeast && other_lat <= 90.0f &&
         (my_lon == 0.0f || (my_lon >= kLeast && my_lon <= 180.0f)) && other_lon >= kLeast &&
         other_lon <= 180.0f;
}

// The bearing runs first under runtime::FpScreen on a copy of the fields,
// which it gives to the object only when the screen stayed unmarked; a
// marked run is made again under FpStatus on the object's own fields, so
// that a failing step leaves each field as the call found it.
[[gnu::noinline]] Outcome<float> ScreenedAzimut(BearingFields& fields, float MyLat, float MyLon,
                                                float lnLatitude, float lnLongitude) {
  BearingFields screened = fields;
  runtime::FpScreen screen;
  const Outcome<float> result = Rounded(screen, screened, MyLat, MyLon, lnLatitude, lnLongitude);
  if (screen.Pending()) [[unlikely]] {
    return ExactAzimut(fields, MyLat, MyLon, lnLatitude, lnLongitude);
  }
  fields = screened;
  return result;
}

}  // namespace

Outcome<float> Azimut(BearingFields& fields, float MyLat, float MyLon, float lnLatitude,
                      float lnLongitude) {
  if (PlainBearing(MyLat, MyLon, lnLatitude, lnLongitude)) [[likely]] {
    runtime::NoStatus fp;
    return Rounded(fp, fields, MyLat, MyLon, lnLatitude, lnLongitude);
  }
  return ScreenedAzimut(fields, MyLat, MyLon, lnLatitude, lnLongitude);
}

Outcome<float> CheckedAzimut(BearingFields& fields, float MyLat, float MyLon, float lnLatitude,
                             float lnLongitude) {
  return ScreenedAzimut(fields, MyLat, MyLon, lnLatitude, lnLongitude);
}

}  // namespace pelmora::calc
