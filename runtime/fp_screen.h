// A screening floating-point status: the first, cheap run of a calculation.
//
// FpScreen offers the operations of FpStatus with the same results, but
// keeps a single sticky mark instead of conditions: anything unusual sets
// it, a non-finite result of any operation (an infinity or a NaN, whether or
// not FpStatus would record a condition for it), a NaN float32 operand, a
// NaN operand of a comparison, a float32 store that is not finite. The mark
// is set without a branch, and nothing ever clears it.
//
// Every condition FpStatus records comes with one of these, so a run under
// FpScreen that ends unmarked met no condition, and FpStatus would have
// passed every one of its tests: it made the same steps to the same values.
// A run that ends marked proves nothing; its caller discards what it did and
// runs the calculation again under FpStatus, which decides exactly. A test
// of a marked screen fails, so that a marked run stops at its next test.
#pragma once

#include <cmath>
#include <limits>

#include "runtime/errors.h"
#include "runtime/fp_status.h"

namespace pelmora::runtime {

class FpScreen {
 public:
  double Widen(float x) {
    marked_ |= x != x;
    return static_cast<double>(x);
  }

  double Add(double a, double b) { return Finite(a + b); }
  double Sub(double a, double b) { return Finite(a - b); }
  double Mul(double a, double b) { return Finite(a * b); }
  double Div(double a, double b) { return Finite(a / b); }

  float Store(double x) {
    const float stored = static_cast<float>(x);
    marked_ |= !(std::fabs(stored) <= std::numeric_limits<float>::max());
    return stored;
  }

  double Sin(double x) { return Finite(SinOf(x)); }
  double Cos(double x) { return Finite(CosOf(x)); }
  double Atan(double x) { return Finite(AtanOf(x)); }

  bool Less(double a, double b) { return Ordered(a, b) && a < b; }
  bool Greater(double a, double b) { return Ordered(a, b) && a > b; }
  bool SignallingEqual(double a, double b) { return Ordered(a, b) && a == b; }

  // Whether the run must be made again under FpStatus.
  bool Pending() const { return marked_; }

  // kFloatingPoint once marked, else kNone; the mark stays.
  RtError Test() const { return marked_ ? RtError::kFloatingPoint : RtError::kNone; }

 private:
  double Finite(double result) {
    marked_ |= !(std::fabs(result) <= std::numeric_limits<double>::max());
    return result;
  }

  bool Ordered(double a, double b) {
    const bool unordered = std::isunordered(a, b);
    marked_ |= unordered;
    return !unordered;
  }

  bool marked_ = false;
};

}  // namespace pelmora::runtime
