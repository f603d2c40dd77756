// The status of a run whose caller has proven, from its inputs, that no
// operation of the run can raise a condition: the operations of FpStatus
// alone, with the same results, and every test passes. It is for the domain
// fast paths, each of which writes beside its check why no step can signal
// inside the domain; any other input runs under FpStatus.
#pragma once

#include "runtime/errors.h"
#include "runtime/trig.h"

namespace pelmora::runtime {

class NoStatus {
 public:
  double Widen(float x) { return static_cast<double>(x); }

  double Add(double a, double b) { return a + b; }
  double Sub(double a, double b) { return a - b; }
  double Mul(double a, double b) { return a * b; }
  double Div(double a, double b) { return a / b; }

  float Store(double x) { return static_cast<float>(x); }

  double Sin(double x) { return runtime::Sin(x); }
  double Cos(double x) { return runtime::Cos(x); }
  double Atan(double x) { return runtime::Atan(x); }
  SineCosine SinCos(double x) { return runtime::SinCos(x); }

  bool Less(double a, double b) { return a < b; }
  bool Greater(double a, double b) { return a > b; }
  bool SignallingEqual(double a, double b) { return a == b; }

  static constexpr bool Pending() { return false; }
  static constexpr RtError Test() { return RtError::kNone; }
};

}  // namespace pelmora::runtime
