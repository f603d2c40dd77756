// Numeric runtime operations: range-checked conversions, checked 16-bit
// integer arithmetic, floor and square root.
//
// Every range check treats NaN as outside every range: a conversion of a NaN
// to an integer raises the overflow error, like one of an infinity.
#pragma once

#include <cstdint>

#include "runtime/errors.h"

namespace pelmora::runtime {

// Largest integer not above x, as a double. NaN and infinities pass through.
double Floor(double x);

// Largest integer not above x, as a signed 16-bit integer; outside
// -32768..32767 (infinities and NaN included): the overflow error.
Outcome<std::int16_t> FloorToInt16(double x);

// Nearest integer, ties to even, as a signed 32-bit integer; out of range
// (infinities and NaN included): the overflow error.
Outcome<std::int32_t> RoundToInt32(double x);

// Signed 16-bit arithmetic; a result outside -32768..32767: the overflow error.
Outcome<std::int16_t> AddInt16(std::int16_t a, std::int16_t b);
Outcome<std::int16_t> SubInt16(std::int16_t a, std::int16_t b);
Outcome<std::int16_t> MulInt16(std::int16_t a, std::int16_t b);

// Square root of a double. A negative argument (-0 is not negative) raises the
// invalid-argument error instead of giving a NaN; a NaN gives a NaN.
Outcome<double> Sqrt(double x);

}  // namespace pelmora::runtime
