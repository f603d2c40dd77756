#include "runtime/fp_status.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace pelmora::runtime {

namespace {

bool Finite(double x) { return std::isfinite(x); }

}  // namespace

bool IsSignallingNan(float x) {
  std::uint32_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  return (bits & 0x7F800000u) == 0x7F800000u && (bits & 0x007FFFFFu) != 0 &&
         (bits & 0x00400000u) == 0;
}

bool IsSignallingNan(double x) {
  std::uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  return (bits & 0x7FF0000000000000u) == 0x7FF0000000000000u && (bits & 0x000FFFFFFFFFFFFFu) != 0 &&
         (bits & 0x0008000000000000u) == 0;
}

double FpStatus::Widen(float x) {
  if (IsSignallingNan(x)) {
    invalid_ = true;
    return std::copysign(std::numeric_limits<double>::quiet_NaN(),
                         static_cast<double>(std::signbit(x) ? -1.0f : 1.0f));
  }
  return static_cast<double>(x);
}

double FpStatus::Checked(double result, double a, double b) {
  const bool nan_operand = std::isnan(a) || std::isnan(b);
  if (nan_operand) {
    if (IsSignallingNan(a) || IsSignallingNan(b)) invalid_ = true;
    return result;
  }
  if (std::isnan(result)) {
    invalid_ = true;
  } else if (std::isinf(result) && Finite(a) && Finite(b)) {
    overflow_ = true;
  }
  return result;
}

double FpStatus::Add(double a, double b) { return Checked(a + b, a, b); }

double FpStatus::Sub(double a, double b) { return Checked(a - b, a, b); }

double FpStatus::Mul(double a, double b) { return Checked(a * b, a, b); }

double FpStatus::Div(double a, double b) {
  if (b == 0.0 && Finite(a) && a != 0.0) {
    divide_by_zero_ = true;
    return a / b;
  }
  return Checked(a / b, a, b);
}

float FpStatus::Store(double x) {
  if (IsSignallingNan(x)) invalid_ = true;
  const float stored = static_cast<float>(x);
  if (std::isinf(stored) && Finite(x)) overflow_ = true;
  return stored;
}

double FpStatus::Sin(double x) { return Checked(std::sin(x), x, 0.0); }

double FpStatus::Cos(double x) { return Checked(std::cos(x), x, 0.0); }

double FpStatus::Atan(double x) { return Checked(std::atan(x), x, 0.0); }

RtError FpStatus::Test() {
  if (!Pending()) return RtError::kNone;
  invalid_ = divide_by_zero_ = overflow_ = false;
  return RtError::kFloatingPoint;
}

}  // namespace pelmora::runtime
