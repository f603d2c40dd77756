// Numeric runtime operations: range-checked conversions, checked 16-bit
// integer arithmetic, floor and square root. All are inline: the
// calculations make several of them per call.
//
// Every range check treats NaN as outside every range: a conversion of a NaN
// to an integer raises the overflow error, like one of an infinity.
#pragma once

#include <cmath>
#include <cstdint>

#include "runtime/errors.h"

namespace pelmora::runtime {

namespace detail {
inline Outcome<std::int16_t> Int16InRange(std::int32_t x) {
  if (x < -32768 || x > 32767) return Failure<std::int16_t>(RtError::kOverflow);
  return Success(static_cast<std::int16_t>(x));
}
}  // namespace detail

// Largest integer not above x, as a double. NaN and infinities pass through.
inline double Floor(double x) { return std::floor(x); }

// Largest integer not above x, as a signed 16-bit integer; outside
// -32768..32767 (infinities and NaN included): the overflow error.
inline Outcome<std::int16_t> FloorToInt16(double x) {
  const double f = std::floor(x);
  // Written so that NaN fails both comparisons.
  if (!(f >= -32768.0 && f <= 32767.0)) return Failure<std::int16_t>(RtError::kOverflow);
  return Success(static_cast<std::int16_t>(f));
}

// Nearest integer, ties to even, as a signed 32-bit integer; out of range
// (infinities and NaN included): the overflow error.
inline Outcome<std::int32_t> RoundToInt32(double x) {
  // rint rounds in the current mode, which is to nearest, ties to even.
  const double r = std::rint(x);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) return Failure<std::int32_t>(RtError::kOverflow);
  return Success(static_cast<std::int32_t>(r));
}

// Signed 16-bit arithmetic; a result outside -32768..32767: the overflow error.
inline Outcome<std::int16_t> AddInt16(std::int16_t a, std::int16_t b) {
  return detail::Int16InRange(std::int32_t{a} + std::int32_t{b});
}
inline Outcome<std::int16_t> SubInt16(std::int16_t a, std::int16_t b) {
  return detail::Int16InRange(std::int32_t{a} - std::int32_t{b});
}
inline Outcome<std::int16_t> MulInt16(std::int16_t a, std::int16_t b) {
  return detail::Int16InRange(std::int32_t{a} * std::int32_t{b});
}

// Square root of a double. A negative argument (-0 is not negative) raises the
// invalid-argument error instead of giving a NaN; a NaN gives a NaN.
inline Outcome<double> Sqrt(double x) {
  if (x < 0.0) return Failure<double>(RtError::kInvalidArgument);
  return Success(std::sqrt(x));
}

}  // namespace pelmora::runtime
