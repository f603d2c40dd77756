// Locator encoding on any pair of float32 coordinates (calc/encoding.h):
//   - both methods fail alike on the same coordinates, with the same error,
//     and a failure delivers the null text;
//   - a locator has six units: a field pair, square digits 0..9 and
//     subsquare letters a..x; within -90..90 and -180..180 the field letters
//     are A..R, and S only at 90 or 180 (sLocator: also the float32 just
//     below).
#include <cmath>

#include "calc/encoding.h"
#include "fuzz/fuzz_support.h"

namespace {

using pelmora::fuzz::Bits;
using pelmora::runtime::Outcome;
using pelmora::runtime::Text;

void CheckShape(const char* method, const Outcome<Text>& locator, float lat, float lon,
                bool below_counts) {
  PELMORA_FUZZ_CHECK(!locator.value.IsNull() && locator.value.Units().size() == 6,
                     "%s(%08X, %08X): no six-unit locator", method, Bits(lat), Bits(lon));
  const std::u16string& u = locator.value.Units();
  for (std::size_t i = 2; i < 4; ++i) {
    PELMORA_FUZZ_CHECK(u[i] >= u'0' && u[i] <= u'9', "%s(%08X, %08X): square unit %zu is %04X",
                       method, Bits(lat), Bits(lon), i, u[i]);
  }
  for (std::size_t i = 4; i < 6; ++i) {
    PELMORA_FUZZ_CHECK(u[i] >= u'a' && u[i] <= u'x', "%s(%08X, %08X): subsquare unit %zu is %04X",
                       method, Bits(lat), Bits(lon), i, u[i]);
  }
  if (!(std::fabs(lat) <= 90.0f && std::fabs(lon) <= 180.0f)) return;
  // The top of each range, and for sLocator the float32 just below it.
  const float lat_s = below_counts ? std::nextafter(90.0f, 0.0f) : 90.0f;
  const float lon_s = below_counts ? std::nextafter(180.0f, 0.0f) : 180.0f;
  const char16_t want_lon = lon >= lon_s ? u'S' : u'A';
  const char16_t want_lat = lat >= lat_s ? u'S' : u'A';
  PELMORA_FUZZ_CHECK(want_lon == u'S' ? u[0] == u'S' : u[0] >= u'A' && u[0] <= u'R',
                     "%s(%08X, %08X): longitude field %04X", method, Bits(lat), Bits(lon), u[0]);
  PELMORA_FUZZ_CHECK(want_lat == u'S' ? u[1] == u'S' : u[1] >= u'A' && u[1] <= u'R',
                     "%s(%08X, %08X): latitude field %04X", method, Bits(lat), Bits(lon), u[1]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pelmora::fuzz::Input input(data, size);
  const float lat = input.Float();
  const float lon = input.Float();
  const auto s = pelmora::calc::sLocator(lat, lon);
  const auto g = pelmora::calc::GridFromLatLong(lat, lon);
  PELMORA_FUZZ_CHECK(s.error == g.error, "(%08X, %08X): sLocator error %d, GridFromLatLong %d",
                     Bits(lat), Bits(lon), static_cast<int>(s.error), static_cast<int>(g.error));
  if (!s.ok()) {
    PELMORA_FUZZ_CHECK(s.value.IsNull() && g.value.IsNull(), "(%08X, %08X): failure with a text",
                       Bits(lat), Bits(lon));
    return 0;
  }
  CheckShape("sLocator", s, lat, lon, true);
  CheckShape("GridFromLatLong", g, lat, lon, false);
  return 0;
}
