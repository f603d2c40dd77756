#include "runtime/numeric.h"

#include <cmath>
#include <limits>

namespace pelmora::runtime {

namespace {

Outcome<std::int16_t> Int16InRange(std::int32_t x) {
  if (x < std::numeric_limits<std::int16_t>::min() ||
      x > std::numeric_limits<std::int16_t>::max()) {
    return Failure<std::int16_t>(RtError::kOverflow);
  }
  return Success(static_cast<std::int16_t>(x));
}

}  // namespace

double Floor(double x) { return std::floor(x); }

Outcome<std::int16_t> FloorToInt16(double x) {
  const double f = std::floor(x);
  // Written so that NaN fails both comparisons.
  if (!(f >= -32768.0 && f <= 32767.0)) {
    return Failure<std::int16_t>(RtError::kOverflow);
  }
  return Success(static_cast<std::int16_t>(f));
}

Outcome<std::int32_t> RoundToInt32(double x) {
  // rint rounds in the current mode, which is to nearest, ties to even.
  const double r = std::rint(x);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) {
    return Failure<std::int32_t>(RtError::kOverflow);
  }
  return Success(static_cast<std::int32_t>(r));
}

Outcome<std::int16_t> AddInt16(std::int16_t a, std::int16_t b) {
  return Int16InRange(std::int32_t{a} + std::int32_t{b});
}

Outcome<std::int16_t> SubInt16(std::int16_t a, std::int16_t b) {
  return Int16InRange(std::int32_t{a} - std::int32_t{b});
}

Outcome<std::int16_t> MulInt16(std::int16_t a, std::int16_t b) {
  return Int16InRange(std::int32_t{a} * std::int32_t{b});
}

Outcome<double> Sqrt(double x) {
  if (x < 0.0) return Failure<double>(RtError::kInvalidArgument);
  return Success(std::sqrt(x));
}

}  // namespace pelmora::runtime
