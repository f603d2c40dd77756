// The bearing on any four float32 coordinates (calc/bearing.h): a success is
// a whole number of degrees from 0 to 360; a missing other position (a zero
// or NaN lnLatitude or lnLongitude) is 0 with success; the only failure is
// the floating-point error, with the result 0.
#include <cmath>

#include "calc/bearing.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using pelmora::fuzz::Bits;
  using pelmora::runtime::RtError;
  pelmora::fuzz::Input input(data, size);
  const float in[4] = {input.Float(), input.Float(), input.Float(), input.Float()};
  pelmora::calc::BearingFields fields;
  const auto bearing = pelmora::calc::Azimut(fields, in[0], in[1], in[2], in[3]);
  const float x = bearing.value;
  PELMORA_FUZZ_CHECK(bearing.ok() || bearing.error == RtError::kFloatingPoint,
                     "(%08X %08X %08X %08X): error %d", Bits(in[0]), Bits(in[1]), Bits(in[2]),
                     Bits(in[3]), static_cast<int>(bearing.error));
  if (!bearing.ok()) {
    PELMORA_FUZZ_CHECK(Bits(x) == 0, "(%08X %08X %08X %08X): failure with %08X", Bits(in[0]),
                       Bits(in[1]), Bits(in[2]), Bits(in[3]), Bits(x));
    return 0;
  }
  PELMORA_FUZZ_CHECK(x >= 0.0f && x <= 360.0f && std::floor(x) == x,
                     "(%08X %08X %08X %08X): bearing %08X", Bits(in[0]), Bits(in[1]), Bits(in[2]),
                     Bits(in[3]), Bits(x));
  const bool missing = in[2] == 0.0f || in[3] == 0.0f || std::isnan(in[2]) || std::isnan(in[3]);
  if (missing) {
    PELMORA_FUZZ_CHECK(Bits(x) == 0, "(%08X %08X %08X %08X): missing position gave %08X",
                       Bits(in[0]), Bits(in[1]), Bits(in[2]), Bits(in[3]), Bits(x));
  }
  return 0;
}
