#include "calc/grid.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace pelmora::calc {

namespace {

constexpr int kPairs = 6;

// Divisions of each pair, the same for both coordinates.
constexpr std::int32_t kRadix[kPairs] = {18, 10, 24, 10, 24, 10};

// Smallest cells (of twelve characters) in one cell of each pair: the
// product of the radices after it.
constexpr std::int32_t kUnits[kPairs] = {576000, 57600, 2400, 240, 10, 1};

// Smallest cells around the globe, east to west and south to north alike:
// 18 * 10 * 24 * 10 * 24 * 10. Half of them lie west of 0 and south of 0.
constexpr std::int32_t kCells = 10368000;
constexpr std::int32_t kHalfCells = kCells / 2;

// Smallest cells per degree: 28800 = 225 * 2^7 of longitude, 57600 =
// 225 * 2^8 of latitude.
constexpr double kLonPerDegree = 28800.0;
constexpr double kLatPerDegree = 57600.0;

// floor(x * 225 * two_power) exactly, for |x| up to 180 and two_power 128
// or 256 (so the result lies within +-5184000).
//
// The product p = x * 225 rounds; scaling it by a power of two is exact. If
// the scaled value is no whole number, the exact one lies within half a unit
// in its last place and so has the same floor: below 2^23 a double that is no
// whole number is at least one unit from the nearest whole number. If it is
// a whole number, the exact product may lie just below it; the sign of the
// rounding error decides. That error is found without rounding (Dekker's
// product, the factor 225 needing no split): x = xh + xl with xh of at most
// 26 significant bits, so xh * 225 and xl * 225 are exact, xh * 225 lies
// within a factor two of p so that xh * 225 - p is exact (Sterbenz), and the
// last sum, though rounded, has the sign of the exact error (a rounded sum is
// zero only when the exact one is).
std::int32_t FloorScaled(double x, double two_power) {
  const double p = x * 225.0;
  const double scaled = p * two_power;
  double whole = std::floor(scaled);
  if (whole == scaled) {
    const double split = 134217729.0 * x;  // 2^27 + 1
    const double xh = split - (split - x);
    const double xl = x - xh;
    const double error = (xh * 225.0 - p) + xl * 225.0;
    if (error < 0.0) whole -= 1.0;
  }
  return static_cast<std::int32_t>(whole);
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// The index of a letter from `first` (upper or lower case) within `count`
// letters, or -1.
int LetterIndex(char16_t c, char16_t first, int count) {
  const char16_t lower = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
  const int index = static_cast<int>(lower) - static_cast<int>(first);
  return index >= 0 && index < count ? index : -1;
}

// The index of character `c` of pair `pair` (0-based), or -1.
int PairIndex(int pair, char16_t c) {
  if (pair == 0) return LetterIndex(c, u'a', 18);
  if (pair % 2 == 1) return IsDigit(c) ? static_cast<int>(c - u'0') : -1;
  return LetterIndex(c, u'a', 24);
}

char16_t PairCharacter(int pair, std::int32_t index) {
  if (pair == 0) return static_cast<char16_t>(u'A' + index);
  if (pair % 2 == 1) return static_cast<char16_t>(u'0' + index);
  return static_cast<char16_t>(u'a' + index);
}

bool ValidCharacters(int characters) {
  return characters >= kGridMinCharacters && characters <= kGridMaxCharacters &&
         characters % 2 == 0;
}

}  // namespace

std::u16string_view TrimSpaces(std::u16string_view text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && text[begin] == u' ') ++begin;
  while (end > begin && text[end - 1] == u' ') --end;
  return text.substr(begin, end - begin);
}

int LocatorCharacters(std::u16string_view text) {
  const std::u16string_view units = TrimSpaces(text);
  if (units.size() > static_cast<std::size_t>(kGridMaxCharacters)) return 0;
  const int characters = static_cast<int>(units.size());
  if (!ValidCharacters(characters)) return 0;
  for (int i = 0; i < characters; ++i) {
    if (PairIndex(i / 2, units[static_cast<std::size_t>(i)]) < 0) return 0;
  }
  return characters;
}

GridStatus EncodeLocator(double lat, double lon, int characters,
                         char16_t (&out)[kGridMaxCharacters]) {
  // Refused first: NaN fails both comparisons.
  if (!ValidCharacters(characters)) return GridStatus::kOutOfRange;
  if (!(lat >= -90.0 && lat <= 90.0) || !(lon >= -180.0 && lon <= 180.0))
    return GridStatus::kOutOfRange;

  // The smallest cell containing the position, counted from the south-west
  // corner of the grid: lat in [-90, 90], lon in [-180, 180].
  std::int32_t east = FloorScaled(lon, 128.0) + kHalfCells;
  std::int32_t north = FloorScaled(lat, 256.0) + kHalfCells;
  // The antimeridian is the west edge of column A; the pole is in the top
  // row. Now east and north lie in [0, kCells).
  if (east == kCells) east = 0;
  if (north == kCells) north = kCells - 1;

  for (int pair = 0; pair < characters / 2; ++pair) {
    const std::int32_t units = kUnits[pair];
    out[2 * pair] = PairCharacter(pair, (east / units) % kRadix[pair]);
    out[2 * pair + 1] = PairCharacter(pair, (north / units) % kRadix[pair]);
  }
  return GridStatus::kOk;
}

GridStatus DecodeLocator(std::u16string_view text, GridCell* cell) {
  const std::u16string_view units = TrimSpaces(text);
  const int characters = LocatorCharacters(units);
  if (characters == 0) return GridStatus::kNotALocator;

  // The cell's index among the cells of its size, east and north.
  std::int32_t east = 0, north = 0;
  const int pairs = characters / 2;
  for (int pair = 0; pair < pairs; ++pair) {
    const auto at = static_cast<std::size_t>(2 * pair);
    east = east * kRadix[pair] + PairIndex(pair, units[at]);
    north = north * kRadix[pair] + PairIndex(pair, units[at + 1]);
  }
  // In smallest cells: the south-west corner and the size; the centre in
  // halves of them. Every numerator is a whole number below 2^24 in
  // magnitude, exact in double, and each result one correctly rounded
  // division.
  const std::int32_t size = kUnits[pairs - 1];
  const std::int32_t west_edge = east * size - kHalfCells;
  const std::int32_t south_edge = north * size - kHalfCells;
  cell->west = static_cast<double>(west_edge) / kLonPerDegree;
  cell->south = static_cast<double>(south_edge) / kLatPerDegree;
  cell->width = static_cast<double>(size) / kLonPerDegree;
  cell->height = static_cast<double>(size) / kLatPerDegree;
  cell->lon = static_cast<double>(2 * west_edge + size) / (2.0 * kLonPerDegree);
  cell->lat = static_cast<double>(2 * south_edge + size) / (2.0 * kLatPerDegree);
  cell->characters = characters;
  return GridStatus::kOk;
}

}  // namespace pelmora::calc
