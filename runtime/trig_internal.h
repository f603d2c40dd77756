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
// pi/2 in fixed point: the integer word, then 288 bits of fraction.
extern const std::uint32_t kHalfPi[10];
// sin(i/256) and cos(i/256), i = 0..202, each as a double and the rounded
// remainder (about 106 bits).
extern const DoublePair kSinCos[203][2];
// atan(i/256), i = 0..256, in the same form.
extern const DoublePair kAtan[257];

// Reduction of a positive finite double ax >= pi/4 by pi/2: with k the
// integer nearest to ax * 2/pi, returns k mod 4 and writes the magnitude of
// F = ax * 2/pi - k (at most 1/2) as `words` 32-bit words of binary
// fraction, most significant first, and its sign. The words are exact up to
// an error below 2^(1 - 32 * words). words <= 10.
int ReduceByHalfPi(double ax, int words, std::uint32_t* fraction, bool* negative);

// The slow path: sine or cosine, and arc tangent, from 288-bit fixed-point
// arithmetic, for finite x with |x| >= 2^-27.
double AccurateSinCos(double x, bool cosine);
double AccurateAtan(double x);

}  // namespace pelmora::runtime::trig
