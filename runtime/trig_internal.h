// Shared by the sine, cosine and arc tangent: their constant tables, the
// reduction of large arguments by pi/2 and the slow accurate path.
#pragma once

#include <cstdint>

namespace pelmora::runtime::trig {

struct DoublePair {
  double hi;
  double lo;
};

// The binary fraction of 2/pi, 32 bits a word, most significant first: 1536
// bits, enough to reduce the largest double exactly.
extern const std::uint32_t kTwoOverPi[48];
// pi/2 in the slow path's fixed point: the integer word, then 224 bits of
// fraction (truncated).
extern const std::uint32_t kHalfPi[8];
// sin(i pi/512) and cos(i pi/512), i = 0..255, each as a double of 26
// significant bits (rounded) and the rounded remainder: together within
// 2^-79 of the value, relatively.
extern const DoublePair kSinCos[256][2];
// What remains of each after its two parts, rounded: the three within 2^-132
// (for the sine and cosine's middle stage).
extern const double kSinCosRest[256][2];
// The arc tangent's points c, at which atan |x| = atan c + atan h with
// h = (s |x| - c)/(s + |x| c): entry 0 (for |x| below 2^-7) c = 0; entries
// 1..416 the midpoints of the cells of 32 a binade from 2^-7 to 2^6 (cell
// 32 (e + 7) + f + 1 for |x| = 2^e 1.f..., f the first five bits of the
// fraction); entry 417 (from 2^6 on) the point at infinity, s = 0 and c = 1,
// its value pi/2. s is 1 otherwise; the value is rounded, then its rest.
struct AtanPoint {
  double c;
  double s;
  DoublePair value;
};
inline constexpr int kAtanPointCount = 418;
extern const AtanPoint kAtanPoints[kAtanPointCount];

// Reduction of a positive finite double ax >= 2^-26 by pi/2: returns the
// integer part of ax * 2/pi modulo 4, and writes its fraction as `words`
// 32-bit words, most significant first, truncated (too small by less than
// 2^(-32 words)). words <= 10.
int ReduceByHalfPi(double ax, int words, std::uint32_t* fraction);

// The slow path: sine or cosine, and arc tangent, from fixed-point
// arithmetic with 224 bits of fraction, for finite x with |x| >= 2^-27.
double AccurateSinOrCos(double x, bool cosine);
double AccurateAtan(double x);

// The sine or cosine from its middle stage (the first stage's rounding test
// skipped), or from the slow path when the middle stage's test fails.
double SinOrCosFromMiddleStage(double x, bool cosine);

// The arc tangent from its middle stage (the first stage's rounding test
// skipped), or from the slow path when the middle stage's test fails.
double AtanFromMiddleStage(double x);

// Whether the processor has fused multiply-add (always false in the 32-bit
// edition), and whether the arc tangent uses it for its exact products: set
// at start-up to the former; the tests set it to run each path. Either way
// every step computes the same doubles.
bool HasFusedMultiplyAdd();
extern bool use_fused_multiply_add;

}  // namespace pelmora::runtime::trig
