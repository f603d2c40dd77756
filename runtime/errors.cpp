#include "runtime/errors.h"

namespace pelmora::runtime {

const char* Describe(RtError error) {
  switch (error) {
    case RtError::kNone:
      return "Success";
    case RtError::kOverflow:
      return "Overflow";
    case RtError::kFloatingPoint:
      return "Floating-point error";
    case RtError::kInvalidArgument:
      return "Invalid procedure call or argument";
  }
  return "Unknown error";
}

}  // namespace pelmora::runtime
