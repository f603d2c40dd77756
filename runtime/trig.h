// Sine, cosine and arc tangent of a double, correctly rounded: each result is
// the exact mathematical value rounded to the nearest double, ties to even,
// over the whole double range. They use only integer arithmetic and the four
// IEEE double operations, so every build (native, 32-bit and 64-bit Windows)
// gives the same bits on every processor.
//
// Special values: a NaN gives a quiet NaN (a signalling one is quietened); an
// infinite argument to sine or cosine gives a NaN (an invalid operation for
// the caller to record); atan(+-inf) is +-pi/2 rounded; signed zeros keep
// their sign in sine and arc tangent, and cos(+-0) is 1.
#pragma once

namespace pelmora::runtime {

double Sin(double x);
double Cos(double x);
double Atan(double x);

// Sin(x) and Cos(x) from one reduction of x, bit for bit the same doubles.
struct SineCosine {
  double sin;
  double cos;
};
SineCosine SinCos(double x);

}  // namespace pelmora::runtime
