// Correctly rounded sine, cosine and arc tangent: the fast path.
//
// Each function computes its result as an unevaluated sum yh + yl of two
// doubles (double-double arithmetic) with a proven error bound, then tests
// whether every value within that bound rounds to the same double (the
// rounding test). If so, that double is the correctly rounded result;
// otherwise a middle stage in double-double with a much smaller bound
// decides, and when its test fails too (the hardest arguments to round),
// the slow path in trig_accurate.cpp with 224-bit fixed-point arithmetic.
//
// Products that must be exact come from Dekker's algorithm, which needs only
// round-to-nearest double operations, or, in the arc tangent where the
// processor has it (chosen once at start-up; never in the 32-bit edition,
// which keeps to SSE2), from one fused multiply-add: a * b - fl(a * b) is a
// double, so both ways give that same double, every later step the same
// doubles, and the same result, slow path or not. (The sine and cosine, with
// one short exact product, ran no faster with it.) The build's
// -ffp-contract=off keeps the compiler from fusing anything else.
//
// Sine and cosine: x = n pi/512 + t with |t| <= pi/1024 (plus a hair), by a
// three-part pi/512 below 2^21 (Cody and Waite) and by exact multiplication
// with the bits of 2/pi above (Payne and Hanek). The cosine is the sine of
// x + pi/2, n + 256: SinCos reduces once, evaluates the polynomials once
// and combines them for n and for n + 256. With a = n pi/512,
//   sin(a + t) = sin a + cos a * t + cos a * (sin t - t) + sin a * (cos t - 1)
// with sin a, cos a from a table of a quarter turn (high parts of 26 bits, so
// that only t is split for the exact product cos a * th), and short Taylor
// polynomials for sin t - t (at most 2^-27.6) and cos t - 1 (at most
// 2^-17.7). Error of this kernel, relative to |sin a| + |cos a * t|, at most
// 2^-67 (runtime/trig_bounds.md, term by term: the roundings of cos t - 1 and
// of the sum of the small terms dominate); the bound takes 2^-66, and 2^-69
// more for the rounding test's own roundings. The reduction adds its absolute
// error delta (the result changes by at most that). The middle stage sums the
// same terms in double-double with the table's third part (bound 2^-86).
//
// Arc tangent: atan |x| = atan c + atan h for the point c of |x|'s cell,
// h = (|x| - c)/(1 + |x| c) in double-double from one division, the series
// of atan h to h^9 in plain doubles (the first stage, bound 2^-80 |y| +
// 2^-49 |h|^3); failing its test (about once in 10^5 to 10^6 arguments), the
// series to h^15 with its leading terms in double-double (the middle stage,
// bound 2^-86 |y|); failing that, the slow path. Bounds proven in
// runtime/trig_bounds.md.
#include "runtime/trig.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <bit>
#include <cstdint>

#include "runtime/trig_internal.h"

namespace pelmora::runtime {

namespace {

using trig::DoublePair;

// pi/2 rounded to a double.
constexpr double kHalfPi = 0x1.921fb54442d18p+0;
// pi/512 as the sum of two doubles, and as two parts of 23 and 21 bits
// (whose products with |n| < 2^29 are exact) and a rounded rest; 512/pi.
constexpr double kPiOver512Hi = 0x1.921fb54442d18p-8;
constexpr double kPiOver512Lo = 0x1.1a62633145c07p-62;
constexpr double kPiOver512A = 0x1.921fb4p-8;
constexpr double kPiOver512B = 0x1.4442dp-32;
constexpr double kPiOver512C = 0x1.8469898cc517p-56;
constexpr double k512OverPi = 0x1.45f306dc9c883p+7;

// Everything stays in floating-point registers: on i686 every 64-bit
// integer operation on a double's bits costs a trip through two 32-bit
// registers. The compiler's own absolute value and sign copy are single
// SSE2 bit operations, never library calls.
double Abs(double x) { return __builtin_fabs(x); }
double CopySign(double magnitude, double sign) { return __builtin_copysign(magnitude, sign); }
constexpr double kInf = __builtin_inf();
// The larger and the smaller of two numbers (SSE2's maxsd and minsd).
double Max(double a, double b) { return a > b ? a : b; }
double Min(double a, double b) { return a < b ? a : b; }
constexpr double kSigns[2] = {1.0, -1.0};

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

// Veltkamp's split: hi holds the leading 53 - s bits of a, lo the rest
// (at most s bits with its sign), for s = log2(factor - 1).
void Split(double a, double factor, double& hi, double& lo) {
  const double c = factor * a;
  hi = c - (c - a);
  lo = a - hi;
}

// Dekker's product: p + e == a * b exactly, from halves of 26 bits.
void TwoProd(double a, double b, double& p, double& e) {
  p = a * b;
  double ah, al, bh, bl;
  Split(a, 0x1p27 + 1.0, ah, al);
  Split(b, 0x1p27 + 1.0, bh, bl);
  e = ((ah * bh - p) + ah * bl + al * bh) + al * bl;
}

// b split for ShortProductError: b_hi + b_lo == b, each of at most 26
// significant bits (Veltkamp's split at 27).
struct Halves {
  double hi, lo;
};
Halves Halve(double b) {
  Halves h;
  Split(b, 0x1p27 + 1.0, h.hi, h.lo);
  return h;
}

// a * b - p exactly, for p = a * b rounded and a of at most 26 significant
// bits. With the processor's fused multiply-add the one rounding of a * b - p
// is exact; without, Dekker's product with a as its own high half (its low
// half zero) leaves (a b_hi - p) + a b_lo, where a b_hi and a b_lo are exact
// (26 + 26 bits) and so is each step (Dekker 1971). The same double either
// way: the exact one.
template <bool kFma>
[[gnu::always_inline]] inline double ShortProductError(double a, double b, const Halves& bs,
                                                       double p) {
  if constexpr (kFma) {
    static_cast<void>(bs);
    return __builtin_fma(a, b, -p);
  } else {
    static_cast<void>(b);
    return (a * bs.hi - p) + a * bs.lo;
  }
}

// a * b - p exactly for any a and b (p = a * b rounded): the same double by
// either way.
template <bool kFma>
[[gnu::always_inline]] inline double ProductError(double a, double b, double p) {
  if constexpr (kFma) {
    return __builtin_fma(a, b, -p);
  } else {
    double q, e;
    TwoProd(a, b, q, e);
    return e;
  }
}

// v.hi and v.lo with their signs flipped when mask is {-0.0, -0.0}: one
// exclusive or of the sign bits for the pair.
alignas(16) constexpr double kSignMasks[2][2] = {{0.0, 0.0}, {-0.0, -0.0}};
[[gnu::always_inline]] inline DoublePair WithSign(const DoublePair& v, unsigned negative) {
#if defined(__SSE2__)
  const __m128d r = _mm_xor_pd(_mm_loadu_pd(&v.hi), _mm_load_pd(kSignMasks[negative]));
  return {_mm_cvtsd_f64(r), _mm_cvtsd_f64(_mm_unpackhi_pd(r, r))};
#else
  // Elsewhere (the WebAssembly build) the same exclusive or, one double at
  // a time.
  const std::uint64_t mask = std::bit_cast<std::uint64_t>(kSignMasks[negative][0]);
  return {std::bit_cast<double>(std::bit_cast<std::uint64_t>(v.hi) ^ mask),
          std::bit_cast<double>(std::bit_cast<std::uint64_t>(v.lo) ^ mask)};
#endif
}

// Double-double product and sum: (ah + al)(bh + bl) and (ah + al) + (bh + bl)
// (|ah| >= |bh| or ah = 0), renormalised.
template <bool kFma>
[[gnu::always_inline]] inline DoublePair Mul22(DoublePair a, DoublePair b) {
  const double p = a.hi * b.hi;
  const double e = ProductError<kFma>(a.hi, b.hi, p) + (a.hi * b.lo + a.lo * b.hi);
  DoublePair r;
  FastTwoSum(p, e, r.hi, r.lo);
  return r;
}
[[gnu::always_inline]] inline DoublePair Add22(DoublePair a, DoublePair b) {
  double s, e;
  FastTwoSum(a.hi, b.hi, s, e);
  DoublePair r;
  FastTwoSum(s, e + (a.lo + b.lo), r.hi, r.lo);
  return r;
}

// The rounding test: when the exact result lies within bound of yh + yl,
// and every value in that interval rounds to the same double, stores it in
// result. The bound must allow for the rounding of yl -+ bound: a few units
// of 2^-53 |yl|, where |yl| <= 2^-17 |yh| here.
bool RoundsSurely(double yh, double yl, double bound, double& result) {
  const double down = yh + (yl - bound);
  const double up = yh + (yl + bound);
  if (down != up) return false;  // also when the bound is infinite or NaN
  result = down;
  return true;
}

// x = n pi/512 + t, |t| <= pi/1024 (and a hair), for a finite x with
// |x| >= 2^-27: t as th + tl, and delta, a bound on the error of th + tl.
struct Reduction {
  unsigned n;
  double th, tl, delta;
};

[[gnu::always_inline]] inline Reduction Reduce(double x, double ax) {
  Reduction r;
  if (ax < 0x1p21) {  // so |n| < 2^29
    // 1.5 * 2^52 + k has unit ulps, so its low word is k modulo 2^32.
    const double shifted = x * k512OverPi + 0x1.8p52;
    const double k = shifted - 0x1.8p52;
    r.n = static_cast<unsigned>(std::bit_cast<std::uint64_t>(shifted));
    // k A and k B are exact (23 and 21 bits times |k| < 2^29), and so are
    // x - k A (Sterbenz) and that minus k B: a multiple of 2^-52, or of
    // x's ulp for |x| < 1 (at least 2^-61 when k is not 0, |x| >= 2^-9), and
    // below 2^-8 (it is t + k C), it has at most 53 bits.
    const double head = (x - k * kPiOver512A) - k * kPiOver512B;
    TwoSum(head, -(k * kPiOver512C), r.th, r.tl);
    r.delta = Abs(k) * 0x1p-106;
  } else {
    // |x| * 2/pi = 4m + quadrant + fraction, and 256 times the fraction is
    // j + (the rest); t is (the rest) * pi/512, the rest centred on zero.
    std::uint32_t f[5];
    const int quadrant = trig::ReduceByHalfPi(ax, 5, f);
    const std::uint32_t half = (f[0] >> 23) & 1;
    r.n = static_cast<unsigned>(quadrant) * 256 + (f[0] >> 24) + half;
    double fh = static_cast<double>(f[0] & 0xFFFFFFu) * 0x1p-24 - static_cast<double>(half);
    double fl = 0.0;
    double scale = 0x1p-24;
    for (int w = 1; w < 5; ++w) {
      scale *= 0x1p-32;
      double e;
      TwoSum(fh, static_cast<double>(f[w]) * scale, fh, e);
      fl += e;
    }
    FastTwoSum(fh, fl, fh, fl);
    double e;
    TwoProd(fh, kPiOver512Hi, r.th, e);
    e += fh * kPiOver512Lo + fl * kPiOver512Hi;
    FastTwoSum(r.th, e, r.th, r.tl);
    if (x < 0.0) {
      r.n = 0u - r.n;
      r.th = -r.th;
      r.tl = -r.tl;
    }
    r.delta = 0x1p-150 + Abs(r.th) * 0x1p-100;
  }
  return r;
}

// sin t - t and cos t - 1 for t = th + tl (the tl terms are first order),
// the sums the table's two parts multiply, and th's halves for the exact
// products with the table.
struct Polynomials {
  double cos_m;      // cos t - 1
  double tl_sin_m;   // tl + (sin t - t), times q.hi
  double th_sin_m;   // th + (sin t - t), times q.lo
  double one_cos_m;  // 1 + (cos t - 1), times p.lo
  Halves th;
};

[[gnu::always_inline]] inline Polynomials Series(const Reduction& r) {
  const double z = r.th * r.th;
  const double sin_m = r.th * z * (-1.0 / 6.0 + z * (1.0 / 120.0 - z * (1.0 / 5040.0)));
  const double cos_m = z * (-0.5 + z * (1.0 / 24.0 - z * (1.0 / 720.0))) - r.th * r.tl;
  return {cos_m, r.tl + sin_m, r.th + sin_m, 1.0 + cos_m, Halve(r.th)};
}

// sin(n pi/512 + t), n taken modulo 1024, into result when the rounding test
// passes; false sends the argument to the slow path.
[[gnu::always_inline]] inline bool Combine(unsigned n, const Reduction& r, const Polynomials& m,
                                           double& result) {
  // sin(a + t) with a = n pi/512 = quadrant pi/2 + j pi/512:
  //   p + q t + q (sin t - t) + p (cos t - 1),  p = sin a, q = cos a,
  // where (p, q) is (s, c), (c, -s), (-s, -c) or (-c, s) by quadrant for
  // s = sin(j pi/512), c = cos(j pi/512). Signs by exclusive or, not
  // branches: random arguments would defeat branch prediction.
  const unsigned j = n & 255u, quadrant = (n >> 8) & 3u;
  const DoublePair p = WithSign(trig::kSinCos[j][quadrant & 1], quadrant >> 1);
  const DoublePair q =
      WithSign(trig::kSinCos[j][(quadrant & 1) ^ 1], (quadrant ^ (quadrant >> 1)) & 1);

  // q.hi has 26 significant bits: q.hi * th is exactly ph + pl.
  const double ph = q.hi * r.th;
  const double pl = ShortProductError<false>(q.hi, r.th, m.th, ph);
  double yh, yl;
  FastTwoSum(p.hi, ph, yh, yl);  // p.hi is 0 or above 2^-7.3 > 2 |ph|
  // The small terms in pairs, and the exact parts first: shorter chains.
  const double low =
      (q.hi * m.tl_sin_m + q.lo * m.th_sin_m) + (p.hi * m.cos_m + p.lo * m.one_cos_m);
  yl = (yl + pl) + low;
  // The reduction's error changes the result by at most delta; the kernel's
  // bound, with room for the rounding test's own roundings (2^-69).
  const double bound = 0x1.3p-66 * (Abs(p.hi) + Abs(ph)) + r.delta;
  return RoundsSurely(yh, yl, bound, result);
}

// The sine and cosine's middle stage: sin(a + t) = p + p (cos t - 1) +
// q sin t again, p and q from the table's three parts, the series in
// double-double (bound 2^-86 (|p| + |q t|) + delta, runtime/trig_bounds.md).
// False sends the argument to the slow path.
[[gnu::always_inline]] inline bool SinCosMiddle(unsigned n, const Reduction& r, double& result) {
  const unsigned j = n & 255u, quadrant = (n >> 8) & 3u;
  auto part = [j](unsigned k, double sign) {
    DoublePair v;
    FastTwoSum(trig::kSinCos[j][k].hi, trig::kSinCos[j][k].lo, v.hi, v.lo);
    v.lo += trig::kSinCosRest[j][k];
    return DoublePair{v.hi * sign, v.lo * sign};
  };
  const DoublePair p = part(quadrant & 1, kSigns[quadrant >> 1]);
  const DoublePair q = part((quadrant & 1) ^ 1, kSigns[(quadrant ^ (quadrant >> 1)) & 1]);
  const DoublePair t{r.th, r.tl};
  const DoublePair z = Mul22<false>(t, t);
  // sin t = t + t^3 (-1/6 + z (1/120 - z/5040 + z^2/362880))
  const double ws = 0x1.1111111111111p-7 +  // 1/120
                    z.hi * (-0x1.a01a01a01a01ap-13 + z.hi * 0x1.71de3a556c734p-19);
  DoublePair s3;
  FastTwoSum(-0x1.5555555555555p-3, z.hi * ws, s3.hi, s3.lo);  // -1/6 + z ws
  s3.lo += -0x1.5555555555555p-57;                             // -1/6's rest
  const DoublePair sine = Add22(t, Mul22<false>(Mul22<false>(z, t), s3));
  // cos t - 1 = z (-1/2 + z (1/24 - z/720 + z^2/40320))
  const double wc = 0x1.5555555555555p-5 +  // 1/24
                    z.hi * (-0x1.6c16c16c16c17p-10 + z.hi * 0x1.a01a01a01a01ap-16);
  DoublePair c2;
  FastTwoSum(-0.5, z.hi * wc, c2.hi, c2.lo);
  const DoublePair y = Add22(Add22(p, Mul22<false>(p, Mul22<false>(z, c2))), Mul22<false>(q, sine));
  const double bound = 0x1p-86 * (Abs(p.hi) + Abs(q.hi * r.th)) + r.delta;
  return RoundsSurely(y.hi, y.lo, bound, result);
}

// The middle stage, then the slow path, of the sine (cosine true: cosine) of
// x = n pi/512 + t.
[[gnu::noinline]] double SinOrCosAfterFirst(double x, bool cosine, unsigned n, const Reduction& r) {
  double result;
  if (SinCosMiddle(n, r, result)) return result;
  return trig::AccurateSinOrCos(x, cosine);
}

// first_stage false skips the first stage's rounding test (for the tests of
// the middle stage).
[[gnu::always_inline]] inline double SinOrCos(double x, bool cosine, bool first_stage = true) {
  const double ax = Abs(x);
  if (!(ax < kInf)) return x - x;  // NaN: quietened; infinity: invalid
  if (!cosine && ax < 0x1p-26) {
    // sin x = x - x^3/6 + ..., and x^3/6 is below half an ulp of x (also for
    // zeros and subnormals).
    return x;
  }
  if (cosine && ax < 0x1p-27) return 1.0;

  const Reduction r = Reduce(x, ax);
  // cos x = sin(x + pi/2)
  const unsigned n = cosine ? r.n + 256 : r.n;
  double result;
  if (!first_stage || !Combine(n, r, Series(r), result)) {
    return SinOrCosAfterFirst(x, cosine, n, r);
  }
  return result;
}

// The steps of Sin and Cos, the reduction and the polynomials made once:
// each result goes through its own combination, rounding test and slow path,
// so both are the very doubles the two functions return.
[[gnu::always_inline]] inline SineCosine SinCosOf(double x) {
  const double ax = Abs(x);
  if (!(ax < kInf)) {
    const double nan = x - x;  // NaN: quietened; infinity: invalid
    return {nan, nan};
  }
  // Below 2^-26 the sine is x itself; the cosine is 1 below 2^-27, and
  // between the two it takes its own reduction.
  if (ax < 0x1p-26) return {x, SinOrCos(x, true)};

  const Reduction r = Reduce(x, ax);
  const Polynomials m = Series(r);
  SineCosine result;
  if (!Combine(r.n, r, m, result.sin)) {
    result.sin = SinOrCosAfterFirst(x, false, r.n, r);
  }
  if (!Combine(r.n + 256, r, m, result.cos)) {
    result.cos = SinOrCosAfterFirst(x, true, r.n + 256, r);
  }
  return result;
}

// round(n - q d): exact when n - fl(q d) is (Sterbenz: fl(q d) within a
// factor 2 of n), the one rounding of the fused multiply-add otherwise.
template <bool kFma>
[[gnu::always_inline]] inline double Residual(double n, double q, double d) {
  if constexpr (kFma) {
    return __builtin_fma(-q, d, n);
  } else {
    const double p = q * d;
    return (n - p) - ProductError<false>(q, d, p);
  }
}

// The arc tangent's middle stage: atan c + atan h again, h = qh + ql, with
// the series to h^15 and its leading terms in double-double (bound 2^-86,
// runtime/trig_bounds.md). False sends the argument to the slow path.
template <bool kFma>
[[gnu::always_inline]] inline bool AtanMiddle(const trig::AtanPoint& point, double qh, double ql,
                                              double& result) {
  const DoublePair h{qh, ql};
  DoublePair z = Mul22<kFma>(h, h);
  const double w = -0x1.2492492492492p-3 +                                   // -1/7
                   z.hi * (0x1.c71c71c71c71cp-4 +                            // 1/9
                           z.hi * (-0x1.745d1745d1746p-4 +                   // -1/11
                                   z.hi * (0x1.3b13b13b13b14p-4 +            // 1/13
                                           z.hi * -0x1.1111111111111p-4)));  // -1/15
  DoublePair q5;                                                             // 1/5 + z w
  FastTwoSum(0x1.999999999999ap-3, z.hi * w, q5.hi, q5.lo);
  q5.lo += -0x1.999999999999ap-57;
  // -1/3 + z (1/5 + z w)
  const DoublePair p = Add22({-0x1.5555555555555p-2, -0x1.5555555555555p-56}, Mul22<kFma>(z, q5));
  const DoublePair t = Mul22<kFma>(Mul22<kFma>(z, h), p);  // h^3 (...)
  const DoublePair y = Add22(Add22(point.value, h), t);
  return RoundsSurely(y.hi, y.lo, 0x1p-86 * y.hi, result);
}

[[gnu::noinline]] bool AtanMiddlePlain(const trig::AtanPoint& point, double qh, double ql,
                                       double& result) {
  return AtanMiddle<false>(point, qh, ql, result);
}
#if defined(__x86_64__)
[[gnu::noinline, gnu::target("fma")]] bool AtanMiddleFma(const trig::AtanPoint& point, double qh,
                                                         double ql, double& result) {
  return AtanMiddle<true>(point, qh, ql, result);
}
#else
// The 32-bit edition keeps to SSE2.
bool AtanMiddleFma(const trig::AtanPoint& point, double qh, double ql, double& result) {
  return AtanMiddlePlain(point, qh, ql, result);
}
#endif

// Arc tangent: atan |x| = atan c + atan h, h = (s |x| - c)/(s + |x| c), for
// the point c whose cell holds |x| (runtime/trig_internal.h): |h| <= 2^-7
// (2^-6 from 2^6 on, where h = -1/|x|). s |x| - c is exact (Sterbenz) and
// so, as d = dh + dl, is the denominator; one division gives 1/dh, and
// h = qh + ql with qh = (s |x| - c) (1/dh) and ql from qh's exact residual,
// within 2^-97 |qh|. Then
//   atan h = h - h^3/3 + h^5/5 - h^7/7 + h^9/9 (the next term below 2^-51 |h|^3)
// with h^3 (...) on qh alone in plain doubles. The bound, 2^-80 |y| +
// 2^-49 |qh|^3, is proven in runtime/trig_bounds.md; the middle stage, then
// the slow path take the rest.
// first_stage false skips the first stage's rounding test (for the tests of
// the middle stage): the middle stage's result, or the slow path's.
template <bool kFma>
[[gnu::always_inline]] inline double AtanOf(double x, bool first_stage = true) {
  const double ay = Abs(x);
  if (ay != ay) return x + x;  // NaN: quietened
  // |x| >= 2^53 (and infinities): pi/2 - 1/|x| rounds to pi/2's double.
  if (ay >= 0x1p53) return CopySign(kHalfPi, x);
  if (ay < 0x1p-27) return x;  // x^3/3 is below half an ulp of x

  // The cell: exponent and five bits of fraction, of |x| held within
  // [0x1.f8p-8, 2^6], whose cells are those of points 0 and 417.
  const double held = Min(Max(ay, 0x1.f8p-8), 0x1p6);
  const auto cell = static_cast<unsigned>(std::bit_cast<std::uint64_t>(held) >> 47);
  const trig::AtanPoint& point = trig::kAtanPoints[cell - ((1023u - 7u) * 32u - 1u)];

  const double n = point.s * ay - point.c;  // exact
  // d = s + |x| c = dh + dl exactly (dl rounded): c has 7 bits at most.
  const double p = ay * point.c;
  const double pe = ShortProductError<kFma>(point.c, ay, kFma ? Halves{} : Halve(ay), p);
  const double dh = point.s + p;
  const double big = Max(point.s, p), small = Min(point.s, p);
  const double dl = (small - (dh - big)) + pe;
  const double inverse = 1.0 / dh;
  const double qh = n * inverse;
  const double ql = (Residual<kFma>(n, qh, dh) - qh * dl) * inverse;

  const double z = qh * qh;
  const double z2 = z * z;
  const double series = qh * z *
                        ((-0x1.5555555555555p-2 + z * 0x1.999999999999ap-3) +       // -1/3, 1/5
                         z2 * (-0x1.2492492492492p-3 + z * 0x1.c71c71c71c71cp-4));  // -1/7, 1/9
  double yh, yl;
  FastTwoSum(point.value.hi, qh, yh, yl);  // atan c > 2 |qh|, or 0
  yl += point.value.lo + (ql + series);
  const double bound = 0x1p-80 * yh + 0x1p-49 * (Abs(qh) * z);
  double result;
  if (!first_stage || !RoundsSurely(yh, yl, bound, result)) {
    bool sure;
    if constexpr (kFma) {
      sure = AtanMiddleFma(point, qh, ql, result);
    } else {
      sure = AtanMiddlePlain(point, qh, ql, result);
    }
    if (!sure) return trig::AccurateAtan(x);
  }
  return CopySign(result, x);
}

#if defined(__x86_64__)
// The fast paths with the processor's fused multiply-add for their exact
// products: the same doubles at every step, so the same results.
[[gnu::target("fma")]] double AtanFma(double x) { return AtanOf<true>(x); }
[[gnu::target("fma")]] double AtanMiddleFirst(double x) { return AtanOf<true>(x, false); }

bool Detect() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("fma") != 0;
}
#else
// The 32-bit edition keeps to SSE2.
double AtanFma(double x) { return AtanOf<false>(x); }
double AtanMiddleFirst(double x) { return AtanOf<false>(x, false); }
constexpr bool Detect() { return false; }
#endif

}  // namespace

namespace trig {
double SinOrCosFromMiddleStage(double x, bool cosine) { return SinOrCos(x, cosine, false); }
double AtanFromMiddleStage(double x) {
  return use_fused_multiply_add ? AtanMiddleFirst(x) : AtanOf<false>(x, false);
}

// No function-local static here: its guard would bring the threads
// library's once-functions into the DLL, which has its own.
bool HasFusedMultiplyAdd() { return Detect(); }
bool use_fused_multiply_add = Detect();
}  // namespace trig

// The sine and cosine take the plain path everywhere: with fused
// multiply-add for their one exact product they ran no faster.
double Sin(double x) { return SinOrCos(x, false); }
double Cos(double x) { return SinOrCos(x, true); }
SineCosine SinCos(double x) { return SinCosOf(x); }
double Atan(double x) { return trig::use_fused_multiply_add ? AtanFma(x) : AtanOf<false>(x); }

}  // namespace pelmora::runtime
