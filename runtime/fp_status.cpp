#include "runtime/fp_status.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace pelmora::runtime {

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

unsigned char FpStatus::Unusual(double result, double a, double b) {
  if (std::isnan(result)) {
    // A NaN result is invalid unless a quiet NaN operand carried it.
    const bool quiet_nan_in =
        (std::isnan(a) && !IsSignallingNan(a)) || (std::isnan(b) && !IsSignallingNan(b));
    if (!quiet_nan_in || IsSignallingNan(a) || IsSignallingNan(b)) return kInvalid;
  } else if (std::isfinite(a) && std::isfinite(b)) {
    return kOverflow;
  }
  return 0;
}

unsigned char FpStatus::UnusualQuotient(double q, double a, double b) {
  if (b == 0.0 && a != 0.0 && std::isfinite(a)) return kDivideByZero;
  return Unusual(q, a, b);
}

unsigned char FpStatus::UnusualStore(float stored, double x) {
  return (std::isinf(stored) && std::isfinite(x)) ? kOverflow : 0;
}

double FpStatus::WidenNan(float x, unsigned char& conditions) {
  if (IsSignallingNan(x)) {
    conditions |= kInvalid;
    return std::copysign(std::numeric_limits<double>::quiet_NaN(), std::signbit(x) ? -1.0 : 1.0);
  }
  return static_cast<double>(x);
}

}  // namespace pelmora::runtime
