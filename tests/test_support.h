// Helpers shared by the unit tests: bit patterns and texts.
#pragma once

#include <bit>
#include <cstdint>
#include <ostream>
#include <string>

#include "runtime/text.h"

namespace pelmora::test {

inline std::uint32_t Bits(float x) { return std::bit_cast<std::uint32_t>(x); }
inline std::uint64_t Bits(double x) { return std::bit_cast<std::uint64_t>(x); }
inline float FloatFromBits(std::uint32_t bits) { return std::bit_cast<float>(bits); }

// A signalling NaN (quiet bit clear, payload 1) and a quiet NaN.
inline float SignallingNan() { return FloatFromBits(0x7F800001u); }
inline float QuietNan() { return FloatFromBits(0x7FC00000u); }

inline runtime::Text T(std::u16string_view units) { return runtime::Text(units); }

// A text as printable ASCII for failure messages; other units as \uXXXX.
inline std::string Show(const runtime::Text& text) {
  if (text.IsNull()) return "<null>";
  std::string out = "\"";
  for (const char16_t c : text.Units()) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      static const char kHex[] = "0123456789ABCDEF";
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xF];
    }
  }
  return out + "\"";
}

}  // namespace pelmora::test

namespace pelmora::runtime {
// Lets GoogleTest print texts in failure messages.
inline void PrintTo(const Text& text, std::ostream* os) { *os << test::Show(text); }
}  // namespace pelmora::runtime
