#include "calc/encoding.h"

#include <cstdint>

#include "calc/arithmetic.h"
#include "calc/measure.h"
#include "runtime/no_status.h"
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

  template <class Status>
  static double Field(Status& fp, float coordinate, double shift, double width) {
    return AsDouble(fp.Store(fp.Div(fp.Add(fp.Widen(coordinate), shift), width)));
  }
  template <class Status>
  static double Square(Status& fp, double quotient, std::int16_t field) {
    return AsDouble(fp.Store(fp.Mul(fp.Sub(quotient, AsDouble(field)), 10.0)));
  }
};

// GridFromLatLong: the division before the shift (+ 9 fields), quotients
// kept in double; subsquare letters directly in lower case; the field pair is
// made before the square quotients.
struct DoubleQuotients {
  static constexpr bool kFieldPairFirst = true;
  static constexpr double kSubsquareBase = 97.0;
  static constexpr bool kLowerSubsquarePair = false;

  template <class Status>
  static double Field(Status& fp, float coordinate, double /*shift*/, double width) {
    return fp.Add(fp.Div(fp.Widen(coordinate), width), 9.0);
  }
  template <class Status>
  static double Square(Status& fp, double quotient, std::int16_t field) {
    return fp.Mul(fp.Sub(quotient, AsDouble(field)), 10.0);
  }
};

// Characters are carried as their UTF-16 units, which is what a one-character
// text holds, and joined from the left into the result at the end.
using Character = Outcome<char16_t>;

struct Pair {
  char16_t lon;
  char16_t lat;
};

// The checked runtime operations of the character stage. Under FpStatus they
// are the runtime's own; under runtime::NoStatus, whose caller proved that
// every index lies in 0..24 and every code in 0..255, they are the same
// operations without their range checks (see PlainDomain below).
[[gnu::always_inline]] inline Outcome<std::int16_t> FloorIndex(FpStatus& /*fp*/, double x) {
  return runtime::FloorToInt16(x);
}
[[gnu::always_inline]] inline Outcome<std::int16_t> AddIndex(FpStatus& /*fp*/, std::int16_t a,
                                                             std::int16_t b) {
  return runtime::AddInt16(a, b);
}
// The code of a subsquare letter: the floor of its scaled value plus the
// letter base, tested, then rounded to a 32-bit integer.
[[gnu::always_inline]] inline Outcome<std::int32_t> LetterCode(FpStatus& fp, double scaled,
                                                               double base) {
  const double code = fp.Add(runtime::Floor(scaled), base);
  if (FpTestFails(fp)) return Failure<std::int32_t>(kFpError);
  return runtime::RoundToInt32(code);
}
[[gnu::always_inline]] inline Character CharacterOf(FpStatus& /*fp*/, std::int32_t code,
                                                    const CodePage& page) {
  return runtime::CharUnitFromCode(code, page);
}

// For 0 <= x < 2^31 truncation is the floor; for a whole x below 2^31 it is
// the nearest integer.
[[gnu::always_inline]] inline Outcome<std::int16_t> FloorIndex(runtime::NoStatus& /*fp*/,
                                                               double x) {
  return runtime::Success(static_cast<std::int16_t>(static_cast<std::int32_t>(x)));
}
[[gnu::always_inline]] inline Outcome<std::int16_t> AddIndex(runtime::NoStatus& /*fp*/,
                                                             std::int16_t a, std::int16_t b) {
  return runtime::Success(static_cast<std::int16_t>(a + b));
}
// The floor of a value in [0, 24] plus a whole base below 128 is a whole
// number, exact in double, which rounds to itself: the sum in integers.
[[gnu::always_inline]] inline Outcome<std::int32_t> LetterCode(runtime::NoStatus& /*fp*/,
                                                               double scaled, double base) {
  return runtime::Success(static_cast<std::int32_t>(scaled) + static_cast<std::int32_t>(base));
}
[[gnu::always_inline]] inline Character CharacterOf(runtime::NoStatus& /*fp*/, std::int32_t code,
                                                    const CodePage& page) {
  return runtime::Success(page.CharOfCode(static_cast<std::uint8_t>(code)));
}

// The character of a 16-bit index plus a code offset: the checked 16-bit
// addition, then character from code.
template <class Status>
Character IndexCharacter(Status& fp, std::int16_t index, std::int16_t offset,
                         const CodePage& page) {
  const auto code = AddIndex(fp, index, offset);
  if (!code) return Failure<char16_t>(code.error);
  return CharacterOf(fp, code.value, page);
}

// The longitude character of a pair of indices, then the latitude character,
// into `pair`; the error of the first that fails.
template <class Status>
RtError IndexPair(Status& fp, std::int16_t lon, std::int16_t lat, std::int16_t offset,
                  const CodePage& page, Pair& pair) {
  const Character lon_char = IndexCharacter(fp, lon, offset, page);
  if (!lon_char) return lon_char.error;
  const Character lat_char = IndexCharacter(fp, lat, offset, page);
  if (!lat_char) return lat_char.error;
  pair = {lon_char.value, lat_char.value};
  return RtError::kNone;
}

// The subsquare character: (quotient - index) * 24 in double, tested; floor;
// plus the letter base, tested; rounded to a 32-bit code; character from code.
template <class Status>
[[gnu::always_inline]] inline Character SubsquareCharacter(Status& fp, double quotient,
                                                           std::int16_t index, double base,
                                                           const CodePage& page) {
  const double scaled = fp.Mul(fp.Sub(quotient, AsDouble(index)), 24.0);
  if (FpTestFails(fp)) return Failure<char16_t>(kFpError);
  const auto code = LetterCode(fp, scaled, base);
  if (!code) return Failure<char16_t>(code.error);
  return CharacterOf(fp, code.value, page);
}

// The character stage of both methods, in this order: the field quotients
// (longitude, then latitude, each tested), both field floors, the square
// quotients (each tested), both square floors, the field and square pairs,
// the subsquare characters, the join. Only GridFromLatLong's field pair comes
// earlier, right after the field floors. Every failure delivers the null text.
template <class Method, class Status>
[[gnu::always_inline]] inline Outcome<Text> Encode(Status& fp, float lat, float lon,
                                                   const CodePage& page) {
  double lon_q = Method::Field(fp, lon, 180.0, 20.0);
  if (FpTestFails(fp)) return Failure<Text>(kFpError);
  double lat_q = Method::Field(fp, lat, 90.0, 10.0);
  if (FpTestFails(fp)) return Failure<Text>(kFpError);

  const auto lon_field = FloorIndex(fp, lon_q);
  if (!lon_field) return Failure<Text>(lon_field.error);
  const auto lat_field = FloorIndex(fp, lat_q);
  if (!lat_field) return Failure<Text>(lat_field.error);

  Pair field{};
  if constexpr (Method::kFieldPairFirst) {
    const RtError e = IndexPair(fp, lon_field.value, lat_field.value, 65, page, field);
    if (e != RtError::kNone) return Failure<Text>(e);
  }

  // From here on both quotients lie in [0, 10].
  lon_q = Method::Square(fp, lon_q, lon_field.value);
  if (FpTestFails(fp)) return Failure<Text>(kFpError);
  lat_q = Method::Square(fp, lat_q, lat_field.value);
  if (FpTestFails(fp)) return Failure<Text>(kFpError);

  const auto lon_square = FloorIndex(fp, lon_q);
  if (!lon_square) return Failure<Text>(lon_square.error);
  const auto lat_square = FloorIndex(fp, lat_q);
  if (!lat_square) return Failure<Text>(lat_square.error);

  if constexpr (!Method::kFieldPairFirst) {
    const RtError e = IndexPair(fp, lon_field.value, lat_field.value, 65, page, field);
    if (e != RtError::kNone) return Failure<Text>(e);
  }
  Pair square{};
  if (const RtError e = IndexPair(fp, lon_square.value, lat_square.value, 48, page, square);
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
  // Built in place in the outcome, which the caller receives without a move.
  return Outcome<Text>{Text(joined), RtError::kNone};
}

template <class Method>
[[gnu::noinline]] Outcome<Text> CheckedEncode(float lat, float lon, const CodePage& page) {
  FpStatus fp;
  return Encode<Method>(fp, lat, lon, page);
}

// The plain domain: -90 <= lat <= 90 and -180 <= lon <= 180 (no NaN and no
// infinity passes these comparisons). Inside it no step of Encode can fail:
//   - each coordinate is finite and not a signalling NaN, so its widening
//     records nothing;
//   - the field quotients lie in [0, 18]: sLocator's (lon + 180) / 20 and
//     (lat + 90) / 10 of sums in [0, 360] and [0, 180], GridFromLatLong's
//     lon / 20 + 9 and lat / 10 + 9 of quotients in [-9, 9] (rounding is
//     monotone and the ends are exact); finite, and far inside float32;
//   - a field index, the floor of a quotient in [0, 18], is 0..18, its code
//     65..83;
//   - a square quotient is (q - floor(q)) * 10 with q - floor(q) in [0, 1),
//     so in [0, 10] (a float32 store may round it up to 10); its index is
//     0..10 and its code 48..58;
//   - a subsquare value (q - floor(q)) * 24 lies in [0, 24], its floor plus
//     65 or 97 is a whole number in 65..121, which rounds to itself;
// so every quotient is finite, every 16-bit result and every code is in
// range, and the checked operations give what the plain ones give: floor of
// a value in [0, 2^31) is its truncation, the nearest integer of a whole
// number is itself. The same arithmetic then runs under runtime::NoStatus.
inline bool PlainDomain(float lat, float lon) {
  return lat >= -90.0f && lat <= 90.0f && lon >= -180.0f && lon <= 180.0f;
}

template <class Method>
[[gnu::always_inline]] inline Outcome<Text> Encoding(float lat, float lon, const CodePage& page) {
  if (PlainDomain(lat, lon)) [[likely]] {
    runtime::NoStatus fp;
    return Encode<Method>(fp, lat, lon, page);
  }
  return CheckedEncode<Method>(lat, lon, page);
}

}  // namespace

Outcome<Text> sLocator(float sLat, float sLon, const CodePage& page) {
  return Encoding<SingleQuotients>(sLat, sLon, page);
}

Outcome<Text> GridFromLatLong(float dLat, float dLon, const CodePage& page) {
  return Encoding<DoubleQuotients>(dLat, dLon, page);
}

Outcome<Text> CheckedSLocator(float sLat, float sLon, const CodePage& page) {
  return CheckedEncode<SingleQuotients>(sLat, sLon, page);
}

Outcome<Text> CheckedGridFromLatLong(float dLat, float dLon, const CodePage& page) {
  return CheckedEncode<DoubleQuotients>(dLat, dLon, page);
}

}  // namespace pelmora::calc
