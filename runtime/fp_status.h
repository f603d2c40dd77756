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
// The operations are inline: a calculation makes dozens of them per call.
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
    if (std::isnan(x) && IsSignallingNan(x)) {
      invalid_ = true;
      return std::copysign(std::numeric_limits<double>::quiet_NaN(), std::signbit(x) ? -1.0 : 1.0);
    }
    return static_cast<double>(x);
  }

  double Add(double a, double b) { return Checked(a + b, a, b); }
  double Sub(double a, double b) { return Checked(a - b, a, b); }
  double Mul(double a, double b) { return Checked(a * b, a, b); }
  double Div(double a, double b) {
    if (b == 0.0 && a != 0.0 && std::isfinite(a)) {
      divide_by_zero_ = true;
      return a / b;
    }
    return Checked(a / b, a, b);
  }

  // The float32 rounding point: to nearest, ties to even. A finite value
  // beyond the float32 range becomes an infinity and records overflow.
  float Store(double x) {
    const float stored = static_cast<float>(x);
    if (std::isinf(stored) && std::isfinite(x)) overflow_ = true;
    return stored;
  }

  // Sine, cosine and arc tangent of a double in radians, correctly rounded
  // (runtime/trig.h), so the same on every host. An infinite
  // argument to sine or cosine records invalid.
  double Sin(double x) { return Checked(runtime::Sin(x), x, 0.0); }
  double Cos(double x) { return Checked(runtime::Cos(x), x, 0.0); }
  double Atan(double x) { return Checked(runtime::Atan(x), x, 0.0); }

  // Ordered comparisons: a NaN operand records invalid, and the answer is
  // then false.
  bool Less(double a, double b) { return Ordered(a, b) && a < b; }
  bool Greater(double a, double b) { return Ordered(a, b) && a > b; }
  // Equality that signals like an ordered comparison (+0 equals -0).
  bool SignallingEqual(double a, double b) { return Ordered(a, b) && a == b; }

  bool Pending() const { return invalid_ || divide_by_zero_ || overflow_; }
  bool Invalid() const { return invalid_; }
  bool DivideByZero() const { return divide_by_zero_; }
  bool Overflow() const { return overflow_; }

  // The floating-point test: kFloatingPoint when a condition is pending (the
  // status is then cleared), else kNone.
  RtError Test() {
    if (!Pending()) return RtError::kNone;
    invalid_ = divide_by_zero_ = overflow_ = false;
    return RtError::kFloatingPoint;
  }

 private:
  double Checked(double result, double a, double b) {
    if (std::isnan(result)) {
      // A NaN result is invalid unless a quiet NaN operand carried it.
      const bool quiet_nan_in =
          (std::isnan(a) && !IsSignallingNan(a)) || (std::isnan(b) && !IsSignallingNan(b));
      if (!quiet_nan_in || IsSignallingNan(a) || IsSignallingNan(b)) invalid_ = true;
    } else if (std::isinf(result) && std::isfinite(a) && std::isfinite(b)) {
      overflow_ = true;
    }
    return result;
  }

  bool Ordered(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) {
      invalid_ = true;
      return false;
    }
    return true;
  }

  bool invalid_ = false;
  bool divide_by_zero_ = false;
  bool overflow_ = false;
};

}  // namespace pelmora::runtime
