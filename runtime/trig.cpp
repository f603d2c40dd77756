// Correctly rounded sine, cosine and arc tangent: the fast path.
//
// Each function computes its result as an unevaluated sum yh + yl of two
// doubles (double-double arithmetic) with a proven relative error bound eps,
// then tests whether every value within that bound rounds to the same double
// (the rounding test). If so, that double is the correctly rounded result;
// otherwise, about once in tens of thousands of arguments, the slow path in
// trig_accurate.cpp decides with 288-bit fixed-point arithmetic.
//
// No fused multiply-add: exact products come from Veltkamp splitting and
// Dekker's product, which need only round-to-nearest double operations. The
// build's -ffp-contract=off keeps the compiler from fusing anything.
//
// Sine and cosine: |x| is reduced to r = |x| - k pi/2 with |r| <= pi/4 (plus
// a hair), by a three-part pi/2 below 2^21 (Cody and Waite) and by exact
// multiplication with the bits of 2/pi above (Payne and Hanek). Then r = a + t
// with a = i/256 and |t| <= 1/512, and
//   sin(a + t) = sin a + cos a * t + cos a * (sin t - t) + sin a * (cos t - 1)
//   cos(a + t) = cos a - sin a * t - sin a * (sin t - t) + cos a * (cos t - 1)
// with sin a, cos a from a double-double table and short Taylor polynomials
// for sin t - t (|.| <= 2^-29.5) and cos t - 1 (|.| <= 2^-19). Relative
// error of this kernel: the rounding of sin a * (cos t - 1) dominates, below
// 2^-69 of the result; the bound takes 2^-67. The reduction adds its absolute
// error delta (the sine and cosine change by at most that).
//
// Arc tangent: for |x| > 1 it is pi/2 - atan(1/|x|), the reciprocal in
// double-double. Then q = c + (rest) with c = i/256, t = (q - c) / (1 + q c)
// in double-double, |t| <= 1/512, and atan q = atan c + t + t^3 P(t^2) with
// atan c from a table. The cubic term is at most 2^-19.6 |t| and its rounding
// error below 2^-70.5 |t|; eps takes 2^-68.
#include "runtime/trig.h"

#include <bit>
#include <cstdint>

#include "runtime/trig_internal.h"

namespace pelmora::runtime {

namespace {

using trig::DoublePair;

constexpr std::uint64_t kSignBit = 0x8000000000000000u;
constexpr std::uint64_t kInfBits = 0x7FF0000000000000u;

// pi/2 as the sum of two doubles, and as a sum of two 32-bit parts (whose
// products with k < 2^21 are exact) and a rounded rest; and 2/pi.
constexpr double kHalfPi1 = 0x1.921fb54442d18p+0;
constexpr double kHalfPi2 = 0x1.1a62633145c07p-54;
constexpr double kHalfPiA = 0x1.921fb544p+0;
constexpr double kHalfPiB = 0x1.0b4611a6p-34;
constexpr double kHalfPiC = 0x1.3198a2e037073p-69;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;

std::uint64_t Bits(double x) { return std::bit_cast<std::uint64_t>(x); }
double FromBits(std::uint64_t b) { return std::bit_cast<double>(b); }
double Abs(double x) { return FromBits(Bits(x) & ~kSignBit); }

// s + e == a + b exactly.
void TwoSum(double a, double b, double& s, double& e) {
  s = a + b;
  const double bb = s - a;
  e = (a - (s - bb)) + (b - bb);
}

// s + e == a + b exactly, when |a| >= |b| (or a is zero).
void FastTwoSum(double a, double b, double& s, double& e) {
  s = a + b;
  e = b - (s - a);
}

// Veltkamp's split into two halves of 26 bits each.
void Split(double a, double& hi, double& lo) {
  const double c = 134217729.0 * a;  // 2^27 + 1
  hi = c - (c - a);
  lo = a - hi;
}

// Dekker: p + e == a * b exactly (no overflow or underflow here).
void TwoProd(double a, double b, double& p, double& e) {
  p = a * b;
  double ah, al, bh, bl;
  Split(a, ah, al);
  Split(b, bh, bl);
  e = ((ah * bh - p) + ah * bl + al * bh) + al * bl;
}

// The rounding test: when the exact result lies within `error` of yh + yl
// (|yl| at most about half an ulp of yh), and every value in that interval
// rounds to the same double, stores it in result.
bool RoundsSurely(double yh, double yl, double error, double& result) {
  // Widened so that the two roundings below cannot narrow the interval.
  const double bound = error * 1.001 + Abs(yl) * 0x1p-50;
  const double down = yh + (yl - bound);
  const double up = yh + (yl + bound);
  if (down != up) return false;  // also when the bound is infinite or NaN
  result = down;
  return true;
}

// sin r (or cos r) for r = rh + rl, 0 <= rh <= pi/4 + 2^-20, |rl| tiny.
// Both have one form, without a branch: with (p, q, g) = (sin a, cos a, 1)
// for the sine and (cos a, sin a, -1) for the cosine,
//   p + q * g t + q * g (sin t - t) + p * (cos t - 1).
void SinCosKernel(double rh, double rl, bool cosine, double& yh, double& yl) {
  const int i = static_cast<int>(rh * 256.0 + 0.5);
  const double th = rh - static_cast<double>(i) * 0x1p-8;  // exact
  const double z = th * th;
  const DoublePair& p = trig::kSinCos[i][cosine ? 1 : 0];
  const DoublePair& q = trig::kSinCos[i][cosine ? 0 : 1];
  const double g = cosine ? -1.0 : 1.0;
  // sin t - t and cos t - 1 for t = th + rl (the rl terms are first order).
  const double sin_m = th * z * (-1.0 / 6.0 + z * (1.0 / 120.0 - z * (1.0 / 5040.0)));
  const double cos_m = z * (-0.5 + z * (1.0 / 24.0 - z * (1.0 / 720.0))) - th * rl;
  const double u = g * th;
  double ph, pl, sh, sl;
  TwoProd(q.hi, u, ph, pl);
  FastTwoSum(p.hi, ph, sh, sl);  // p.hi is 0 or above 2^-8 > |ph|
  const double low = q.hi * (g * rl) + q.lo * u + q.hi * (g * sin_m) + p.hi * cos_m + p.lo;
  FastTwoSum(sh, sl + (pl + low), yh, yl);
}

double SinCos(double x, bool cosine) {
  const std::uint64_t abits = Bits(x) & ~kSignBit;
  if (abits >= kInfBits) return x - x;  // NaN: quietened; infinity: invalid
  if (!cosine && abits < 0x3E50000000000000u) {
    // |x| < 2^-26: sin x = x - x^3/6 + ..., and x^3/6 is below half an ulp
    // of x (also for zeros and subnormals).
    return x;
  }
  if (cosine && abits < 0x3E40000000000000u) return 1.0;  // |x| < 2^-27
  const double ax = FromBits(abits);

  double rh, rl;
  double delta;  // absolute error of rh + rl as |x| mod pi/2
  int quadrant;
  if (abits < 0x4140000000000000u) {  // |x| < 2^21, so k < 2^21
    const double k = (ax * kTwoOverPi + 0x1.8p52) - 0x1.8p52;
    quadrant = static_cast<int>(k) & 3;
    const double head = ax - k * kHalfPiA;  // both exact
    double e;
    TwoSum(head, -(k * kHalfPiB), rh, e);  // k * kHalfPiB is exact
    TwoSum(rh, e - k * kHalfPiC, rh, rl);
    delta = k * 0x1p-119;
  } else {
    std::uint32_t f[5];
    bool negative = false;
    quadrant = trig::ReduceByHalfPi(ax, 5, f, &negative);
    // F as a double-double, then times pi/2.
    double fh = static_cast<double>(f[0]) * 0x1p-32, fl = 0.0;
    double scale = 0x1p-32;
    for (int w = 1; w < 5; ++w) {
      scale *= 0x1p-32;
      double e;
      TwoSum(fh, static_cast<double>(f[w]) * scale, fh, e);
      fl += e;
    }
    FastTwoSum(fh, fl, fh, fl);
    double e;
    TwoProd(fh, kHalfPi1, rh, e);
    e += fh * kHalfPi2 + fl * kHalfPi1;
    FastTwoSum(rh, e, rh, rl);
    if (negative) {
      rh = -rh;
      rl = -rl;
    }
    delta = 0x1p-150 + Abs(rh) * 0x1p-100;
  }

  // sin |x| = +-sin r or +-cos r by quadrant; cos |x| likewise. Signs as
  // bit masks: random arguments would defeat branch prediction.
  const bool use_cos = ((quadrant & 1) != 0) != cosine;
  const std::uint64_t r_sign = Bits(rh) & kSignBit;  // sin r = -sin |r|
  rh = Abs(rh);
  rl = FromBits(Bits(rl) ^ r_sign);
  const int turn = cosine ? (quadrant + 1) & 3 : quadrant;
  const std::uint64_t negate = (use_cos ? 0 : r_sign) ^ (static_cast<std::uint64_t>(turn >> 1) << 63) ^
                               (cosine ? 0 : Bits(x) & kSignBit);

  double yh, yl;
  SinCosKernel(rh, rl, use_cos, yh, yl);
  // The reduction's error changes sin |r| or cos |r| by at most delta.
  double result;
  if (!RoundsSurely(yh, yl, 0x1p-67 * yh + delta, result)) return trig::AccurateSinCos(x, cosine);
  return FromBits(Bits(result) ^ negate);
}

}  // namespace

double Sin(double x) { return SinCos(x, false); }
double Cos(double x) { return SinCos(x, true); }

double Atan(double x) {
  const std::uint64_t abits = Bits(x) & ~kSignBit;
  if (abits > kInfBits) return x + x;  // NaN: quietened
  const bool negative = (Bits(x) & kSignBit) != 0;
  if (abits >= 0x4340000000000000u) {
    // |x| >= 2^53 (and infinities): pi/2 - 1/|x| rounds to pi/2's double.
    return negative ? -kHalfPi1 : kHalfPi1;
  }
  if (abits < 0x3E40000000000000u) return x;  // |x| < 2^-27: x^3/3 is too small
  const double ay = FromBits(abits);

  // q = qh + ql: |x|, or its reciprocal.
  const bool inverted = ay > 1.0;
  double qh = ay, ql = 0.0;
  if (inverted) {
    qh = 1.0 / ay;
    double p, e;
    TwoProd(ay, qh, p, e);
    ql = ((1.0 - p) - e) / ay;  // 1 - p is exact
  }

  // t = (q - c) / (1 + q c), c = i/256.
  const int i = static_cast<int>(qh * 256.0 + 0.5);
  double th = qh, tl = ql;
  if (i != 0) {
    const double c = static_cast<double>(i) * 0x1p-8;
    double nh, nl;
    TwoSum(qh - c, ql, nh, nl);  // qh - c is exact
    double dh, dl, den_h, den_l;
    TwoProd(qh, c, dh, dl);
    FastTwoSum(1.0, dh, den_h, den_l);
    den_l += dl + ql * c;
    const double inverse = 1.0 / den_h;
    th = nh * inverse;
    double p, e;
    TwoProd(th, den_h, p, e);
    tl = (((nh - p) - e) + nl - th * den_l) * inverse;  // nh - p is exact
  }
  const double z = th * th;
  const double cubic = th * z * (-1.0 / 3.0 + z * (0.2 + z * (-1.0 / 7.0 + z * (1.0 / 9.0))));

  const DoublePair& a = trig::kAtan[i];
  double sh, sl, yh, yl;
  TwoSum(a.hi, th, sh, sl);
  sl += tl + cubic + a.lo;
  FastTwoSum(sh, sl, yh, yl);
  if (inverted) {
    TwoSum(kHalfPi1, -yh, sh, sl);
    sl += kHalfPi2 - yl;
    FastTwoSum(sh, sl, yh, yl);
  }
  double result;
  if (!RoundsSurely(yh, yl, 0x1p-68 * yh, result)) return trig::AccurateAtan(x);
  return FromBits(Bits(result) | (Bits(x) & kSignBit));
}

}  // namespace pelmora::runtime
