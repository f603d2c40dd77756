#include "runtime/fp_status.h"

#include <cstdint>
#include <cstring>

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

}  // namespace pelmora::runtime
