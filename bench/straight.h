// The calculations' formulas written straight: the same float32 stores and
// the same maths calls (through fp_status.h's entries, a sine and cosine of
// one argument in one call as the calculations make them), without any
// status.
// The benchmarks time them as the floors of the calculations and check, on
// their inputs, that they give the same bits. None is inlined: the
// calculations they are compared with are calls into a library.
#pragma once

#include <cmath>

#include "runtime/fp_status.h"

namespace pelmora::bench {

inline double AsDouble(float x) { return static_cast<double>(x); }
inline float Single(double x) { return static_cast<float>(x); }

// The bearing's formula written straight, with the same float32 stores and
// maths calls and no status: the floor of Azimut. Not inlined, like the
// calculation.
[[gnu::noinline]] inline float StraightAzimut(float my_lat, float my_lon, float ln_lat,
                                              float ln_lon) {
  constexpr double K = 57.2958;
  constexpr float kPi32 = 0x1.921fb6p+1f;
  constexpr float kTwoPi32 = 0x1.921fb6p+2f;
  if (ln_lat == 0.0f || std::isnan(ln_lat) || ln_lon == 0.0f || std::isnan(ln_lon)) return 0.0f;
  const float my_lat_rad = Single(AsDouble(my_lat) / K);
  const float my_lon_rad = Single(AsDouble(my_lon) / K);
  const float other_lat_rad = Single(AsDouble(ln_lat) / K);
  const float other_lon_rad = Single(AsDouble(ln_lon) / K);
  float d = Single(AsDouble(my_lon_rad) - AsDouble(other_lon_rad));
  if (d == 0.0f) return ln_lat < my_lat ? 180.0f : 0.0f;
  if (d > kPi32) {
    d = Single(AsDouble(d) - AsDouble(kTwoPi32));
  } else if (d < -kPi32) {
    d = Single(AsDouble(d) + AsDouble(kTwoPi32));
  }
  const runtime::SineCosine delta = runtime::SinCos(AsDouble(d));
  const runtime::SineCosine other_lat = runtime::SinCos(AsDouble(other_lat_rad));
  const float t1 = Single(delta.cos * (other_lat.cos / other_lat.sin));
  const float alpha = Single(runtime::Atan(AsDouble(t1)));
  const double lat_sum = AsDouble(my_lat_rad) + AsDouble(alpha);
  const double cot_delta = delta.cos / delta.sin;
  const float t2 = Single(cot_delta * runtime::Cos(lat_sum) / runtime::Sin(AsDouble(alpha)));
  float az = Single(runtime::Atan(1.0 / AsDouble(t2)));
  az = Single(AsDouble(az) * K);
  const float diff = Single(AsDouble(d) * K);
  if (diff > 0.0f && az < 0.0f) az = Single(AsDouble(az) + 180.0);
  if (diff < 0.0f && az > 0.0f) az = Single(AsDouble(az) + 180.0);
  if (diff < 0.0f && az < 0.0f) az = Single(AsDouble(az) + 360.0);
  az = Single(360.0 - AsDouble(az));
  return Single(std::floor(AsDouble(az) + 0.5));
}

// The distance's formula written straight, with the same float32 stores and
// maths calls and no status: the floor of DistanceFrom. Not inlined, like
// the calculation.
inline float StraightArcCos(float X) {
  const double x = AsDouble(X);
  const double radicand = -x * x + 1.0;
  double root = radicand < 0.0 ? 0.0 : std::sqrt(radicand);
  if (root == 0.0) root = 1e-8;
  const double quarter_turn = runtime::Atan(1.0);
  return Single(runtime::Atan(-x / root) + 2.0 * quarter_turn);
}

[[gnu::noinline]] inline float StraightDistanceFrom(float alat, float alon, float blat,
                                                    float blon) {
  constexpr double kPi32Wide = static_cast<double>(0x1.921fb6p+1f);
  if (alat == blat && alon == blon) return 0.0f;
  const float phi_a = Single(AsDouble(alat) * kPi32Wide / 180.0);
  const float lambda_a = Single(AsDouble(alon) * kPi32Wide / 180.0);
  const float phi_b = Single(AsDouble(blat) * kPi32Wide / 180.0);
  const float lambda_b = Single(AsDouble(blon) * kPi32Wide / 180.0);
  const runtime::SineCosine trig_a = runtime::SinCos(AsDouble(phi_a));
  const runtime::SineCosine trig_b = runtime::SinCos(AsDouble(phi_b));
  const float sin_phi_a = Single(trig_a.sin);
  const float sin_phi_b = Single(trig_b.sin);
  const float cos_phi_a = Single(trig_a.cos);
  const float cos_phi_b = Single(trig_b.cos);
  const float cos_lon_diff = Single(runtime::Cos(AsDouble(lambda_b) - AsDouble(lambda_a)));
  const float X = Single(AsDouble(cos_phi_b) * AsDouble(cos_phi_a) * AsDouble(cos_lon_diff) +
                         AsDouble(sin_phi_b) * AsDouble(sin_phi_a));
  const float A = StraightArcCos(X);
  const float scaled = Single(AsDouble(A) * 0x1.3886666666667p+14 / kPi32Wide);
  return Single(AsDouble(scaled) + 0.5);
}

}  // namespace pelmora::bench
