#include "calc/encoding.h"

#include <cstdint>

#include "calc/arithmetic.h"
#include "runtime/numeric.h"

namespace pelmora::calc {

using runtime::CodePage;
using runtime::Text;

namespace {

// How each method forms its running quotients, the only arithmetic in which
// the two differ. Field(fp, coordinate, shift, width) gives the position in
// field widths (shift 180 and width 20 for the longitude, 90 and 10 for the
// latitude); Square(fp, quotient, field) the remainder within the field in
// square widths.

// sLocator: the shift before the division, each quotient rounded to float32.
// Its subsquare letters are made upper case and lowered as a pair; and it
// takes all four floors before the first character.
struct SingleQuotients {
  static constexpr bool kFieldPairFirst = false;
  static constexpr double kSubsquareBase = 65.0;
  static constexpr bool kLowerSubsquarePair = true;

  static double Field(FpStatus& fp, float coordinate, double shift, double width) {
    return Wide(fp.Store(fp.Div(fp.Add(fp.Widen(coordinate), shift), width)));
  }
  static double Square(FpStatus& fp, double quotient, std::int16_t field) {
    return Wide(fp.Store(fp.Mul(fp.Sub(quotient, Wide(field)), 10.0)));
  }
};

// GridFromLatLong: the division before the shift (+ 9 fields), quotients
// kept in double; subsquare letters directly in lower case; the field pair is
// made before the square quotients.
struct DoubleQuotients {
  static constexpr bool kFieldPairFirst = true;
  static constexpr double kSubsquareBase = 97.0;
  static constexpr bool kLowerSubsquarePair = false;

  static double Field(FpStatus& fp, float coordinate, double /*shift*/, double width) {
    return fp.Add(fp.Div(fp.Widen(coordinate), width), 9.0);
  }
  static double Square(FpStatus& fp, double quotient, std::int16_t field) {
    return fp.Mul(fp.Sub(quotient, Wide(field)), 10.0);
  }
};

// Characters are carried as their UTF-16 units, which is what a one-character
// text holds, and joined from the left into the result at the end.
using Character = Outcome<char16_t>;

struct Pair {
  char16_t lon;
  char16_t lat;
};

// The character of a 16-bit index plus a code offset: the checked 16-bit
// addition, then character from code.
Character IndexCharacter(std::int16_t index, std::int16_t offset, const CodePage& page) {
  const auto code = runtime::AddInt16(index, offset);
  if (!code) return Failure<char16_t>(code.error);
  return runtime::CharUnitFromCode(code.value, page);
}

// The longitude character of a pair of indices, then the latitude character,
// into `pair`; the error of the first that fails.
RtError IndexPair(std::int16_t lon, std::int16_t lat, std::int16_t offset, const CodePage& page,
                  Pair& pair) {
  const Character lon_char = IndexCharacter(lon, offset, page);
  if (!lon_char) return lon_char.error;
  const Character lat_char = IndexCharacter(lat, offset, page);
  if (!lat_char) return lat_char.error;
  pair = {lon_char.value, lat_char.value};
  return RtError::kNone;
}

// The subsquare character: (quotient - index) * 24 in double, tested; floor;
// plus the letter base, tested; rounded to a 32-bit code; character from code.
Character SubsquareCharacter(FpStatus& fp, double quotient, std::int16_t index, double base,
                             const CodePage& page) {
  const double scaled = fp.Mul(fp.Sub(quotient, Wide(index)), 24.0);
  if (const RtError e = fp.Test(); e != RtError::kNone) return Failure<char16_t>(e);
  const double code = fp.Add(runtime::Floor(scaled), base);
  if (const RtError e = fp.Test(); e != RtError::kNone) return Failure<char16_t>(e);
  const auto rounded = runtime::RoundToInt32(code);
  if (!rounded) return Failure<char16_t>(rounded.error);
  return runtime::CharUnitFromCode(rounded.value, page);
}

// The character stage of both methods, in this order: the field quotients
// (longitude, then latitude, each tested), both field floors, the square
// quotients (each tested), both square floors, the field and square pairs,
// the subsquare characters, the join. Only GridFromLatLong's field pair comes
// earlier, right after the field floors. Every failure delivers the null text.
template <class Method>
Outcome<Text> Encode(float lat, float lon, const CodePage& page) {
  FpStatus fp;

  double lon_q = Method::Field(fp, lon, 180.0, 20.0);
  if (const RtError e = fp.Test(); e != RtError::kNone) return Failure<Text>(e);
  double lat_q = Method::Field(fp, lat, 90.0, 10.0);
  if (const RtError e = fp.Test(); e != RtError::kNone) return Failure<Text>(e);

  const auto lon_field = runtime::FloorToInt16(lon_q);
  if (!lon_field) return Failure<Text>(lon_field.error);
  const auto lat_field = runtime::FloorToInt16(lat_q);
  if (!lat_field) return Failure<Text>(lat_field.error);

  Pair field{};
  if constexpr (Method::kFieldPairFirst) {
    const RtError e = IndexPair(lon_field.value, lat_field.value, 65, page, field);
    if (e != RtError::kNone) return Failure<Text>(e);
  }

  // From here on both quotients lie in [0, 10).
  lon_q = Method::Square(fp, lon_q, lon_field.value);
  if (const RtError e = fp.Test(); e != RtError::kNone) return Failure<Text>(e);
  lat_q = Method::Square(fp, lat_q, lat_field.value);
  if (const RtError e = fp.Test(); e != RtError::kNone) return Failure<Text>(e);

  const auto lon_square = runtime::FloorToInt16(lon_q);
  if (!lon_square) return Failure<Text>(lon_square.error);
  const auto lat_square = runtime::FloorToInt16(lat_q);
  if (!lat_square) return Failure<Text>(lat_square.error);

  if constexpr (!Method::kFieldPairFirst) {
    const RtError e = IndexPair(lon_field.value, lat_field.value, 65, page, field);
    if (e != RtError::kNone) return Failure<Text>(e);
  }
  Pair square{};
  if (const RtError e = IndexPair(lon_square.value, lat_square.value, 48, page, square);
      e != RtError::kNone) {
    return Failure<Text>(e);
  }

  const Character sub_lon =
      SubsquareCharacter(fp, lon_q, lon_square.value, Method::kSubsquareBase, page);
  if (!sub_lon) return Failure<Text>(sub_lon.error);
  const Character sub_lat =
      SubsquareCharacter(fp, lat_q, lat_square.value, Method::kSubsquareBase, page);
  if (!sub_lat) return Failure<Text>(sub_lat.error);
  Pair subsquare{sub_lon.value, sub_lat.value};
  if constexpr (Method::kLowerSubsquarePair) {
    subsquare = {runtime::LowerCaseUnit(subsquare.lon), runtime::LowerCaseUnit(subsquare.lat)};
  }

  const char16_t joined[6] = {field.lon,  field.lat,     square.lon,
                              square.lat, subsquare.lon, subsquare.lat};
  return runtime::Success(Text(std::u16string_view(joined, 6)));
}

}  // namespace

Outcome<Text> sLocator(float sLat, float sLon, const CodePage& page) {
  return Encode<SingleQuotients>(sLat, sLon, page);
}

Outcome<Text> GridFromLatLong(float dLat, float dLon, const CodePage& page) {
  return Encode<DoubleQuotients>(dLat, dLon, page);
}

}  // namespace pelmora::calc
