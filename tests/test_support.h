// Helpers shared by the unit tests: bit patterns, texts and pseudo-random
// numbers.
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

// Deterministic pseudo-random numbers (SplitMix64), the same on every build.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}

  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }
  // A fraction in [0, 1) from 24 random bits, exact in float32.
  float Fraction() { return static_cast<float>(Next() >> 40) * 0x1p-24f; }
  // A float32 in [lo, hi), in float32 arithmetic.
  float Uniform(float lo, float hi) { return lo + (hi - lo) * Fraction(); }
  // Any float32 bit pattern: NaNs, infinities and denormals included.
  float AnyBits() { return FloatFromBits(static_cast<std::uint32_t>(Next() >> 32)); }

 private:
  std::uint64_t state_;
};

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
