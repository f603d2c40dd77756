// What the calculations share: the float32 constant pi32, the plain widening
// of an operand to double, and the one way a calculation ends with a runtime
// error. Internal to calc/.
//
// Ending with an error. Every step that can fail yields its runtime error:
// the floating-point test, FpTestFails(fp), after the arithmetic of a step,
// or the error of a checked runtime operation, whose Outcome is false when it
// failed. The first error ends the calculation at once: it returns
// runtime::Failure with that error and what the method's out-parameter then
// receives, written at the check itself:
//
//   if (FpTestFails(fp)) return Failure(kFpError, result);
//   if (!index) return Failure(index.error, result);
//
// `result` is the calculation's result variable as it then stands; a text
// method, whose result is set only at its end, gives the null text,
// Failure<Text>(e). A helper that makes several steps returns the first error
// it meets (an RtError, or an Outcome with its value), and its caller checks
// it in the same way. Nothing throws, and no error is kept to be reported
// later. (A statement in resume-next mode is different: it returns its error
// to runtime::ResumeNext, and the calculation goes on.)
//
// Screening. The distance, its arc cosine, the bearing and decoding are each
// written once over their status type and run first under runtime::FpScreen,
// which only marks that something unusual happened; when the mark is set they
// run again from the start under FpStatus, which decides exactly. A run under
// the screen has no effect outside itself until it ends unmarked (the bearing
// works on a copy of the object's fields; the distance calls its arc-cosine
// callee only after the part before it passed).
//
// Plain domains. Each calculation first checks whether its inputs lie in a
// simple domain where it is proven, beside the check, that no step can
// raise a condition, leave a 16-bit range or meet an invalid argument; there
// the same template runs under runtime::NoStatus, whose tests always pass,
// and gives by construction what FpStatus would. Decoding instead looks its
// plain domain up in tables made by the same operations and regroups the
// exact sums, which its tests compare with the full status over that whole
// domain. Other inputs run as above.
#pragma once

#include <cstdint>

#include "runtime/errors.h"
#include "runtime/fp_status.h"

namespace pelmora::calc {

// The names every calculation uses for its status and its outcome.
using runtime::Failure;
using runtime::FpStatus;
using runtime::Outcome;
using runtime::RtError;

// The floating-point test after the arithmetic of a step: true when the
// step raised a condition (the status is then cleared, as raising the error
// does), and the calculation ends with kFpError. Under runtime::NoStatus it
// is always false, and no code remains of it.
template <class Status>
[[gnu::always_inline]] inline bool FpTestFails(Status& fp) {
  return fp.Test() != RtError::kNone;
}
inline constexpr RtError kFpError = RtError::kFloatingPoint;

// pi rounded to float32, 3.14159274101257324 (0x40490FDB), slightly above pi.
inline constexpr float kPi32 = 0x1.921fb6p+1f;

// Exact widening to double, recording nothing. Use it for values that cannot
// be a signalling NaN: 16-bit indices, constants, and float32 values the
// calculation stored itself (a store never makes a signalling NaN, since no
// double here carries one). A float32 that comes from the caller enters the
// arithmetic through FpStatus::Widen instead, which records the invalid
// operation of a signalling NaN; AsDouble is enough for a caller's float32 only
// in an ordered or signalling comparison, which records invalid for every
// NaN anyway.
inline double AsDouble(float x) { return static_cast<double>(x); }
inline double AsDouble(std::int16_t x) { return static_cast<double>(x); }

}  // namespace pelmora::calc
