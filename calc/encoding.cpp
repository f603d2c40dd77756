#include "calc/encoding.h"

#include <cstdint>

#include "runtime/fp_status.h"
#include "runtime/numeric.h"

namespace pelmora::calc {

using runtime::CodePage;
using runtime::FpStatus;
using runtime::Outcome;
using runtime::RtError;
using runtime::Text;

namespace {

// Every failure of an encoding delivers the null text.
Outcome<Text> Failed(RtError error) { return runtime::Failure<Text>(error); }

double Wide(std::int16_t x) { return static_cast<double>(x); }
double Wide(float x) { return static_cast<double>(x); }

// Characters are made one at a time and joined from the left into the
// result; each is carried as its UTF-16 unit, which is what a one-character
// text holds.
using Character = Outcome<char16_t>;

// The character of a 16-bit index plus a code offset: the checked 16-bit
// addition, then character from code.
Character IndexCharacter(std::int16_t index, std::int16_t offset, const CodePage& page) {
  const auto code = runtime::AddInt16(index, offset);
  if (!code) return runtime::Failure<char16_t>(code.error);
  return runtime::CharUnitFromCode(code.value, page);
}

// The subsquare character: (quotient - index) * 24 in double, tested; floor;
// plus the letter base, tested; rounded to a 32-bit code; character from code.
Character SubsquareCharacter(FpStatus& fp, double quotient, std::int16_t index, double base,
                             const CodePage& page) {
  const double scaled = fp.Mul(fp.Sub(quotient, Wide(index)), 24.0);
  if (const RtError e = fp.Test(); e != RtError::kNone) return runtime::Failure<char16_t>(e);
  const double code = fp.Add(runtime::Floor(scaled), base);
  if (const RtError e = fp.Test(); e != RtError::kNone) return runtime::Failure<char16_t>(e);
  const auto rounded = runtime::RoundToInt32(code);
  if (!rounded) return runtime::Failure<char16_t>(rounded.error);
  return runtime::CharUnitFromCode(rounded.value, page);
}

}  // namespace

Outcome<Text> sLocator(float sLat, float sLon, const CodePage& page) {
  FpStatus fp;
  // The index table: entry 1 longitude field, 2 latitude field, 3 longitude
  // square, 4 latitude square.
  std::int16_t entry[5] = {0, 0, 0, 0, 0};

  // Field quotients, shifted before the division and rounded to float32.
  float lon_q = fp.Store(fp.Div(fp.Add(fp.Widen(sLon), 180.0), 20.0));
  if (const RtError e = fp.Test(); e != RtError::kNone) return Failed(e);
  float lat_q = fp.Store(fp.Div(fp.Add(fp.Widen(sLat), 90.0), 10.0));
  if (const RtError e = fp.Test(); e != RtError::kNone) return Failed(e);

  const auto lon_field = runtime::FloorToInt16(Wide(lon_q));
  if (!lon_field) return Failed(lon_field.error);
  entry[1] = lon_field.value;
  const auto lat_field = runtime::FloorToInt16(Wide(lat_q));
  if (!lat_field) return Failed(lat_field.error);
  entry[2] = lat_field.value;

  // Square quotients: the remainder within the field, in square widths,
  // rounded to float32 again. From here on both lie in [0, 10).
  lon_q = fp.Store(fp.Mul(fp.Sub(Wide(lon_q), Wide(entry[1])), 10.0));
  if (const RtError e = fp.Test(); e != RtError::kNone) return Failed(e);
  lat_q = fp.Store(fp.Mul(fp.Sub(Wide(lat_q), Wide(entry[2])), 10.0));
  if (const RtError e = fp.Test(); e != RtError::kNone) return Failed(e);

  const auto lon_square = runtime::FloorToInt16(Wide(lon_q));
  if (!lon_square) return Failed(lon_square.error);
  entry[3] = lon_square.value;
  const auto lat_square = runtime::FloorToInt16(Wide(lat_q));
  if (!lat_square) return Failed(lat_square.error);
  entry[4] = lat_square.value;

  const Character field_lon = IndexCharacter(entry[1], 65, page);
  if (!field_lon) return Failed(field_lon.error);
  const Character field_lat = IndexCharacter(entry[2], 65, page);
  if (!field_lat) return Failed(field_lat.error);
  const Character square_lon = IndexCharacter(entry[3], 48, page);
  if (!square_lon) return Failed(square_lon.error);
  const Character square_lat = IndexCharacter(entry[4], 48, page);
  if (!square_lat) return Failed(square_lat.error);

  // Subsquare letters are made upper case (base 65) and lowered as a pair.
  const Character sub_lon = SubsquareCharacter(fp, Wide(lon_q), entry[3], 65.0, page);
  if (!sub_lon) return Failed(sub_lon.error);
  const Character sub_lat = SubsquareCharacter(fp, Wide(lat_q), entry[4], 65.0, page);
  if (!sub_lat) return Failed(sub_lat.error);

  const char16_t joined[6] = {field_lon.value,
                              field_lat.value,
                              square_lon.value,
                              square_lat.value,
                              runtime::LowerCaseUnit(sub_lon.value),
                              runtime::LowerCaseUnit(sub_lat.value)};
  return runtime::Success(Text(std::u16string_view(joined, 6)));
}

Outcome<Text> GridFromLatLong(float dLat, float dLon, const CodePage& page) {
  FpStatus fp;

  // Field quotients, divided before the shift and held in double.
  double lon_q = fp.Add(fp.Div(fp.Widen(dLon), 20.0), 9.0);
  if (const RtError e = fp.Test(); e != RtError::kNone) return Failed(e);
  double lat_q = fp.Add(fp.Div(fp.Widen(dLat), 10.0), 9.0);
  if (const RtError e = fp.Test(); e != RtError::kNone) return Failed(e);

  auto lon_index = runtime::FloorToInt16(lon_q);
  if (!lon_index) return Failed(lon_index.error);
  auto lat_index = runtime::FloorToInt16(lat_q);
  if (!lat_index) return Failed(lat_index.error);

  char16_t result[6];
  const Character field_lon = IndexCharacter(lon_index.value, 65, page);
  if (!field_lon) return Failed(field_lon.error);
  result[0] = field_lon.value;
  const Character field_lat = IndexCharacter(lat_index.value, 65, page);
  if (!field_lat) return Failed(field_lat.error);
  result[1] = field_lat.value;

  // Square quotients: the remainder within the field, in square widths.
  lon_q = fp.Mul(fp.Sub(lon_q, Wide(lon_index.value)), 10.0);
  if (const RtError e = fp.Test(); e != RtError::kNone) return Failed(e);
  lat_q = fp.Mul(fp.Sub(lat_q, Wide(lat_index.value)), 10.0);
  if (const RtError e = fp.Test(); e != RtError::kNone) return Failed(e);

  lon_index = runtime::FloorToInt16(lon_q);
  if (!lon_index) return Failed(lon_index.error);
  lat_index = runtime::FloorToInt16(lat_q);
  if (!lat_index) return Failed(lat_index.error);

  const Character square_lon = IndexCharacter(lon_index.value, 48, page);
  if (!square_lon) return Failed(square_lon.error);
  result[2] = square_lon.value;
  const Character square_lat = IndexCharacter(lat_index.value, 48, page);
  if (!square_lat) return Failed(square_lat.error);
  result[3] = square_lat.value;

  // Subsquare letters directly in lower case (base 97).
  const Character sub_lon = SubsquareCharacter(fp, lon_q, lon_index.value, 97.0, page);
  if (!sub_lon) return Failed(sub_lon.error);
  result[4] = sub_lon.value;
  const Character sub_lat = SubsquareCharacter(fp, lat_q, lat_index.value, 97.0, page);
  if (!sub_lat) return Failed(sub_lat.error);
  result[5] = sub_lat.value;
  return runtime::Success(Text(std::u16string_view(result, 6)));
}

}  // namespace pelmora::calc
