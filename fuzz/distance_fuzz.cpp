// Great-circle distance and arc cosine on any float32 inputs
// (calc/distance.h):
//   DistanceFrom  exchanging the points gives the same bits and status; a NaN
//                 input fails with +0.0; otherwise equal pairs give +0.0 with
//                 success, finite inputs succeed within [0.50006366,
//                 20002.0996], and the rest (infinities) fail with +0.0;
//   ArcCos        always succeeds: 0 to pi32 for -1 < X < 1, 9.99999994e-09
//                 at 1, at most 1e-8 above 1, pi32 at -1 and below, NaN for
//                 a quiet NaN and +0.0 for a signalling one;
//   Distanse      +0.0 with success.
#include <cmath>

#include "calc/distance.h"
#include "fuzz/fuzz_support.h"

namespace {

using pelmora::fuzz::Bits;
using pelmora::runtime::RtError;

constexpr std::uint32_t kPi32 = 0x40490FDB;

bool IsSignallingNan(float x) { return std::isnan(x) && (Bits(x) & 0x00400000u) == 0; }

void CheckDistance(const float in[4]) {
  const auto d = pelmora::calc::DistanceFrom(in[0], in[1], in[2], in[3]);
  const auto back = pelmora::calc::DistanceFrom(in[2], in[3], in[0], in[1]);
  const float x = d.value;
  PELMORA_FUZZ_CHECK(Bits(x) == Bits(back.value) && d.error == back.error,
                     "(%08X %08X %08X %08X): %08X, exchanged %08X", Bits(in[0]), Bits(in[1]),
                     Bits(in[2]), Bits(in[3]), Bits(x), Bits(back.value));
  bool any_nan = false, all_finite = true;
  for (int i = 0; i < 4; ++i) {
    any_nan = any_nan || std::isnan(in[i]);
    all_finite = all_finite && std::isfinite(in[i]);
  }
  const bool same = in[0] == in[2] && in[1] == in[3];
  const bool succeeds = !any_nan && (same || all_finite);
  PELMORA_FUZZ_CHECK(succeeds ? d.ok() : d.error == RtError::kFloatingPoint,
                     "(%08X %08X %08X %08X): error %d", Bits(in[0]), Bits(in[1]), Bits(in[2]),
                     Bits(in[3]), static_cast<int>(d.error));
  if (!succeeds || same) {
    PELMORA_FUZZ_CHECK(Bits(x) == 0, "(%08X %08X %08X %08X): %08X, not +0.0", Bits(in[0]),
                       Bits(in[1]), Bits(in[2]), Bits(in[3]), Bits(x));
    return;
  }
  PELMORA_FUZZ_CHECK(x >= 0.50006366f && x <= 20002.0996f, "(%08X %08X %08X %08X): %.9g",
                     Bits(in[0]), Bits(in[1]), Bits(in[2]), Bits(in[3]), static_cast<double>(x));
}

void CheckArcCos(float X) {
  const auto a = pelmora::calc::ArcCos(X);
  const float x = a.value;
  PELMORA_FUZZ_CHECK(a.ok(), "ArcCos(%08X): error %d", Bits(X), static_cast<int>(a.error));
  bool in_range;
  if (std::isnan(X)) {
    in_range = IsSignallingNan(X) ? Bits(x) == 0 : std::isnan(x);
  } else if (X <= -1.0f) {
    in_range = Bits(x) == kPi32;
  } else if (X == 1.0f) {
    in_range = x == 9.99999994e-09f;
  } else if (X > 1.0f) {
    in_range = x >= 0.0f && x <= 1e-8f;
  } else {
    in_range = x > 0.0f && Bits(x) <= kPi32;
  }
  PELMORA_FUZZ_CHECK(in_range, "ArcCos(%08X) = %08X", Bits(X), Bits(x));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pelmora::fuzz::Input input(data, size);
  const float in[4] = {input.Float(), input.Float(), input.Float(), input.Float()};
  CheckDistance(in);
  for (const float X : in) CheckArcCos(X);
  const auto zero = pelmora::calc::Distanse(in[0], in[1]);
  PELMORA_FUZZ_CHECK(zero.ok() && Bits(zero.value) == 0, "Distanse: %08X", Bits(zero.value));
  return 0;
}
