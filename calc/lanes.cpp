// DistanceFrom and Azimut in eight lanes (calc/lanes.h).
//
// Each kernel below is the scalar code of its calculation under
// runtime::NoStatus (calc/distance.cpp, calc/bearing.cpp), with the fast
// paths of runtime/trig.cpp inlined, written for the doubles of AVX2
// registers: the same IEEE operations on the same operands in the same order,
// so each lane computes the doubles the scalar code computes for it. Fused
// multiply-adds stand only where the scalar fast paths compute an exact
// product's error or an exact residual (their ShortProductError and
// Residual), which give the same double with or without fusing
// (runtime/trig_bounds.md). Where the scalar code branches, the lanes
// compute both sides and select.
//
// A lane is done when its inputs lie in the calculation's plain domain (the
// scalar code runs there under NoStatus and succeeds) and every sine,
// cosine and arc tangent it took passed the fast path's rounding test with
// an argument inside the fast path's range: below 2^21 for the sine and
// cosine (no reduction by 2/pi's bits), the first stage for the arc
// tangent. Its result is then the correctly rounded value the scalar
// function returns, and every later step the same. Any other lane is left
// to the scalar calculation: the slow paths, the middle stage of the arc
// tangent, the screened and failing inputs.
#include "calc/lanes.h"

#include <cstdlib>

#include "calc/arithmetic.h"
#include "calc/distance.h"
#include "runtime/trig.h"

#if defined(__x86_64__)
#include <immintrin.h>

#include "runtime/trig_internal.h"
#endif

namespace pelmora::calc::lanes {

namespace {

bool Detect() {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2") == 0 || __builtin_cpu_supports("fma") == 0) return false;
  const char* off = std::getenv("PELMORA_NO_AVX2");
  return off == nullptr || off[0] == '\0';
#else
  return false;
#endif
}

// Decided at the first use.
bool Allowed() {
  static const bool allowed = Detect();
  return allowed;
}

bool switched_off = false;

}  // namespace

bool Enabled() { return !switched_off && Allowed(); }

bool Use(bool lanes) {
  switched_off = !lanes;
  return Enabled();
}

// The scalar calculation's own steps, as CosineOfCentralAngle, ArcCos and
// Kilometres (calc/distance.cpp) make them under NoStatus inside their
// plain domains, in their order.
namespace {

constexpr double kPi32Wide = static_cast<double>(kPi32);
constexpr double kHalfGreatCircle = 0x1.3886666666667p+14;

float Radians(float degrees) {
  return static_cast<float>((static_cast<double>(degrees) * kPi32Wide) / 180.0);
}
double Wide(float x) { return static_cast<double>(x); }

}  // namespace

Station StationAt(float lat, float lon) {
  const runtime::SineCosine phi = runtime::SinCos(Wide(Radians(lat)));
  return {Radians(lon), static_cast<float>(phi.sin), static_cast<float>(phi.cos)};
}

bool DistanceFrom(float a_lat, float a_lon, float b_lat, float b_lon, const Station& station,
                  float& result) {
  constexpr float kMax = 0x1.fffffep+127f;
  if (!(__builtin_fabsf(a_lat) <= kMax && __builtin_fabsf(a_lon) <= kMax &&
        __builtin_fabsf(b_lat) <= kMax && __builtin_fabsf(b_lon) <= kMax)) {
    return false;
  }
  if (Wide(a_lat) == Wide(b_lat) && Wide(a_lon) == Wide(b_lon)) {
    result = 0.0f;
    return true;
  }
  const float phi_b = Radians(b_lat);
  const float lambda_b = Radians(b_lon);
  const runtime::SineCosine trig_b = runtime::SinCos(Wide(phi_b));
  const auto sin_phi_b = static_cast<float>(trig_b.sin);
  const auto cos_phi_b = static_cast<float>(trig_b.cos);
  const auto cos_lon_diff = static_cast<float>(runtime::Cos(Wide(lambda_b) - Wide(station.lambda)));
  const double cosine_sum = (Wide(cos_phi_b) * Wide(station.cos_phi)) * Wide(cos_lon_diff) +
                            Wide(sin_phi_b) * Wide(station.sin_phi);
  const float A = calc::ArcCos(static_cast<float>(cosine_sum)).value;
  const auto scaled = static_cast<float>((Wide(A) * kHalfGreatCircle) / kPi32Wide);
  result = static_cast<float>(Wide(scaled) + 0.5);
  return true;
}

}  // namespace pelmora::calc::lanes

#if !defined(__x86_64__)

namespace pelmora::calc::lanes {
unsigned Distance(Group&) { return 0; }
unsigned Distance(Group&, const Station&) { return 0; }
unsigned ArcCos(Group&) { return 0; }
unsigned Azimut(Group&) { return 0; }
}  // namespace pelmora::calc::lanes

#else

// Everything below runs only where Enabled() holds.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,fma"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,fma")
// The vectors of eight doubles never cross a call: every function taking or
// returning one below is inlined, so their calling convention never arises
// (GCC warns at the end of the file, so the warning stays off to its end).
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace pelmora::calc::lanes {

namespace {

// The lanes' doubles, floats, masks (all ones or all zeros) and words: two
// AVX2 registers each, four lanes a register. Every operation below is the
// IEEE operation (or the bit operation) of each lane, made on both halves one
// after the other, so that the two halves' chains interleave and hide each
// other's latencies.
typedef double V __attribute__((vector_size(32)));
typedef long long M __attribute__((vector_size(32)));
static_assert(kLanes == 8, "two registers of four doubles");

struct D {
  V a, b;
};
struct L {
  M a, b;
};
struct F {
  __m128 a, b;
};
struct I {
  __m128i a, b;
};

#define PELMORA_LANES_ARITHMETIC(op)                                                          \
  [[gnu::always_inline]] inline D operator op(D x, D y) { return {x.a op y.a, x.b op y.b}; }  \
  [[gnu::always_inline]] inline D operator op(D x, double y) { return {x.a op y, x.b op y}; } \
  [[gnu::always_inline]] inline D operator op(double x, D y) { return {x op y.a, x op y.b}; }
PELMORA_LANES_ARITHMETIC(+)
PELMORA_LANES_ARITHMETIC(-)
PELMORA_LANES_ARITHMETIC(*)
PELMORA_LANES_ARITHMETIC(/)
#undef PELMORA_LANES_ARITHMETIC
[[gnu::always_inline]] inline D operator-(D x) { return {-x.a, -x.b}; }
[[gnu::always_inline]] inline D& operator+=(D& x, D y) { return x = x + y; }

#define PELMORA_LANES_COMPARISON(op)                                         \
  [[maybe_unused, gnu::always_inline]] inline L operator op(D x, D y) {      \
    return {x.a op y.a, x.b op y.b};                                         \
  }                                                                          \
  [[maybe_unused, gnu::always_inline]] inline L operator op(D x, double y) { \
    return {x.a op y, x.b op y};                                             \
  }
PELMORA_LANES_COMPARISON(<)
PELMORA_LANES_COMPARISON(<=)
PELMORA_LANES_COMPARISON(>)
PELMORA_LANES_COMPARISON(>=)
PELMORA_LANES_COMPARISON(==)
#undef PELMORA_LANES_COMPARISON

[[gnu::always_inline]] inline L operator&(L x, L y) { return {x.a & y.a, x.b & y.b}; }
[[gnu::always_inline]] inline L operator|(L x, L y) { return {x.a | y.a, x.b | y.b}; }
[[gnu::always_inline]] inline L operator^(L x, L y) { return {x.a ^ y.a, x.b ^ y.b}; }
[[gnu::always_inline]] inline L operator~(L x) { return {~x.a, ~x.b}; }
[[gnu::always_inline]] inline L& operator|=(L& x, L y) { return x = x | y; }

[[gnu::always_inline]] inline L Bits(D x) { return {M(x.a), M(x.b)}; }
[[gnu::always_inline]] inline D FromBits(L x) { return {V(x.a), V(x.b)}; }
[[gnu::always_inline]] inline L AllLanes() { return {M{} - 1, M{} - 1}; }
[[gnu::always_inline]] inline D Splat(double x) { return {V{} + x, V{} + x}; }
[[gnu::always_inline]] inline F Splat(float x) { return {_mm_set1_ps(x), _mm_set1_ps(x)}; }
[[gnu::always_inline]] inline L SignBit() { return {M{} + (1LL << 63), M{} + (1LL << 63)}; }
[[gnu::always_inline]] inline D Abs(D x) { return FromBits(Bits(x) & ~SignBit()); }
[[gnu::always_inline]] inline D CopySign(D magnitude, D sign) {
  return FromBits((Bits(magnitude) & ~SignBit()) | (Bits(sign) & SignBit()));
}
// mask ? a : b, lane by lane.
[[gnu::always_inline]] inline D Select(L mask, D a, D b) {
  return {_mm256_blendv_pd(b.a, a.a, V(mask.a)), _mm256_blendv_pd(b.b, a.b, V(mask.b))};
}
[[gnu::always_inline]] inline __m128 Narrow(M mask) {
  return __m128(_mm256_castsi256_si128(
      _mm256_permutevar8x32_epi32(__m256i(mask), _mm256_setr_epi32(0, 2, 4, 6, 0, 0, 0, 0))));
}
[[gnu::always_inline]] inline F Select(L mask, F a, F b) {
  return {_mm_blendv_ps(b.a, a.a, Narrow(mask.a)), _mm_blendv_ps(b.b, a.b, Narrow(mask.b))};
}
[[gnu::always_inline]] inline unsigned Lanes(L mask) {
  return static_cast<unsigned>(_mm256_movemask_pd(V(mask.a))) |
         static_cast<unsigned>(_mm256_movemask_pd(V(mask.b))) << 4;
}
// SSE2's maxsd and minsd, as the scalar Max and Min: a > b ? a : b.
[[gnu::always_inline]] inline D Max(D x, D y) {
  return {_mm256_max_pd(x.a, y.a), _mm256_max_pd(x.b, y.b)};
}
[[gnu::always_inline]] inline D Min(D x, D y) {
  return {_mm256_min_pd(x.a, y.a), _mm256_min_pd(x.b, y.b)};
}
// The float32 rounding points and the exact widening.
[[gnu::always_inline]] inline F Store(D x) { return {_mm256_cvtpd_ps(x.a), _mm256_cvtpd_ps(x.b)}; }
[[gnu::always_inline]] inline D Widen(F x) { return {_mm256_cvtps_pd(x.a), _mm256_cvtps_pd(x.b)}; }
[[gnu::always_inline]] inline F Load(const float (&x)[kLanes]) {
  return {_mm_loadu_ps(x), _mm_loadu_ps(x + 4)};
}
[[gnu::always_inline]] inline void Put(float (&x)[kLanes], F v) {
  _mm_storeu_ps(x, v.a);
  _mm_storeu_ps(x + 4, v.b);
}
// a * b - c and c - a * b, each rounded once.
[[gnu::always_inline]] inline D FusedMulSub(D x, D y, D z) {
  return {_mm256_fmsub_pd(x.a, y.a, z.a), _mm256_fmsub_pd(x.b, y.b, z.b)};
}
[[gnu::always_inline]] inline D FusedNegMulAdd(D x, D y, D z) {
  return {_mm256_fnmadd_pd(x.a, y.a, z.a), _mm256_fnmadd_pd(x.b, y.b, z.b)};
}
[[gnu::always_inline]] inline D Sqrt(D x) { return {_mm256_sqrt_pd(x.a), _mm256_sqrt_pd(x.b)}; }
[[gnu::always_inline]] inline D Floor(D x) { return {_mm256_floor_pd(x.a), _mm256_floor_pd(x.b)}; }

// Rows of four doubles, one row a lane, as four columns: column c holds
// element c of each lane's row. (Loads and shuffles, where gathers cost
// several times more on some processors.)
struct Columns {
  D c0, c1, c2, c3;
};
struct Quarter {
  V c0, c1, c2, c3;
};
[[gnu::always_inline]] inline Quarter Transpose4(const double* r0, const double* r1,
                                                 const double* r2, const double* r3) {
  const V a = _mm256_loadu_pd(r0), b = _mm256_loadu_pd(r1);
  const V c = _mm256_loadu_pd(r2), d = _mm256_loadu_pd(r3);
  const V ab_even = _mm256_unpacklo_pd(a, b), ab_odd = _mm256_unpackhi_pd(a, b);
  const V cd_even = _mm256_unpacklo_pd(c, d), cd_odd = _mm256_unpackhi_pd(c, d);
  return {
      _mm256_permute2f128_pd(ab_even, cd_even, 0x20), _mm256_permute2f128_pd(ab_odd, cd_odd, 0x20),
      _mm256_permute2f128_pd(ab_even, cd_even, 0x31), _mm256_permute2f128_pd(ab_odd, cd_odd, 0x31)};
}
[[gnu::always_inline]] inline Columns Transpose(const double* const (&rows)[kLanes]) {
  const Quarter low = Transpose4(rows[0], rows[1], rows[2], rows[3]);
  const Quarter high = Transpose4(rows[4], rows[5], rows[6], rows[7]);
  return {{low.c0, high.c0}, {low.c1, high.c1}, {low.c2, high.c2}, {low.c3, high.c3}};
}

// The low words of each lane's 64 bits (n from 1.5 * 2^52 + k).
[[gnu::always_inline]] inline __m128i LowWords(V x) {
  return _mm256_castsi256_si128(
      _mm256_permutevar8x32_epi32(__m256i(x), _mm256_setr_epi32(0, 2, 4, 6, 0, 0, 0, 0)));
}
[[gnu::always_inline]] inline int Word(const I& n, int k) {
  typedef int Words __attribute__((vector_size(16)));
  return Words(k < 4 ? n.a : n.b)[k & 3];
}
[[gnu::always_inline]] inline I operator+(I n, int k) {
  return {_mm_add_epi32(n.a, _mm_set1_epi32(k)), _mm_add_epi32(n.b, _mm_set1_epi32(k))};
}

// ---- The sine and cosine (runtime/trig.cpp: Reduce, Series, Combine) ----

constexpr double kPiOver512A = 0x1.921fb4p-8;
constexpr double kPiOver512B = 0x1.4442dp-32;
constexpr double kPiOver512C = 0x1.8469898cc517p-56;
constexpr double k512OverPi = 0x1.45f306dc9c883p+7;
constexpr double kHalfPi = 0x1.921fb54442d18p+0;

struct Reduction {
  I n;  // the low words of the lanes' n
  D th, tl, delta;
  L in_range;  // |x| < 2^21 (not a NaN)
};

[[gnu::always_inline]] inline void TwoSum(D a, D b, D& s, D& e) {
  s = a + b;
  const D bb = s - a;
  e = (a - (s - bb)) + (b - bb);
}

[[gnu::always_inline]] inline void FastTwoSum(D a, D b, D& s, D& e) {
  s = a + b;
  e = b - (s - a);
}

// Below 2^21 only.
[[gnu::always_inline]] inline Reduction Reduce(D x) {
  Reduction r;
  const D shifted = x * k512OverPi + 0x1.8p52;
  const D k = shifted - 0x1.8p52;
  r.n = {LowWords(shifted.a), LowWords(shifted.b)};
  const D head = (x - k * kPiOver512A) - k * kPiOver512B;
  TwoSum(head, -(k * kPiOver512C), r.th, r.tl);
  r.delta = Abs(k) * 0x1p-106;
  r.in_range = Abs(x) < 0x1p21;
  return r;
}

struct Polynomials {
  D cos_m, tl_sin_m, th_sin_m, one_cos_m;
};

[[gnu::always_inline]] inline Polynomials Series(const Reduction& r) {
  const D z = r.th * r.th;
  const D sin_m = r.th * z * (-1.0 / 6.0 + z * (1.0 / 120.0 - z * (1.0 / 5040.0)));
  const D cos_m = z * (-0.5 + z * (1.0 / 24.0 - z * (1.0 / 720.0))) - r.th * r.tl;
  return {cos_m, r.tl + sin_m, r.th + sin_m, 1.0 + cos_m};
}

// The rows kSinCos[j] of the lanes (sin(j pi/512) and cos(j pi/512), each
// a pair): the same for n and n + 256.
[[gnu::always_inline]] inline Columns SinCosRows(I n) {
  const double* rows[kLanes];
  for (int k = 0; k < kLanes; ++k) rows[k] = &runtime::trig::kSinCos[Word(n, k) & 255][0].hi;
  return Transpose(rows);
}

// sin(n pi/512 + t) and whether its rounding test passed; `rows` are
// SinCosRows(n).
[[gnu::always_inline]] inline D Combine(I n, const Columns& rows, const Reduction& r,
                                        const Polynomials& m, L& sure) {
  // (p, q) is (s, c), (c, -s), (-s, -c) or (-c, s) by quadrant, the signs
  // flipped by exclusive or as WithSign does.
  const auto signs = [](__m128i half, M& odd, M& p_sign, M& q_sign) {
    const __m256i quadrant =
        _mm256_cvtepu32_epi64(_mm_and_si128(_mm_srli_epi32(half, 8), _mm_set1_epi32(3)));
    const __m256i high = _mm256_srli_epi64(quadrant, 1);
    odd = M(_mm256_slli_epi64(quadrant, 63)) != 0;
    p_sign = M(_mm256_slli_epi64(high, 63));
    q_sign = M(_mm256_slli_epi64(_mm256_xor_si256(quadrant, high), 63));
  };
  L odd, p_sign, q_sign;
  signs(n.a, odd.a, p_sign.a, q_sign.a);
  signs(n.b, odd.b, p_sign.b, q_sign.b);
  const D p_hi = FromBits(Bits(Select(odd, rows.c2, rows.c0)) ^ p_sign);
  const D p_lo = FromBits(Bits(Select(odd, rows.c3, rows.c1)) ^ p_sign);
  const D q_hi = FromBits(Bits(Select(odd, rows.c0, rows.c2)) ^ q_sign);
  const D q_lo = FromBits(Bits(Select(odd, rows.c1, rows.c3)) ^ q_sign);

  const D ph = q_hi * r.th;
  const D pl = FusedMulSub(q_hi, r.th, ph);
  D yh, yl;
  FastTwoSum(p_hi, ph, yh, yl);
  const D low = (q_hi * m.tl_sin_m + q_lo * m.th_sin_m) + (p_hi * m.cos_m + p_lo * m.one_cos_m);
  yl = (yl + pl) + low;
  const D bound = 0x1.3p-66 * (Abs(p_hi) + Abs(ph)) + r.delta;
  const D down = yh + (yl - bound);
  const D up = yh + (yl + bound);
  sure = (down == up) & r.in_range;
  return down;
}

// Sin, Cos and SinCos as the scalar functions give them, with `sure`
// cleared in the lanes they would leave to the slow path (or that lie
// beyond 2^21). Infinities and NaNs fail the range.
[[gnu::always_inline]] inline D Sin(D x, L& sure) {
  const Reduction r = Reduce(x);
  const D y = Combine(r.n, SinCosRows(r.n), r, Series(r), sure);
  const L tiny = Abs(x) < 0x1p-26;
  sure |= tiny;
  return Select(tiny, x, y);
}

[[gnu::always_inline]] inline D Cos(D x, L& sure) {
  const Reduction r = Reduce(x);
  const D y = Combine(r.n + 256, SinCosRows(r.n), r, Series(r), sure);
  const L tiny = Abs(x) < 0x1p-27;
  sure |= tiny;
  return Select(tiny, Splat(1.0), y);
}

[[gnu::always_inline]] inline void SinCos(D x, D& sin, D& cos, L& sure) {
  const Reduction r = Reduce(x);
  const Polynomials m = Series(r);
  L sure_sin, sure_cos;
  const Columns rows = SinCosRows(r.n);
  sin = Combine(r.n, rows, r, m, sure_sin);
  cos = Combine(r.n + 256, rows, r, m, sure_cos);
  const L tiny_sin = Abs(x) < 0x1p-26, tiny_cos = Abs(x) < 0x1p-27;
  sin = Select(tiny_sin, x, sin);
  cos = Select(tiny_cos, Splat(1.0), cos);
  sure = (sure_sin | tiny_sin) & (sure_cos | tiny_cos);
}

// ---- The arc tangent's first stage (runtime/trig.cpp: AtanOf) ----

[[gnu::always_inline]] inline D Atan(D x, L& sure) {
  const D ay = Abs(x);
  const D held = Min(Max(ay, Splat(0x1.f8p-8)), Splat(0x1p6));
  const __m256i cells[2] = {_mm256_srli_epi64(__m256i(held.a), 47),
                            _mm256_srli_epi64(__m256i(held.b), 47)};
  const double* rows[kLanes];
  for (int k = 0; k < kLanes; ++k) {
    const auto cell = static_cast<unsigned>(M(cells[k / 4])[k & 3]);
    rows[k] = &runtime::trig::kAtanPoints[cell - ((1023u - 7u) * 32u - 1u)].c;
  }
  const Columns point = Transpose(rows);
  const D c = point.c0, s = point.c1, value_hi = point.c2, value_lo = point.c3;

  const D n = s * ay - c;
  const D p = ay * c;
  const D pe = FusedMulSub(c, ay, p);
  const D dh = s + p;
  const D big = Max(s, p), small = Min(s, p);
  const D dl = (small - (dh - big)) + pe;
  const D inverse = 1.0 / dh;
  const D qh = n * inverse;
  const D ql = (FusedNegMulAdd(qh, dh, n) - qh * dl) * inverse;

  const D z = qh * qh;
  const D z2 = z * z;
  const D series = qh * z *
                   ((-0x1.5555555555555p-2 + z * 0x1.999999999999ap-3) +
                    z2 * (-0x1.2492492492492p-3 + z * 0x1.c71c71c71c71cp-4));
  D yh, yl;
  FastTwoSum(value_hi, qh, yh, yl);
  yl += value_lo + (ql + series);
  const D bound = 0x1p-80 * yh + 0x1p-49 * (Abs(qh) * z);
  const D down = yh + (yl - bound);
  const D up = yh + (yl + bound);
  const L tiny = ay < 0x1p-27;
  const L huge = ay >= 0x1p53;
  sure = ((down == up) & (ay == ay)) | tiny | huge;
  return Select(tiny, x, Select(huge, CopySign(Splat(kHalfPi), x), CopySign(down, x)));
}

// ---- DistanceFrom (calc/distance.cpp) ----

constexpr double kFloatMax = 0x1.fffffep+127;

// atan(1), as ArcCos takes it: the scalar function's double.
double QuarterTurn() {
  static const double quarter_turn = runtime::Atan(1.0);
  return quarter_turn;
}

// ArcCos(X) (calc/distance.cpp: ArcCosRun) for -1 <= X <= 1, its plain
// domain, which `plain` tells; `sure` where the arc tangent was.
[[gnu::always_inline]] inline F ArcCos(D X, L& plain, L& sure) {
  plain = (X >= -1.0) & (X <= 1.0);
  const D radicand = (-X * X) + 1.0;
  const D square_root = Sqrt(radicand);
  const D root = Select(square_root == 0.0, Splat(1e-8), square_root);
  const D angle = Atan(-X / root, sure);
  return Store(angle + 2.0 * QuarterTurn());
}

// The radians of DistanceFrom.
[[gnu::always_inline]] inline F Radians(D degrees) { return Store((degrees * kPi32Wide) / 180.0); }

template <bool kStation>
[[gnu::always_inline]] inline unsigned DistanceOf(Group& group, const Station& station) {
  const D alat = Widen(Load(group.in[0])), alon = Widen(Load(group.in[1]));
  const D blat = Widen(Load(group.in[2])), blon = Widen(Load(group.in[3]));
  // The plain domain: four finite inputs.
  const L plain = (Abs(alat) <= kFloatMax) & (Abs(alon) <= kFloatMax) & (Abs(blat) <= kFloatMax) &
                  (Abs(blon) <= kFloatMax);
  const L same = (alat == blat) & (alon == blon);

  const F phi_b = Radians(blat);
  const F lambda_b = Radians(blon);
  D sin_b, cos_b;
  L sure_a, sure_b, sure_diff;
  SinCos(Widen(phi_b), sin_b, cos_b, sure_b);
  const F sin_phi_b = Store(sin_b), cos_phi_b = Store(cos_b);
  F lambda_a, sin_phi_a, cos_phi_a;
  if constexpr (kStation) {
    lambda_a = Splat(station.lambda);
    sin_phi_a = Splat(station.sin_phi);
    cos_phi_a = Splat(station.cos_phi);
    sure_a = AllLanes();
  } else {
    const F phi_a = Radians(alat);
    lambda_a = Radians(alon);
    D sin_a, cos_a;
    SinCos(Widen(phi_a), sin_a, cos_a, sure_a);
    sin_phi_a = Store(sin_a);
    cos_phi_a = Store(cos_a);
  }
  const D lon_diff = Widen(lambda_b) - Widen(lambda_a);
  const F cos_lon_diff = Store(Cos(lon_diff, sure_diff));
  const D cosine_sum = (Widen(cos_phi_b) * Widen(cos_phi_a)) * Widen(cos_lon_diff) +
                       Widen(sin_phi_b) * Widen(sin_phi_a);
  const D X = Widen(Store(cosine_sum));

  L arc_plain, sure_atan;
  const F A = ArcCos(X, arc_plain, sure_atan);

  // The kilometres and the half.
  const F scaled = Store((Widen(A) * kHalfGreatCircle) / kPi32Wide);
  const F result = Store(Widen(scaled) + 0.5);

  const L computed = ~same & sure_a & sure_b & sure_diff & arc_plain & sure_atan;
  const unsigned done = Lanes(plain & (same | computed));
  if (done != 0) {
    Put(group.distance, Select(same, Splat(0.0f), result));
  }
  return done;
}

}  // namespace

unsigned Distance(Group& group) { return DistanceOf<false>(group, Station{}); }

unsigned ArcCos(Group& group) {
  L plain, sure;
  const F A = ArcCos(Widen(Load(group.in[0])), plain, sure);
  const unsigned done = Lanes(plain & sure);
  if (done != 0) Put(group.distance, A);
  return done;
}

unsigned Distance(Group& group, const Station& station) { return DistanceOf<true>(group, station); }

namespace {

// ---- Azimut (calc/bearing.cpp) ----

constexpr double K = 57.2958;
constexpr double kPi32Double = static_cast<double>(kPi32);
constexpr double kTwoPi32 = static_cast<double>(0x1.921fb6p+2f);

}  // namespace

unsigned Azimut(Group& group) {
  const D my_lat = Widen(Load(group.in[0])), my_lon = Widen(Load(group.in[1]));
  const D lat = Widen(Load(group.in[2])), lon = Widen(Load(group.in[3]));
  // The plain domain (PlainBearing), compared in double: the same truth.
  const D least = Splat(static_cast<double>(1e-6f));
  const D my_lon_abs = Abs(my_lon), other_lat = Abs(lat), other_lon = Abs(lon);
  const L plain = (Abs(my_lat) <= 90.0) & (other_lat >= least) & (other_lat <= 90.0) &
                  ((my_lon_abs == 0.0) | ((my_lon_abs >= least) & (my_lon_abs <= 180.0))) &
                  (other_lon >= least) & (other_lon <= 180.0);

  // Radians, the longitude difference; equal longitudes are decided.
  const F my_lat_rad = Store(my_lat / K);
  const F my_lon_rad = Store(my_lon / K);
  const F other_lat_rad = Store(lat / K);
  const F other_lon_rad = Store(lon / K);
  F lon_diff = Store(Widen(my_lon_rad) - Widen(other_lon_rad));
  const L decided = Widen(lon_diff) == 0.0;
  const F due = Select(lat < my_lat, Splat(180.0f), Splat(0.0f));

  // One pass of normalisation.
  const D d0 = Widen(lon_diff);
  lon_diff = Select(d0 > kPi32Double, Store(d0 - kTwoPi32),
                    Select(d0 < -kPi32Double, Store(d0 + kTwoPi32), lon_diff));
  const D delta = Widen(lon_diff);
  D delta_sin, delta_cos, other_sin, other_cos;
  L sure_delta, sure_other, sure_alpha, sure_sum, sure_sin_alpha, sure_beta;
  SinCos(delta, delta_sin, delta_cos, sure_delta);
  SinCos(Widen(other_lat_rad), other_sin, other_cos, sure_other);
  const D cot_other_lat = other_cos / other_sin;
  const D t1 = delta_cos * cot_other_lat;
  const F aux = Store(Atan(Widen(Store(t1)), sure_alpha));

  const D alpha = Widen(aux);
  const D lat_sum = Widen(my_lat_rad) + alpha;
  const D cot_delta = delta_cos / delta_sin;
  const D t2 = (cot_delta * Cos(lat_sum, sure_sum)) / Sin(alpha, sure_sin_alpha);
  const D reciprocal = 1.0 / Widen(Store(t2));
  F azimut = Store(Atan(reciprocal, sure_beta));
  azimut = Store(Widen(azimut) * K);
  const D diff_degrees = Widen(Store(Widen(lon_diff) * K));

  // The quadrant, each test on the current value, then clockwise.
  D a = Widen(azimut);
  a = Select((diff_degrees > 0.0) & (a < 0.0), Widen(Store(a + 180.0)), a);
  a = Select((diff_degrees < 0.0) & (a > 0.0), Widen(Store(a + 180.0)), a);
  a = Select((diff_degrees < 0.0) & (a < 0.0), Widen(Store(a + 360.0)), a);
  const D clockwise = Widen(Store(360.0 - a));
  const F rounded = Store(Floor(clockwise + 0.5));

  const L computed = sure_delta & sure_other & sure_alpha & sure_sum & sure_sin_alpha & sure_beta;
  const unsigned done = Lanes(plain & (decided | computed));
  if (done != 0) Put(group.bearing, Select(decided, due, rounded));
  return done;
}

}  // namespace pelmora::calc::lanes

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif
