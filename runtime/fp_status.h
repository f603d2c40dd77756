// Floating-point status of one computation, and the arithmetic that feeds it.
//
// The calculations test for invalid operation, division by zero and overflow
// at fixed points of their algorithms. Reading the hardware flags is not
// reliable from C++ (the compiler may move or fold an operation across the
// read), so each operation here derives its condition from its operands and
// its result, the way IEEE 754 defines it:
//   - invalid: a signalling NaN operand, a NaN result from non-NaN operands
//     (inf - inf, 0 * inf, 0 / 0, inf / inf, sin of an infinity), or an
//     ordered or signalling comparison with a NaN operand;
//   - division by zero: a finite non-zero dividend over a zero divisor;
//   - overflow: an infinite result from finite operands, including a finite
//     double that rounds to infinity when it is stored as a float32.
// Underflow and inexact results are never recorded.
//
// Conditions are sticky: a test sees every condition raised since the status
// was created or last tested. A test that finds one reports the floating-point
// error and clears the status, as raising the error does.
//
// Doubles never carry a signalling NaN here: a float32 operand enters through
// Widen, which records invalid for a signalling NaN and passes on the quiet
// NaN, as the conversion instruction does.
//
// The operations are inline: a calculation makes dozens of them per call. An
// operation with an ordinary finite result pays one comparison for its
// status; the kind of condition is worked out only for an infinity or a NaN.
#pragma once

#include <cmath>
#include <limits>

#include "runtime/errors.h"
#include "runtime/trig.h"

namespace pelmora::runtime {

bool IsSignallingNan(float x);
bool IsSignallingNan(double x);

class FpStatus {
 public:
  // A float32 operand widened exactly to double.
  double Widen(float x) {
    if (x != x) [[unlikely]] {
      return WidenNan(x, conditions_);
    }
    return static_cast<double>(x);
  }

  double Add(double a, double b) { return Checked(a + b, a, b); }
  double Sub(double a, double b) { return Checked(a - b, a, b); }
  double Mul(double a, double b) { return Checked(a * b, a, b); }
  double Div(double a, double b) {
    const double q = a / b;
    // A division by zero gives an infinity or a NaN: only then is the kind
    // of condition worked out.
    if (!Finite(q)) [[unlikely]] {
      conditions_ |= UnusualQuotient(q, a, b);
    }
    return q;
  }

  // The float32 rounding point: to nearest, ties to even. A finite value
  // beyond the float32 range becomes an infinity and records overflow.
  float Store(double x) {
    const float stored = static_cast<float>(x);
    if (!(std::fabs(stored) <= std::numeric_limits<float>::max())) [[unlikely]] {
      conditions_ |= UnusualStore(stored, x);
    }
    return stored;
  }

  // Sine, cosine and arc tangent of a double in radians, correctly rounded
  // (runtime/trig.h), so the same on every host. An infinite
  // argument to sine or cosine records invalid.
  double Sin(double x) { return Checked(runtime::Sin(x), x, 0.0); }
  double Cos(double x) { return Checked(runtime::Cos(x), x, 0.0); }
  double Atan(double x) { return Checked(runtime::Atan(x), x, 0.0); }
  // Sine and cosine of one argument from one reduction: the values of Sin
  // and Cos, recording what the two calls would.
  SineCosine SinCos(double x) {
    const SineCosine both = runtime::SinCos(x);
    Checked(both.sin, x, 0.0);
    Checked(both.cos, x, 0.0);
    return both;
  }

  // Ordered comparisons: a NaN operand records invalid, and the answer is
  // then false.
  bool Less(double a, double b) { return Ordered(a, b) && a < b; }
  bool Greater(double a, double b) { return Ordered(a, b) && a > b; }
  // Equality that signals like an ordered comparison (+0 equals -0).
  bool SignallingEqual(double a, double b) { return Ordered(a, b) && a == b; }

  bool Pending() const { return conditions_ != 0; }
  bool Invalid() const { return (conditions_ & kInvalid) != 0; }
  bool DivideByZero() const { return (conditions_ & kDivideByZero) != 0; }
  bool Overflow() const { return (conditions_ & kOverflow) != 0; }

  // The floating-point test: kFloatingPoint when a condition is pending (the
  // status is then cleared), else kNone.
  RtError Test() {
    if (conditions_ == 0) [[likely]] {
      return RtError::kNone;
    }
    conditions_ = 0;
    return RtError::kFloatingPoint;
  }

 private:
  static constexpr unsigned char kInvalid = 1;
  static constexpr unsigned char kDivideByZero = 2;
  static constexpr unsigned char kOverflow = 4;

  // Neither infinite nor NaN, in one comparison.
  static bool Finite(double x) { return std::fabs(x) <= std::numeric_limits<double>::max(); }

  // An operation's condition is derived from its result: an ordinary finite
  // result, by far the most common, costs one comparison; what it was is
  // worked out only for an infinity or a NaN.
  double Checked(double result, double a, double b) {
    if (!Finite(result)) [[unlikely]] {
      conditions_ |= Unusual(result, a, b);
    }
    return result;
  }

  // The slow paths, out of line: the conditions an infinite or NaN result,
  // or a NaN operand, raises. They return the conditions rather than set
  // them, so that the status never leaves the calculation's registers.
  [[gnu::cold]] static unsigned char Unusual(double result, double a, double b);
  [[gnu::cold]] static double WidenNan(float x, unsigned char& conditions);
  [[gnu::cold]] static unsigned char UnusualQuotient(double q, double a, double b);
  [[gnu::cold]] static unsigned char UnusualStore(float stored, double x);

  bool Ordered(double a, double b) {
    if (std::isunordered(a, b)) [[unlikely]] {
      conditions_ |= kInvalid;
      return false;
    }
    return true;
  }

  unsigned char conditions_ = 0;
};

}  // namespace pelmora::runtime
