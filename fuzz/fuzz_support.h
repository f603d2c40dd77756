// Shared by the fuzz targets: reading inputs from the fuzzer's bytes, and the
// check that stops the run with a message when a promise of a header fails.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/text.h"

namespace pelmora::fuzz {

// The fuzzer's bytes, read front to back; past the end, zeros.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }

  std::uint16_t Unit() {
    const std::uint16_t low = Byte();
    return static_cast<std::uint16_t>(low | (Byte() << 8));
  }

  // Any float32 bit pattern: NaNs with every payload, infinities, denormals.
  float Float() {
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits |= static_cast<std::uint32_t>(Byte()) << (8 * i);
    return std::bit_cast<float>(bits);
  }

  std::size_t Left() const { return size_ - position_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

inline std::uint32_t Bits(float x) { return std::bit_cast<std::uint32_t>(x); }

// Stops the run (libFuzzer keeps the input) when `promise` is false.
#define PELMORA_FUZZ_CHECK(promise, ...)                                           \
  do {                                                                             \
    if (!(promise)) {                                                              \
      std::fprintf(stderr, "%s:%d: broken: %s\n  ", __FILE__, __LINE__, #promise); \
      std::fprintf(stderr, __VA_ARGS__);                                           \
      std::fprintf(stderr, "\n");                                                  \
      std::abort();                                                                \
    }                                                                              \
  } while (false)

}  // namespace pelmora::fuzz
