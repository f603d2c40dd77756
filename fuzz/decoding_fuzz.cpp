// Locator decoding (calc/decoding.h), on two kinds of input chosen by the
// first byte:
//   any text (UTF-16 units from the bytes): with Windows-1252 neither method
//     fails, and a text of fewer than four units once trimmed gives +0.0;
//   a regular locator AA00aa..RR99xx, or its first four units, in any case
//     and with spaces around: a square's centre is exact; a subsquare's
//     decoded centre lies inside the subsquare and both encodings give the
//     locator back from it.
#include <string>

#include "calc/decoding.h"
#include "calc/encoding.h"
#include "fuzz/fuzz_support.h"

namespace {

using pelmora::fuzz::Bits;
using pelmora::runtime::Text;

std::string Ascii(const std::u16string& units) {
  std::string out;
  for (const char16_t u : units) out += (u >= 0x20 && u < 0x7F) ? static_cast<char>(u) : '?';
  return out;
}

void AnyText(pelmora::fuzz::Input& input) {
  std::u16string units;
  while (input.Left() >= 2 && units.size() < 12) units += static_cast<char16_t>(input.Unit());
  const Text text(units);
  const auto lat = pelmora::calc::LatFromGrid(text);
  const auto lon = pelmora::calc::LongFromGrid(text);
  PELMORA_FUZZ_CHECK(lat.ok() && lon.ok(), "\"%s\": a decoding failed", Ascii(units).c_str());
  std::size_t first = units.find_first_not_of(u' ');
  const std::size_t last = units.find_last_not_of(u' ');
  const std::size_t trimmed = first == std::u16string::npos ? 0 : last - first + 1;
  if (trimmed < 4) {
    PELMORA_FUZZ_CHECK(Bits(lat.value) == 0 && Bits(lon.value) == 0,
                       "\"%s\": short text gave %08X, %08X", Ascii(units).c_str(), Bits(lat.value),
                       Bits(lon.value));
  }
}

void RegularLocator(pelmora::fuzz::Input& input) {
  const int field_lon = input.Byte() % 18, field_lat = input.Byte() % 18;
  const int square_lon = input.Byte() % 10, square_lat = input.Byte() % 10;
  const int sub_lon = input.Byte() % 24, sub_lat = input.Byte() % 24;
  const std::uint8_t style = input.Byte();
  const bool six = (style & 1) != 0;
  std::u16string locator = {
      static_cast<char16_t>(u'A' + field_lon),  static_cast<char16_t>(u'A' + field_lat),
      static_cast<char16_t>(u'0' + square_lon), static_cast<char16_t>(u'0' + square_lat),
      static_cast<char16_t>(u'a' + sub_lon),    static_cast<char16_t>(u'a' + sub_lat)};
  if (!six) locator.resize(4);
  // The same locator as a user may type it: other case, spaces around.
  std::u16string typed = locator;
  for (std::size_t i = 0; i < typed.size(); ++i) {
    const char16_t u = typed[i];
    if ((style >> (1 + i % 6)) & 1 && u >= u'A' && u <= u'Z') typed[i] = u + 32;
    if ((style >> (1 + i % 6)) & 1 && u >= u'a' && u <= u'z') typed[i] = u - 32;
  }
  typed = std::u16string((style >> 6) & 3, u' ') + typed + std::u16string(style >> 7, u' ');

  const auto lat = pelmora::calc::LatFromGrid(Text(typed));
  const auto lon = pelmora::calc::LongFromGrid(Text(typed));
  const std::string name = Ascii(typed);
  PELMORA_FUZZ_CHECK(lat.ok() && lon.ok(), "\"%s\": a decoding failed", name.c_str());
  const double south = field_lat * 10 + square_lat - 90;
  const double west = field_lon * 20 + square_lon * 2 - 180;
  if (!six) {
    PELMORA_FUZZ_CHECK(static_cast<double>(lat.value) == south + 0.5 &&
                           static_cast<double>(lon.value) == west + 1.0,
                       "\"%s\": square centre %.9g, %.9g", name.c_str(),
                       static_cast<double>(lat.value), static_cast<double>(lon.value));
    return;
  }
  const double lat_low = south + sub_lat / 24.0, lon_low = west + sub_lon / 12.0;
  PELMORA_FUZZ_CHECK(static_cast<double>(lat.value) > lat_low &&
                         static_cast<double>(lat.value) < lat_low + 1 / 24.0 &&
                         static_cast<double>(lon.value) > lon_low &&
                         static_cast<double>(lon.value) < lon_low + 1 / 12.0,
                     "\"%s\": centre %.9g, %.9g outside its subsquare", name.c_str(),
                     static_cast<double>(lat.value), static_cast<double>(lon.value));
  const auto s = pelmora::calc::sLocator(lat.value, lon.value);
  const auto g = pelmora::calc::GridFromLatLong(lat.value, lon.value);
  PELMORA_FUZZ_CHECK(s.ok() && s.value == Text(locator), "\"%s\": sLocator gives \"%s\"",
                     name.c_str(), Ascii(s.value.Units()).c_str());
  PELMORA_FUZZ_CHECK(g.ok() && g.value == Text(locator), "\"%s\": GridFromLatLong gives \"%s\"",
                     name.c_str(), Ascii(g.value.Units()).c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pelmora::fuzz::Input input(data, size);
  if (input.Byte() & 1) {
    RegularLocator(input);
  } else {
    AnyText(input);
  }
  return 0;
}
