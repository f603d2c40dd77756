#include "calc/decoding.h"

#include <cstddef>
#include <cstdint>

#include "calc/arithmetic.h"
#include "calc/measure.h"
#include "runtime/fp_screen.h"
#include "runtime/numeric.h"
#include "runtime/text.h"

namespace pelmora::calc {

using runtime::CodePage;

namespace {

// What sets the latitude and the longitude apart. Everything else about
// decoding is the same for both coordinates.
struct Axis {
  std::int32_t field_position;      // 1-based position of the field letter
  std::int16_t field_factor;        // degrees per field (16-bit arithmetic)
  std::int32_t square_position;     // position of the square digit
  double degrees_per_square;        // degrees per square digit
  std::int32_t subsquare_position;  // position of the subsquare letter; a text
                                    // at least this long holds it
  double subsquare_divisor;         // subsquares per degree
  float shift;                      // subtracted at the end (single precision)
};

constexpr Axis kLatitude = {2, 10, 4, 1.0, 6, 24.0, 90.0f};
constexpr Axis kLongitude = {1, 20, 3, 2.0, 5, 12.0, 180.0f};

// What the plain domain (see PlainUnits) makes of each unit below 128, worked
// out once by the same operations as Decode's steps: the degrees of the field
// of the upper-cased unit, and its subsquare value (index over the divisor plus the
// half subsquare, stored); the last entry is the value of a text without a
// subsquare ("M" without the half). The tests compare the two over the whole
// plain domain.
constexpr int kPlainUnits = 128;

struct PlainTable {
  std::int16_t field_degrees[kPlainUnits];
  float subsquare_value[kPlainUnits + 1];
  int degrees_per_square;
  int shift;
};

constexpr PlainTable MakePlainTable(const Axis& axis) {
  PlainTable table{};
  const float half = static_cast<float>(0.5 / axis.subsquare_divisor);
  for (int unit = 0; unit < kPlainUnits; ++unit) {
    const int index = runtime::UpperCaseUnit(static_cast<char16_t>(unit)) - 65;
    table.field_degrees[unit] = static_cast<std::int16_t>(index * axis.field_factor);
    table.subsquare_value[unit] = static_cast<float>(
        static_cast<double>(index) / axis.subsquare_divisor + static_cast<double>(half));
  }
  table.subsquare_value[kPlainUnits] =
      static_cast<float>(static_cast<double>(u'M' - 65) / axis.subsquare_divisor + 0.0);
  table.degrees_per_square = static_cast<int>(axis.degrees_per_square);
  table.shift = static_cast<int>(axis.shift);
  return table;
}

constexpr PlainTable kLatitudePlain = MakePlainTable(kLatitude);
constexpr PlainTable kLongitudePlain = MakePlainTable(kLongitude);

// The value of a square character: a digit's, and 0 for any other unit.
double SquareValue(char16_t unit) {
  return (unit >= u'0' && unit <= u'9') ? static_cast<double>(unit - u'0') : 0.0;
}

// What decoding reads of the text: the codes of the field and subsquare
// units (the subsquare unit is "M" when the text is too short to hold one)
// and the square unit.
struct Units {
  std::int16_t field_code;
  char16_t square_unit;
  bool has_subsquare;
  std::int16_t subsquare_code;
};

// The arithmetic of decoding, step by step, under the screening status or the
// full one.
template <class Status>
[[gnu::always_inline]] inline Outcome<float> Decode(Status& fp, const Units& units,
                                                    const Axis& axis) {
  float result = +0.0f;

  // The field's degrees in 16-bit arithmetic: the subtraction and the product are
  // each range-checked, so a code far from the letters ends in overflow while
  // the result is still +0.0.
  const auto field_index = runtime::SubInt16(units.field_code, 65);
  if (!field_index) return Failure(field_index.error, result);
  const auto field_degrees = runtime::MulInt16(field_index.value, axis.field_factor);
  if (!field_degrees) return Failure(field_degrees.error, result);

  // The field-and-square value: whole degrees from the south pole or from
  // 180 degrees west, exact in float32 for any 16-bit index.
  const double square = fp.Mul(axis.degrees_per_square, SquareValue(units.square_unit));
  result = fp.Store(fp.Add(square, AsDouble(field_degrees.value)));
  if (FpTestFails(fp)) return Failure(kFpError, result);

  // Without its subsquare letter the text names a square, whose centre lies
  // at subsquare "M" (index 12) with no half-subsquare offset.
  float half_subsquare = 0.0f;
  if (units.has_subsquare) {
    half_subsquare = fp.Store(fp.Div(0.5, axis.subsquare_divisor));
    if (FpTestFails(fp)) return Failure(kFpError, result);
  }

  // A subsquare code below -32703 overflows here, and the caller receives the
  // field-and-square value as it stands.
  const auto subsquare_index = runtime::SubInt16(units.subsquare_code, 65);
  if (!subsquare_index) return Failure(subsquare_index.error, result);

  const float subsquare_value = fp.Store(fp.Add(
      fp.Div(AsDouble(subsquare_index.value), axis.subsquare_divisor), AsDouble(half_subsquare)));
  if (FpTestFails(fp)) return Failure(kFpError, result);

  // Both sums are exact in double (two float32 values and a whole constant),
  // so this store is the one rounding of the centre.
  result =
      fp.Store(fp.Sub(fp.Add(AsDouble(subsquare_value), AsDouble(result)), AsDouble(axis.shift)));
  if (FpTestFails(fp)) return Failure(kFpError, result);

  return runtime::Success(result);
}

[[gnu::noinline, gnu::cold]] Outcome<float> ExactDecode(Units units, const Axis& axis) {
  FpStatus fp;
  return Decode(fp, units, axis);
}

// The units decoding reads, as they stand in the text.
struct RawUnits {
  char16_t field;
  char16_t square;
  bool has_subsquare;
  char16_t subsquare;  // "M" when the text is too short to hold one
};

// Upper case, codes from the page; then the arithmetic under
// runtime::FpScreen, and again under FpStatus if the screen was marked.
[[gnu::noinline]] Outcome<float> ScreenedDecode(RawUnits raw, const CodePage& page,
                                                const Axis& axis) {
  const Units units = {runtime::CodeOfUnit(runtime::UpperCaseUnit(raw.field), page), raw.square,
                       raw.has_subsquare,
                       runtime::CodeOfUnit(runtime::UpperCaseUnit(raw.subsquare), page)};
  runtime::FpScreen screen;
  const Outcome<float> result = Decode(screen, units, axis);
  if (screen.Pending()) [[unlikely]] {
    return ExactDecode(units, axis);
  }
  return result;
}

// The plain domain: the field and subsquare units are below 128 and stand
// for themselves in the page (upper-casing keeps them so), so their codes are
// the upper-cased units, in 0..127. Inside it no step of Decode can fail:
//   - the field index, code - 65, lies in -65..62, and the field's degrees,
//     that times 10 or 20, in -1300..1240: both 16-bit;
//   - the square value is 0..9 times 1 or 2, so the field-and-square value
//     is a whole number of at most 1300 in magnitude: exact, finite, stored
//     without overflow;
//   - the half subsquare is 0.5 over 24 or 12: finite and non-zero;
//   - the subsquare index, code - 65, lies in -65..62 (16-bit), and its
//     value, index over 24 or 12 plus the half, is finite and far inside
//     float32;
//   - the centre, a sum of those two and the shift (90 or 180), is finite.
// So no operation gives an infinity or a NaN, no 16-bit result leaves its
// range, and every test passes: PlainDecode below gives Decode's value.
inline bool PlainUnits(const RawUnits& raw, const CodePage& page) {
  return (raw.field | raw.subsquare) < 0x80 && page.StandsForItself(raw.field) &&
         page.StandsForItself(raw.subsquare);
}

// Decode's value in the plain domain, with its arithmetic regrouped and its
// per-unit steps looked up. The field-and-square value is a whole number of at
// most 1300 in magnitude, so its float32 store changes nothing and it is formed
// in integers; the subsquare value is a float32 of at least 1/48 in magnitude
// (never 0), so its sum with a whole number below 2^11 is exact in double, as
// is that sum less the whole shift. The centre is therefore the one rounding of
// the subsquare value plus the whole number (field-and-square value - shift),
// which is what is formed here.
[[gnu::always_inline]] inline float PlainDecode(const RawUnits& raw, const PlainTable& plain) {
  const unsigned digit = static_cast<unsigned>(raw.square) - u'0';
  const int square = digit <= 9 ? static_cast<int>(digit) * plain.degrees_per_square : 0;
  const int whole = plain.field_degrees[raw.field] + square - plain.shift;
  const float subsquare_value =
      plain.subsquare_value[raw.has_subsquare ? raw.subsquare : kPlainUnits];
  return static_cast<float>(static_cast<double>(subsquare_value) + static_cast<double>(whole));
}

// The units at the axis's positions of the text without its leading and
// trailing spaces, read in place: only the spaces at its ends and the units
// at the positions are ever read. False for a text of fewer than 4 units
// after the trim, which decodes to +0.0.
[[gnu::always_inline]] inline bool ReadUnits(std::u16string_view Grid, const Axis& axis,
                                             RawUnits& raw) {
  std::size_t first = 0;
  std::size_t last = Grid.size();
  while (first < last && Grid[first] == u' ') ++first;
  while (last > first && Grid[last - 1] == u' ') --last;
  if (last - first < 4) return false;
  // From here on the field and square positions lie inside the text.
  const char16_t* units = Grid.data() + first;
  const bool has_subsquare = last - first >= static_cast<std::size_t>(axis.subsquare_position);
  raw = {units[axis.field_position - 1], units[axis.square_position - 1], has_subsquare,
         has_subsquare ? units[axis.subsquare_position - 1] : u'M'};
  return true;
}

[[gnu::always_inline]] inline Outcome<float> Decoding(std::u16string_view Grid,
                                                      const CodePage& page, const Axis& axis,
                                                      const PlainTable& plain) {
  RawUnits raw;
  if (!ReadUnits(Grid, axis, raw)) return runtime::Success(+0.0f);
  if (PlainUnits(raw, page)) [[likely]] {
    return runtime::Success(PlainDecode(raw, plain));
  }
  return ScreenedDecode(raw, page, axis);
}

Outcome<float> CheckedDecoding(std::u16string_view Grid, const CodePage& page, const Axis& axis) {
  RawUnits raw;
  if (!ReadUnits(Grid, axis, raw)) return runtime::Success(+0.0f);
  return ScreenedDecode(raw, page, axis);
}

}  // namespace

Outcome<float> LatFromGrid(std::u16string_view Grid, const CodePage& page) {
  return Decoding(Grid, page, kLatitude, kLatitudePlain);
}

Outcome<float> LongFromGrid(std::u16string_view Grid, const CodePage& page) {
  return Decoding(Grid, page, kLongitude, kLongitudePlain);
}

Outcome<float> CheckedLatFromGrid(std::u16string_view Grid, const CodePage& page) {
  return CheckedDecoding(Grid, page, kLatitude);
}

Outcome<float> CheckedLongFromGrid(std::u16string_view Grid, const CodePage& page) {
  return CheckedDecoding(Grid, page, kLongitude);
}

}  // namespace pelmora::calc
