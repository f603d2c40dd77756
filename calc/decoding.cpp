#include "calc/decoding.h"

#include <cstddef>
#include <cstdint>

#include "calc/arithmetic.h"
#include "runtime/fp_screen.h"
#include "runtime/numeric.h"
#include "runtime/text.h"

namespace pelmora::calc {

using runtime::CodePage;

namespace {

// What sets the latitude and the longitude apart. Everything else about
// decoding is the same for both coordinates.
// The subsquare values of the letters A..Z (indices 0..25), worked out once
// with the very arithmetic of Decode below: the index over the divisor plus
// the half subsquare (itself 0.5 over the divisor, stored), stored. The first
// kLetters entries hold them with the half subsquare, the next kLetters
// without it. Any other index is computed.
constexpr int kLetters = 26;

struct SubsquareValues {
  float values[2 * kLetters];
};

constexpr SubsquareValues MakeSubsquareValues(double divisor) {
  SubsquareValues table{};
  const float half = static_cast<float>(0.5 / divisor);
  for (int i = 0; i < kLetters; ++i) {
    const double quotient = static_cast<double>(i) / divisor;
    table.values[i] = static_cast<float>(quotient + static_cast<double>(half));
    table.values[kLetters + i] = static_cast<float>(quotient + 0.0);
  }
  return table;
}

constexpr SubsquareValues kLatitudeSubsquares = MakeSubsquareValues(24.0);
constexpr SubsquareValues kLongitudeSubsquares = MakeSubsquareValues(12.0);

struct Axis {
  std::int32_t field_position;      // 1-based position of the field letter
  std::int16_t field_factor;        // degrees per field letter (16-bit arithmetic)
  std::int32_t square_position;     // position of the square digit
  double degrees_per_square;        // degrees per square digit
  std::int32_t subsquare_position;  // position of the subsquare letter; a text
                                    // at least this long holds it
  double subsquare_divisor;         // subsquares per degree
  float shift;                      // subtracted at the end (single precision)
  const float* subsquare_values;    // of the letters A..Z, with and without the
                                    // half subsquare (kLetters each)
};

constexpr Axis kLatitude = {2, 10, 4, 1.0, 6, 24.0, 90.0f, kLatitudeSubsquares.values};
constexpr Axis kLongitude = {1, 20, 3, 2.0, 5, 12.0, 180.0f, kLongitudeSubsquares.values};

// The value of a square character: a digit's, and 0 for any other unit.
double SquareValue(char16_t unit) {
  return (unit >= u'0' && unit <= u'9') ? static_cast<double>(unit - u'0') : 0.0;
}

// Inlined into each method, so that the axis's figures are constants there.
template <class Status>
[[gnu::always_inline]] inline Outcome<float> Decode(Status& fp, std::u16string_view Grid,
                                                    const CodePage& page, const Axis& axis) {
  float result = +0.0f;

  // The text without its leading and trailing spaces, read in place: only
  // the spaces at its ends and the units at the positions are ever read.
  std::size_t first = 0;
  std::size_t last = Grid.size();
  while (first < last && Grid[first] == u' ') ++first;
  while (last > first && Grid[last - 1] == u' ') --last;
  if (last - first < 4) return runtime::Success(result);
  // From here on the field and square positions lie inside the text.
  const std::size_t length = last - first;
  const auto unit_at = [&](std::int32_t position) {
    return runtime::UpperCaseUnit(Grid[first + static_cast<std::size_t>(position - 1)]);
  };

  // The field index in 16-bit arithmetic: the subtraction and the product are
  // each range-checked, so a code far from the letters ends in overflow while
  // the result is still +0.0.
  const std::int16_t field_code = runtime::CodeOfUnit(unit_at(axis.field_position), page);
  const auto field_letter = runtime::SubInt16(field_code, 65);
  if (!field_letter) return Failure(field_letter.error, result);
  const auto field_index = runtime::MulInt16(field_letter.value, axis.field_factor);
  if (!field_index) return Failure(field_index.error, result);

  // The field-and-square value: whole degrees from the south pole or from
  // 180 degrees west, exact in float32 for any 16-bit index.
  const double square = fp.Mul(axis.degrees_per_square, SquareValue(unit_at(axis.square_position)));
  result = fp.Store(fp.Add(square, Wide(field_index.value)));
  if (const RtError e = fp.Test(); e != RtError::kNone) return Failure(e, result);

  // Without its subsquare letter the text names a square, whose centre lies
  // at subsquare "M" (index 12) with no half-subsquare offset.
  char16_t subsquare_unit = u'M';
  float half_subsquare = 0.0f;
  if (length >= static_cast<std::size_t>(axis.subsquare_position)) {
    subsquare_unit = unit_at(axis.subsquare_position);
    half_subsquare = fp.Store(fp.Div(0.5, axis.subsquare_divisor));
    if (const RtError e = fp.Test(); e != RtError::kNone) return Failure(e, result);
  }

  // A subsquare code below -32703 overflows here, and the caller receives the
  // field-and-square value as it stands.
  const auto subsquare_index = runtime::SubInt16(runtime::CodeOfUnit(subsquare_unit, page), 65);
  if (!subsquare_index) return Failure(subsquare_index.error, result);

  float subsquare_value;
  if (subsquare_index.value >= 0 && subsquare_index.value < kLetters) [[likely]] {
    const int row = half_subsquare != 0.0f ? 0 : kLetters;
    subsquare_value = axis.subsquare_values[row + subsquare_index.value];
  } else {
    subsquare_value = fp.Store(
        fp.Add(fp.Div(Wide(subsquare_index.value), axis.subsquare_divisor), Wide(half_subsquare)));
  }
  if (const RtError e = fp.Test(); e != RtError::kNone) return Failure(e, result);

  // Both sums are exact in double (two float32 values and a whole constant),
  // so this store is the one rounding of the centre.
  result = fp.Store(fp.Sub(fp.Add(Wide(subsquare_value), Wide(result)), Wide(axis.shift)));
  if (const RtError e = fp.Test(); e != RtError::kNone) return Failure(e, result);

  return runtime::Success(result);
}

[[gnu::noinline, gnu::cold]] Outcome<float> ExactDecode(std::u16string_view Grid,
                                                        const CodePage& page, const Axis& axis) {
  FpStatus fp;
  return Decode(fp, Grid, page, axis);
}

// The decoding runs under runtime::FpScreen, and again under FpStatus if the
// screen was marked (no input marks it, but the tests stay exact).
[[gnu::always_inline]] inline Outcome<float> Screened(std::u16string_view Grid,
                                                      const CodePage& page, const Axis& axis) {
  runtime::FpScreen screen;
  const Outcome<float> result = Decode(screen, Grid, page, axis);
  if (screen.Pending()) [[unlikely]] {
    return ExactDecode(Grid, page, axis);
  }
  return result;
}

}  // namespace

Outcome<float> LatFromGrid(std::u16string_view Grid, const CodePage& page) {
  return Screened(Grid, page, kLatitude);
}

Outcome<float> LongFromGrid(std::u16string_view Grid, const CodePage& page) {
  return Screened(Grid, page, kLongitude);
}

}  // namespace pelmora::calc
