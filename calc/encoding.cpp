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

// The character of a 16-bit index plus a code offset: the checked 16-bit
// addition, then character from code.
Outcome<Text> IndexCharacter(std::int16_t index, std::int16_t offset, const CodePage& page) {
  const auto code = runtime::AddInt16(index, offset);
  if (!code) return Failed(code.error);
  return runtime::CharFromCode(code.value, page);
}

// The subsquare character: (quotient - index) * 24 in double, tested; floor;
// plus the letter base, tested; rounded to a 32-bit code; character from code.
Outcome<Text> SubsquareCharacter(FpStatus& fp, double quotient, std::int16_t index, double base,
                                 const CodePage& page) {
  const double scaled = fp.Mul(fp.Sub(quotient, Wide(index)), 24.0);
  if (const RtError e = fp.Test(); e != RtError::kNone) return Failed(e);
  const double code = fp.Add(runtime::Floor(scaled), base);
  if (const RtError e = fp.Test(); e != RtError::kNone) return Failed(e);
  const auto rounded = runtime::RoundToInt32(code);
  if (!rounded) return Failed(rounded.error);
  return runtime::CharFromCode(rounded.value, page);
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

  const auto field_lon = IndexCharacter(entry[1], 65, page);
  if (!field_lon) return field_lon;
  const auto field_lat = IndexCharacter(entry[2], 65, page);
  if (!field_lat) return field_lat;
  const auto square_lon = IndexCharacter(entry[3], 48, page);
  if (!square_lon) return square_lon;
  const auto square_lat = IndexCharacter(entry[4], 48, page);
  if (!square_lat) return square_lat;

  // Subsquare letters are made upper case (base 65) and lowered as a pair.
  const auto sub_lon = SubsquareCharacter(fp, Wide(lon_q), entry[3], 65.0, page);
  if (!sub_lon) return sub_lon;
  const auto sub_lat = SubsquareCharacter(fp, Wide(lat_q), entry[4], 65.0, page);
  if (!sub_lat) return sub_lat;
  const Text sub_pair = runtime::LowerCase(runtime::Concat(sub_lon.value, sub_lat.value));

  Text joined = runtime::Concat(field_lon.value, field_lat.value);
  joined = runtime::Concat(std::move(joined), square_lon.value);
  joined = runtime::Concat(std::move(joined), square_lat.value);
  joined = runtime::Concat(std::move(joined), sub_pair);
  return runtime::Success(std::move(joined));
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

  const auto field_lon = IndexCharacter(lon_index.value, 65, page);
  if (!field_lon) return field_lon;
  const auto field_lat = IndexCharacter(lat_index.value, 65, page);
  if (!field_lat) return field_lat;
  Text result = runtime::Concat(field_lon.value, field_lat.value);

  // Square quotients: the remainder within the field, in square widths.
  lon_q = fp.Mul(fp.Sub(lon_q, Wide(lon_index.value)), 10.0);
  if (const RtError e = fp.Test(); e != RtError::kNone) return Failed(e);
  lat_q = fp.Mul(fp.Sub(lat_q, Wide(lat_index.value)), 10.0);
  if (const RtError e = fp.Test(); e != RtError::kNone) return Failed(e);

  lon_index = runtime::FloorToInt16(lon_q);
  if (!lon_index) return Failed(lon_index.error);
  lat_index = runtime::FloorToInt16(lat_q);
  if (!lat_index) return Failed(lat_index.error);

  const auto square_lon = IndexCharacter(lon_index.value, 48, page);
  if (!square_lon) return square_lon;
  result = runtime::Concat(std::move(result), square_lon.value);
  const auto square_lat = IndexCharacter(lat_index.value, 48, page);
  if (!square_lat) return square_lat;
  result = runtime::Concat(std::move(result), square_lat.value);

  // Subsquare letters directly in lower case (base 97).
  const auto sub_lon = SubsquareCharacter(fp, lon_q, lon_index.value, 97.0, page);
  if (!sub_lon) return sub_lon;
  result = runtime::Concat(std::move(result), sub_lon.value);
  const auto sub_lat = SubsquareCharacter(fp, lat_q, lat_index.value, 97.0, page);
  if (!sub_lat) return sub_lat;
  result = runtime::Concat(std::move(result), sub_lat.value);
  return runtime::Success(std::move(result));
}

}  // namespace pelmora::calc
