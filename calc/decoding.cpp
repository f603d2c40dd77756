#include "calc/decoding.h"

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

// What sets the latitude and the longitude apart. Everything else about
// decoding is the same for both coordinates.
struct Axis {
  std::int32_t field_position;      // 1-based position of the field letter
  std::int16_t field_factor;        // degrees per field letter (16-bit arithmetic)
  std::int32_t square_position;     // position of the square digit
  double degrees_per_square;        // degrees per square digit
  std::int32_t subsquare_position;  // position of the subsquare letter; a text
                                    // at least this long holds it
  double subsquare_divisor;         // subsquares per degree
  float shift;                      // subtracted at the end (single precision)
};

constexpr Axis kLatitude = {2, 10, 4, 1.0, 6, 24.0, 90.0f};
constexpr Axis kLongitude = {1, 20, 3, 2.0, 5, 12.0, 180.0f};

double Wide(std::int16_t x) { return static_cast<double>(x); }
double Wide(float x) { return static_cast<double>(x); }

// The one-unit text at `position`; the first unit is taken as the left
// character, any other as a middle character.
Outcome<Text> CharacterAt(const Text& text, std::int32_t position) {
  return position == 1 ? runtime::Left(text, 1) : runtime::Middle(text, position, 1);
}

Outcome<float> Decode(const Text& Grid, const CodePage& page, const Axis& axis) {
  FpStatus fp;
  float result = +0.0f;

  const Text normalised = runtime::UpperCase(runtime::Trim(Grid));
  const std::int32_t length = runtime::Length(normalised);
  if (length < 4) return runtime::Success(result);
  // From here on the field and square positions lie inside the text.

  const auto field_char = CharacterAt(normalised, axis.field_position);
  if (!field_char) return runtime::Failure(field_char.error, result);
  const auto square_char = CharacterAt(normalised, axis.square_position);
  if (!square_char) return runtime::Failure(square_char.error, result);

  // The field index in 16-bit arithmetic: the subtraction and the product are
  // each range-checked, so a code far from the letters ends in overflow while
  // the result is still +0.0.
  const auto field_code = runtime::CodeOfFirst(field_char.value, page);
  if (!field_code) return runtime::Failure(field_code.error, result);
  const auto field_letter = runtime::SubInt16(field_code.value, 65);
  if (!field_letter) return runtime::Failure(field_letter.error, result);
  const auto field_index = runtime::MulInt16(field_letter.value, axis.field_factor);
  if (!field_index) return runtime::Failure(field_index.error, result);

  // The field-and-square value: whole degrees from the south pole or from
  // 180 degrees west, exact in float32 for any 16-bit index.
  const double square = fp.Mul(axis.degrees_per_square, runtime::NumericValue(square_char.value));
  result = fp.Store(fp.Add(square, Wide(field_index.value)));
  if (const RtError e = fp.Test(); e != RtError::kNone) return runtime::Failure(e, result);

  // Without its subsquare letter the text names a square, whose centre lies
  // at subsquare "M" (index 12) with no half-subsquare offset.
  Text subsquare_char(std::u16string_view(u"M"));
  float half_subsquare = 0.0f;
  if (length >= axis.subsquare_position) {
    const auto taken = runtime::Middle(normalised, axis.subsquare_position, 1);
    if (!taken) return runtime::Failure(taken.error, result);
    subsquare_char = taken.value;
    half_subsquare = fp.Store(fp.Div(0.5, axis.subsquare_divisor));
    if (const RtError e = fp.Test(); e != RtError::kNone) return runtime::Failure(e, result);
  }

  // A subsquare code below -32703 overflows here, and the caller receives the
  // field-and-square value as it stands.
  const auto subsquare_code = runtime::CodeOfFirst(subsquare_char, page);
  if (!subsquare_code) return runtime::Failure(subsquare_code.error, result);
  const auto subsquare_index = runtime::SubInt16(subsquare_code.value, 65);
  if (!subsquare_index) return runtime::Failure(subsquare_index.error, result);

  const float subsquare_value = fp.Store(
      fp.Add(fp.Div(Wide(subsquare_index.value), axis.subsquare_divisor), Wide(half_subsquare)));
  if (const RtError e = fp.Test(); e != RtError::kNone) return runtime::Failure(e, result);

  // Both sums are exact in double (two float32 values and a whole constant),
  // so this store is the one rounding of the centre.
  result = fp.Store(fp.Sub(fp.Add(Wide(subsquare_value), Wide(result)), Wide(axis.shift)));
  if (const RtError e = fp.Test(); e != RtError::kNone) return runtime::Failure(e, result);

  return runtime::Success(result);
}

}  // namespace

Outcome<float> LatFromGrid(const Text& Grid, const CodePage& page) {
  return Decode(Grid, page, kLatitude);
}

Outcome<float> LongFromGrid(const Text& Grid, const CodePage& page) {
  return Decode(Grid, page, kLongitude);
}

}  // namespace pelmora::calc
