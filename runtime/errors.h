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

enum class RtError : std::uint8_t {
  kNone = 0,
  kOverflow,         // a checked 16-bit operation or conversion left its range
  kFloatingPoint,    // invalid operation, division by zero or overflow signalled
  kInvalidArgument,  // an argument outside what an operation accepts
};

// Plain name of an error, as a script client would show it.
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
