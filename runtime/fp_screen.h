// A screening floating-point status: the first, cheap run of a calculation.
//
// FpScreen offers the operations of FpStatus with the same results, but
// keeps a single sticky mark instead of conditions: anything unusual sets
// it, a non-finite result of any operation (an infinity or a NaN, whether or
// not FpStatus would record a condition for it), a NaN float32 operand, a
// NaN operand of a comparison, a float32 store that is not finite (an
// infinite operand counts as well). The mark is set without a branch, and
// nothing ever clears it.
//
// Every condition FpStatus records comes with one of these, so a run under
// FpScreen that ends unmarked met no condition, and FpStatus would have
// passed every one of its tests: it made the same steps to the same values.
// A run that ends marked proves nothing; its caller discards what it did and
// runs the calculation again under FpStatus, which decides exactly. A test
// of a marked screen fails, so that a marked run stops at its next test.
#pragma once

#include "runtime/errors.h"
#include "runtime/fp_status.h"

namespace pelmora::runtime {

class FpScreen {
 public:
  double Widen(float x) { return Finite(static_cast<double>(x)); }

  double Add(double a, double b) { return Finite(a + b); }
  double Sub(double a, double b) { return Finite(a - b); }
  double Mul(double a, double b) { return Finite(a * b); }
  double Div(double a, double b) { return Finite(a / b); }

  float Store(double x) {
    const float stored = static_cast<float>(x);
    Finite(static_cast<double>(stored));
    return stored;
  }

  double Sin(double x) { return Finite(runtime::Sin(x)); }
  double Cos(double x) { return Finite(runtime::Cos(x)); }
  double Atan(double x) { return Finite(runtime::Atan(x)); }
  SineCosine SinCos(double x) {
    const SineCosine both = runtime::SinCos(x);
    Finite(both.sin);
    Finite(both.cos);
    return both;
  }

  bool Less(double a, double b) { return Mark(a, b) < b; }
  bool Greater(double a, double b) { return Mark(a, b) > b; }
  bool SignallingEqual(double a, double b) { return Mark(a, b) == b; }

  // Whether the run must be made again under FpStatus.
  bool Pending() const { return trace_ != trace_; }

  // kFloatingPoint once marked, else kNone; the mark stays.
  RtError Test() const { return Pending() ? RtError::kFloatingPoint : RtError::kNone; }

 private:
  // x - x is 0 for a finite x and NaN for an infinity or a NaN, and a NaN
  // stays in the sum: the mark costs two additions and no branch, and is
  // looked at only by the tests.
  double Finite(double x) {
    trace_ += x - x;
    return x;
  }

  // Marks a NaN (or an infinite) operand of a comparison; gives back a.
  double Mark(double a, double b) {
    trace_ += (a - a) + (b - b);
    return a;
  }

  double trace_ = 0.0;
};

}  // namespace pelmora::runtime
