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
// At c = i/256, i = 0..256: atan c and pi/2 - atan c in the same form, and
// the coefficients of atan(c + d) = atan c + a_1 d + a_2 d^2 + ..., a_1 in the
// same form and a_2..a_8 rounded.
struct AtanEntry {
  DoublePair value;
  DoublePair complement;
  DoublePair a1;
  double a[7];
};
extern const AtanEntry kAtan[257];

// Reduction of a positive finite double ax >= 2^-26 by pi/2: returns the
// integer part of ax * 2/pi modulo 4, and writes its fraction as `words`
// 32-bit words, most significant first, truncated (too small by less than
// 2^(-32 words)). words <= 10.
int ReduceByHalfPi(double ax, int words, std::uint32_t* fraction);

// The slow path: sine or cosine, and arc tangent, from fixed-point
// arithmetic with 224 bits of fraction, for finite x with |x| >= 2^-27.
double AccurateSinOrCos(double x, bool cosine);
double AccurateAtan(double x);

// Whether the processor has fused multiply-add (always false in the 32-bit
// edition), and whether the fast paths use it for their exact products: set
// at start-up to the former; the tests set it to run each path. Either way
// every step computes the same doubles.
bool HasFusedMultiplyAdd();
extern bool use_fused_multiply_add;

}  // namespace pelmora::runtime::trig
