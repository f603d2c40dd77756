// The runtime errors of Pelmora's calculations, and the outcome every
// calculation and checked runtime operation returns.
//
// A calculation never throws. It returns its value together with the runtime
// error that ended it, if any. On an error the value is what the method's
// out-parameter then receives (the result variable as it stood, or the null
// text), so the component can hand it to the caller unchanged.
#pragma once

#include <cstdint>

namespace pelmora::runtime {

// Four bytes wide, so that the outcome of a float32 has no padding: a call
// returning one builds it from the value and the error alone, with no
// padding bytes for the compiler to carry through with masks.
enum class RtError : std::uint32_t {
  kNone = 0,
  kOverflow,         // a checked 16-bit operation or conversion left its range
  kFloatingPoint,    // invalid operation, division by zero or overflow signalled
  kInvalidArgument,  // an argument outside what an operation accepts
};

// The one table of the runtime errors: for each, the error number a script
// client shows and the description of its error object. The component
// reports error number n with the failure status 0x800A0000 | n, the
// Automation error code of FACILITY_CONTROL that script clients turn back into
// n.
//
// Overflow and invalid argument keep the numbers Automation clients already
// know for them. The floating-point error (an invalid operation, a division
// by zero or an overflow in floating-point arithmetic) has no number of its
// own there; 513 is the first number outside the range those clients reserve
// for their own errors, so no client shows a built-in text that names only
// one of the three conditions.
struct ErrorEntry {
  RtError error;
  std::uint16_t number;
  const char* description;
};

inline constexpr ErrorEntry kErrorTable[] = {
    {RtError::kOverflow, 6, "Overflow"},
    {RtError::kInvalidArgument, 5, "Invalid procedure call or argument"},
    {RtError::kFloatingPoint, 513, "Floating-point error"},
};

// The table's entry of `error`; null for kNone.
const ErrorEntry* EntryOf(RtError error);

// The description of an error as a script client shows it; "Success" for
// kNone.
const char* Describe(RtError error);

template <class T>
struct [[nodiscard]] Outcome {
  T value{};
  RtError error = RtError::kNone;

  bool ok() const { return error == RtError::kNone; }
  explicit operator bool() const { return ok(); }
};

template <class T>
Outcome<T> Success(T value) {
  return Outcome<T>{static_cast<T&&>(value), RtError::kNone};
}

template <class T>
Outcome<T> Failure(RtError error, T value = T{}) {
  return Outcome<T>{static_cast<T&&>(value), error};
}

}  // namespace pelmora::runtime
