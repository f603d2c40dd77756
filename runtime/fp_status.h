// Floating-point status of one computation, and the arithmetic that feeds it.
//
// The calculations test for invalid operation, division by zero and overflow
// at fixed points of their algorithms. Reading the hardware flags is not
// reliable from C++ (the compiler may move or fold an operation across the
// read), so each operation here derives its condition from its operands and
// its result, the way IEEE 754 defines it:
//   - invalid: a signalling NaN operand, or a NaN result from non-NaN
//     operands (inf - inf, 0 * inf, 0 / 0, inf / inf, sin of an infinity);
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
#pragma once

#include "runtime/errors.h"

namespace pelmora::runtime {

class FpStatus {
 public:
  // A float32 operand widened exactly to double.
  double Widen(float x);

  double Add(double a, double b);
  double Sub(double a, double b);
  double Mul(double a, double b);
  double Div(double a, double b);

  // The float32 rounding point: to nearest, ties to even. A finite value
  // beyond the float32 range becomes an infinity and records overflow.
  float Store(double x);

  // Sine, cosine and arc tangent of a double in radians. An infinite
  // argument to sine or cosine records invalid.
  double Sin(double x);
  double Cos(double x);
  double Atan(double x);

  bool Pending() const { return invalid_ || divide_by_zero_ || overflow_; }
  bool Invalid() const { return invalid_; }
  bool DivideByZero() const { return divide_by_zero_; }
  bool Overflow() const { return overflow_; }

  // The floating-point test: kFloatingPoint when a condition is pending (the
  // status is then cleared), else kNone.
  RtError Test();

 private:
  double Checked(double result, double a, double b);

  bool invalid_ = false;
  bool divide_by_zero_ = false;
  bool overflow_ = false;
};

bool IsSignallingNan(float x);
bool IsSignallingNan(double x);

}  // namespace pelmora::runtime
