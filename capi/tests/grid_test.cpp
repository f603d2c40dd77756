// Locators of every precision and the paths between them, through the C
// functions: encoding and decoding against exact values worked out with GNU
// MPFR from the definition of the grid, which texts are locators against a
// regular expression, and the paths against DistanceFrom and Azimut of the
// centres.
#include <mpfr.h>
#include <xmmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <regex>
#include <string>
#include <string_view>

#include "gtest/gtest.h"
#include "pelmora.h"
#include "tests/test_support.h"

namespace {

using pelmora::test::Bits;
using pelmora::test::Random;

// ---- The grid as defined, in exact arithmetic ----

// Divisions of each pair; cells of the smallest size around the globe.
constexpr long kRadix[6] = {18, 10, 24, 10, 24, 10};
constexpr long kCells = 10368000;

// A double in [0, 1) from 53 random bits.
double Unit(Random& random) { return static_cast<double>(random.Next() >> 11) * 0x1p-53; }

// floor((x + half_turn) * cells / (2 * half_turn)), exactly: x is a double,
// so 1200 bits hold the sum and the product without rounding.
long ExactIndex(double x, long half_turn) {
  mpfr_t t;
  mpfr_init2(t, 1200);
  mpfr_set_d(t, x, MPFR_RNDN);
  mpfr_add_si(t, t, half_turn, MPFR_RNDN);
  mpfr_mul_si(t, t, kCells, MPFR_RNDN);
  mpfr_div_si(t, t, 2 * half_turn, MPFR_RNDD);  // rounded down: the floor stays the exact one's
  const long index = mpfr_get_si(t, MPFR_RNDD);
  mpfr_clear(t);
  return index;
}

// The locator of twelve characters of the smallest cells (east, north),
// its pairs from the last.
std::string LocatorOf(long east, long north) {
  std::string text(12, ' ');
  for (int pair = 5; pair >= 0; --pair) {
    const long e = east % kRadix[pair], n = north % kRadix[pair];
    east /= kRadix[pair];
    north /= kRadix[pair];
    const char base = pair == 0 ? 'A' : pair % 2 == 1 ? '0' : 'a';
    text[static_cast<std::size_t>(2 * pair)] = static_cast<char>(base + e);
    text[static_cast<std::size_t>(2 * pair + 1)] = static_cast<char>(base + n);
  }
  return text;
}

// The exact locator of a position: boundaries to the north and east, the
// pole in the top row, longitude 180 as -180.
std::string ExactLocator(double lat, double lon) {
  const long east = ExactIndex(lon, 180) % kCells;
  const long north = std::min(ExactIndex(lat, 90), kCells - 1);
  return LocatorOf(east, north);
}

std::string Encode(double lat, double lon, int characters, int* status) {
  char text[PELMORA_GRID_SIZE];
  *status = pelmora_locator(lat, lon, characters, text, sizeof text);
  char16_t units[PELMORA_GRID_SIZE];
  const int status16 = pelmora_locator16(lat, lon, characters, units, PELMORA_GRID_SIZE);
  std::string from16;
  for (std::size_t i = 0; units[i] != 0; ++i) from16 += static_cast<char>(units[i]);
  EXPECT_EQ(status16, *status);
  EXPECT_EQ(from16, text);
  return text;
}

// (lat, lon) encodes at every precision to the leading characters of its
// exact twelve.
void ExpectExactCell(double lat, double lon) {
  const std::string exact = ExactLocator(lat, lon);
  for (int characters = 2; characters <= 12; characters += 2) {
    int status;
    const std::string text = Encode(lat, lon, characters, &status);
    ASSERT_EQ(status, PELMORA_OK);
    ASSERT_EQ(text, exact.substr(0, static_cast<std::size_t>(characters)))
        << std::hexfloat << lat << ", " << lon;
  }
}

// ---- Encoding ----

TEST(Encoding, CellHoldsTheExactPosition) {
  Random random(28);
  const double special[] = {0.0,
                            -0.0,
                            std::numeric_limits<double>::denorm_min(),
                            -std::numeric_limits<double>::denorm_min(),
                            1e-300,
                            -1e-300,
                            90.0,
                            -90.0,
                            180.0,
                            -180.0,
                            std::nextafter(90.0, 0.0),
                            std::nextafter(-90.0, 0.0),
                            std::nextafter(180.0, 0.0),
                            std::nextafter(-180.0, 0.0),
                            13.4,
                            52.5};
  for (const double lat : special) {
    for (const double lon : special) {
      if (std::fabs(lat) <= 90.0) ExpectExactCell(lat, lon);
    }
  }
  for (int i = 0; i < 200000; ++i) {
    // Anywhere; on a boundary that is a double (a multiple of 1/128 or
    // 1/256 degree) or next to it; next to one that is not.
    const double lat_boundary = static_cast<double>(random.Next() % 46081) / 256.0 - 90.0;
    const double lon_boundary = static_cast<double>(random.Next() % 46081) / 128.0 - 180.0;
    const double lat_near =
        static_cast<double>(static_cast<long>(random.Next() % 10368001)) / 57600.0 - 90.0;
    const double lon_near =
        static_cast<double>(static_cast<long>(random.Next() % 10368001)) / 28800.0 - 180.0;
    const double lats[] = {-90.0 + 180.0 * Unit(random), lat_boundary, lat_near};
    const double lons[] = {-180.0 + 360.0 * Unit(random), lon_boundary, lon_near};
    const double lat = lats[random.Next() % 3], lon = lons[random.Next() % 3];
    const int step_lat = static_cast<int>(random.Next() % 3) - 1;
    const int step_lon = static_cast<int>(random.Next() % 3) - 1;
    const double moved_lat =
        step_lat == 0 ? lat : std::nextafter(lat, step_lat * std::numeric_limits<double>::max());
    const double moved_lon =
        step_lon == 0 ? lon : std::nextafter(lon, step_lon * std::numeric_limits<double>::max());
    if (std::fabs(moved_lat) > 90.0 || std::fabs(moved_lon) > 180.0) continue;
    ExpectExactCell(moved_lat, moved_lon);
    if (HasFatalFailure()) return;
  }
}

TEST(Encoding, OutsideTheGridRefused) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double lat, lon;
    int characters;
  };
  for (const Case& c : {Case{std::nextafter(90.0, 91.0), 0.0, 6}, Case{-90.5, 0.0, 6},
                        Case{0.0, std::nextafter(180.0, 181.0), 6}, Case{0.0, -180.5, 6},
                        Case{nan, 0.0, 6}, Case{0.0, nan, 6}, Case{inf, 0.0, 6}, Case{0.0, -inf, 6},
                        Case{0.0, 0.0, 0}, Case{0.0, 0.0, 1}, Case{0.0, 0.0, 5}, Case{0.0, 0.0, 14},
                        Case{0.0, 0.0, -2}, Case{0.0, 0.0, std::numeric_limits<int>::max()}}) {
    int status;
    EXPECT_EQ(Encode(c.lat, c.lon, c.characters, &status), "");
    EXPECT_EQ(status, PELMORA_OUT_OF_RANGE) << c.lat << ", " << c.lon << ", " << c.characters;
  }
  char text[PELMORA_GRID_SIZE] = "unchanged";
  EXPECT_EQ(pelmora_locator(52.5, 13.4, 8, text, 8), PELMORA_BUFFER_TOO_SMALL);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(pelmora_locator(52.5, 13.4, 8, text, 9), PELMORA_OK);
  EXPECT_STREQ(text, "JO62qm80");
  EXPECT_EQ(pelmora_locator(52.5, 13.4, 8, nullptr, 9), PELMORA_NULL_POINTER);
}

// ---- Decoding ----

// The exact centre, corner and size along one axis of the cell `index`
// among `cells` across 2 * half_turn degrees, each rounded once to double.
struct Axis {
  double centre, corner, size;
};

Axis ExactAxis(long index, long cells, long half_turn) {
  mpfr_t t;
  mpfr_init2(t, 256);
  Axis axis;
  mpfr_set_si(t, 2 * half_turn, MPFR_RNDN);
  mpfr_div_si(t, t, cells, MPFR_RNDN);
  axis.size = mpfr_get_d(t, MPFR_RNDN);
  mpfr_set_si(t, 2 * index + 1, MPFR_RNDN);
  mpfr_mul_si(t, t, half_turn, MPFR_RNDN);
  mpfr_div_si(t, t, cells, MPFR_RNDN);
  mpfr_sub_si(t, t, half_turn, MPFR_RNDN);
  axis.centre = mpfr_get_d(t, MPFR_RNDN);
  mpfr_set_si(t, 2 * index, MPFR_RNDN);
  mpfr_mul_si(t, t, half_turn, MPFR_RNDN);
  mpfr_div_si(t, t, cells, MPFR_RNDN);
  mpfr_sub_si(t, t, half_turn, MPFR_RNDN);
  axis.corner = mpfr_get_d(t, MPFR_RNDN);
  mpfr_clear(t);
  return axis;
}

// Decoding a locator of `pairs` pairs of the cell (east, north) among
// cells of its size: the nearest doubles, in either case and both
// encodings, and its centre encodes back to it.
void ExpectExactDecoding(long east, long north, int pairs, bool shuffle_case) {
  long cells = 1, scale = 1;
  for (int pair = 0; pair < 6; ++pair) (pair < pairs ? cells : scale) *= kRadix[pair];
  const std::string full = LocatorOf(east * scale, north * scale);
  const std::string text = full.substr(0, static_cast<std::size_t>(2 * pairs));
  std::string shown = text;
  if (shuffle_case) {
    for (char& c : shown) {
      if (c >= 'a' && c <= 'z' && (east + north + c) % 2 == 0) c = static_cast<char>(c - 32);
      if (c >= 'A' && c <= 'Z' && (east + c) % 3 == 0) c = static_cast<char>(c + 32);
    }
  }
  pelmora_cell cell;
  ASSERT_EQ(pelmora_locator_cell(shown.data(), shown.size(), &cell), PELMORA_OK) << shown;
  const Axis lon = ExactAxis(east, cells, 180), lat = ExactAxis(north, cells, 90);
  ASSERT_EQ(Bits(cell.lon), Bits(lon.centre)) << shown;
  ASSERT_EQ(Bits(cell.lat), Bits(lat.centre)) << shown;
  ASSERT_EQ(Bits(cell.west), Bits(lon.corner)) << shown;
  ASSERT_EQ(Bits(cell.south), Bits(lat.corner)) << shown;
  ASSERT_EQ(Bits(cell.width), Bits(lon.size)) << shown;
  ASSERT_EQ(Bits(cell.height), Bits(lat.size)) << shown;
  ASSERT_EQ(cell.characters, 2 * pairs);

  const std::u16string units(shown.begin(), shown.end());
  pelmora_cell cell16;
  double centre_lat, centre_lon;
  ASSERT_EQ(pelmora_locator_cell16(units.data(), units.size(), &cell16), PELMORA_OK);
  ASSERT_EQ(pelmora_locator_centre(shown.data(), shown.size(), &centre_lat, &centre_lon),
            PELMORA_OK);
  ASSERT_EQ(std::memcmp(&cell, &cell16, sizeof cell), 0) << shown;
  ASSERT_EQ(Bits(centre_lat), Bits(cell.lat));
  ASSERT_EQ(Bits(centre_lon), Bits(cell.lon));

  int status;
  ASSERT_EQ(Encode(cell.lat, cell.lon, 2 * pairs, &status), text);
}

TEST(Decoding, NearestDoublesOfTheExactCell) {
  // Every field and every square; random cells of the longer locators.
  for (long east = 0; east < 18; ++east) {
    for (long north = 0; north < 18; ++north) ExpectExactDecoding(east, north, 1, false);
  }
  for (long east = 0; east < 180; ++east) {
    for (long north = 0; north < 180; ++north) {
      ExpectExactDecoding(east, north, 2, (east * north) % 7 == 0);
      if (HasFatalFailure()) return;
    }
  }
  Random random(30);
  for (int i = 0; i < 100000; ++i) {
    const int pairs = 3 + static_cast<int>(random.Next() % 4);
    long cells = 1;
    for (int pair = 0; pair < pairs; ++pair) cells *= kRadix[pair];
    const auto pick = [&] {
      const long r = static_cast<long>(random.Next() % static_cast<std::uint64_t>(cells));
      // The edges of the grid and of the equator and the prime meridian
      // often, any cell otherwise.
      switch (random.Next() % 4) {
        case 0:
          return r % 2 == 0 ? 0 : cells - 1;
        case 1:
          return cells / 2 - (r % 2);
        default:
          return r;
      }
    };
    const long east = pick(), north = pick();
    ExpectExactDecoding(east, north, pairs, i % 2 == 0);
    if (HasFatalFailure()) return;
  }
}

// ---- Which texts are locators ----

// Texts made of pieces around the edges of each character's range, spaces
// inside and at both ends, a tab, a NUL and a character outside ASCII:
// locators exactly when the expression says so, in UTF-8 and UTF-16 alike,
// and decoding fails on all others.
TEST(Locators, ExactlyTheTextsOfTheExtendedSystem) {
  const std::regex locator(
      " *([A-Ra-r]{2}(?:[0-9]{2}(?:[A-Xa-x]{2}(?:[0-9]{2}(?:[A-Xa-x]{2}(?:[0-9]{2})?)?)?)?)?) *");
  struct Piece {
    std::string_view utf8;
    std::u16string_view utf16;
  };
  const Piece pieces[] = {{" ", u" "},
                          {"A", u"A"},
                          {"r", u"r"},
                          {"R", u"R"},
                          {"S", u"S"},
                          {"s", u"s"},
                          {"a", u"a"},
                          {"x", u"x"},
                          {"X", u"X"},
                          {"y", u"y"},
                          {"Y", u"Y"},
                          {"@", u"@"},
                          {"[", u"["},
                          {"`", u"`"},
                          {"{", u"{"},
                          {"0", u"0"},
                          {"9", u"9"},
                          {"/", u"/"},
                          {":", u":"},
                          {"\t", u"\t"},
                          {std::string_view("\0", 1), std::u16string_view(u"\0", 1)},
                          {"\xC3\xA9", u"\u00E9"}};
  constexpr std::size_t kPieces = sizeof pieces / sizeof pieces[0];
  Random random(31);
  int locators = 0;
  for (int i = 0; i < 300000; ++i) {
    // Mostly the characters of a locator where it has them.
    const std::string model = LocatorOf(static_cast<long>(random.Next() % kCells),
                                        static_cast<long>(random.Next() % kCells));
    std::string text;
    std::u16string units;
    const std::size_t length = random.Next() % 15;
    for (std::size_t k = 0; k < length; ++k) {
      if (k < 12 && random.Next() % 3 != 0) {
        text += model[k];
        units += static_cast<char16_t>(model[k]);
      } else {
        const Piece& piece = pieces[random.Next() % kPieces];
        text += piece.utf8;
        units += piece.utf16;
      }
    }
    std::smatch match;
    const bool expected = std::regex_match(text, match, locator);
    const int expected_characters = expected ? static_cast<int>(match[1].length()) : 0;
    int characters = -1, characters16 = -1;
    const int status = pelmora_is_locator(text.data(), text.size(), &characters);
    const int status16 = pelmora_is_locator16(units.data(), units.size(), &characters16);
    ASSERT_EQ(characters, expected_characters) << '"' << text << '"';
    ASSERT_EQ(characters16, expected_characters) << '"' << text << '"';
    ASSERT_EQ(status, expected ? PELMORA_OK : PELMORA_NOT_A_LOCATOR);
    ASSERT_EQ(status16, status);
    pelmora_cell cell;
    ASSERT_EQ(pelmora_locator_cell(text.data(), text.size(), &cell), status);
    if (!expected) {
      ASSERT_EQ(Bits(cell.lat) | Bits(cell.lon) | Bits(cell.width), 0u);
    }
    locators += expected;
  }
  EXPECT_GT(locators, 10000);  // the texts reach both answers
}

// ---- Paths between locators ----

// A locator of 4 or 6 characters enters the path through the DLL's float
// centres, any other through its exact centre rounded to float: the same
// four figures as the path between those positions, and those as
// DistanceFrom, Azimut and the long-path definitions give them.
TEST(Paths, ThroughTheCentresOfEachPrecision) {
  Random random(32);
  for (int i = 0; i < 50000; ++i) {
    std::string texts[2];
    float lat[2], lon[2];
    for (int k = 0; k < 2; ++k) {
      const std::size_t characters = 2 * (1 + random.Next() % 6);
      texts[k] = LocatorOf(static_cast<long>(random.Next() % kCells),
                           static_cast<long>(random.Next() % kCells))
                     .substr(0, characters);
      if (characters == 4 || characters == 6) {
        ASSERT_EQ(pelmora_lat_from_grid(texts[k].data(), characters, &lat[k]), PELMORA_OK);
        ASSERT_EQ(pelmora_long_from_grid(texts[k].data(), characters, &lon[k]), PELMORA_OK);
      } else {
        double centre_lat, centre_lon;
        ASSERT_EQ(pelmora_locator_centre(texts[k].data(), characters, &centre_lat, &centre_lon),
                  PELMORA_OK);
        lat[k] = static_cast<float>(centre_lat);
        lon[k] = static_cast<float>(centre_lon);
      }
    }
    if (i % 3 == 0) texts[0] = "  " + texts[0] + " ";  // spaces at both ends skipped
    pelmora_path grid, position;
    const int status = pelmora_grid_path(texts[0].data(), texts[0].size(), texts[1].data(),
                                         texts[1].size(), &grid);
    const std::u16string from16(texts[0].begin(), texts[0].end()),
        to16(texts[1].begin(), texts[1].end());
    pelmora_path grid16;
    ASSERT_EQ(pelmora_grid_path16(from16.data(), from16.size(), to16.data(), to16.size(), &grid16),
              status);
    ASSERT_EQ(pelmora_position_path(lat[0], lon[0], lat[1], lon[1], &position), status);
    ASSERT_EQ(std::memcmp(&grid, &position, sizeof grid), 0) << texts[0] << " " << texts[1];
    ASSERT_EQ(std::memcmp(&grid, &grid16, sizeof grid), 0) << texts[0] << " " << texts[1];

    float distance, bearing, long_distance, long_bearing;
    ASSERT_EQ(pelmora_distance_from(lat[0], lon[0], lat[1], lon[1], &distance), PELMORA_OK);
    ASSERT_EQ(pelmora_azimut(lat[0], lon[0], lat[1], lon[1], &bearing), status);
    ASSERT_EQ(pelmora_long_path_distance(distance, &long_distance), PELMORA_OK);
    ASSERT_EQ(pelmora_long_path_bearing(bearing, &long_bearing), PELMORA_OK);
    ASSERT_EQ(Bits(grid.distance), Bits(distance));
    ASSERT_EQ(Bits(grid.bearing), Bits(bearing));
    ASSERT_EQ(Bits(grid.long_distance), Bits(long_distance));
    ASSERT_EQ(Bits(grid.long_bearing), Bits(status == PELMORA_OK ? long_bearing : 0.0f));
  }
}

// ---- The caller's floating-point environment ----

// Hosts rounding upwards, downwards and towards zero, with flush to zero:
// the same bits as in the default environment, and their environment back.
TEST(Grid, HostEnvironmentNeitherUsedNorChanged) {
  Random random(33);
  for (int i = 0; i < 2000; ++i) {
    const double lat = -90.0 + 180.0 * Unit(random), lon = -180.0 + 360.0 * Unit(random);
    char expected_text[PELMORA_GRID_SIZE];
    ASSERT_EQ(pelmora_locator(lat, lon, 12, expected_text, sizeof expected_text), PELMORA_OK);
    pelmora_cell expected;
    ASSERT_EQ(pelmora_locator_cell(expected_text, 12, &expected), PELMORA_OK);
    for (const unsigned set : {0xDF80u, 0xBF80u, 0xFF80u}) {
      const unsigned host = _mm_getcsr();
      _mm_setcsr(set);
      char text[PELMORA_GRID_SIZE];
      pelmora_cell cell;
      const int encoded = pelmora_locator(lat, lon, 12, text, sizeof text);
      const int decoded = pelmora_locator_cell(expected_text, 12, &cell);
      const unsigned after = _mm_getcsr();
      _mm_setcsr(host);
      ASSERT_EQ(after, set);
      ASSERT_EQ(encoded, PELMORA_OK);
      ASSERT_EQ(decoded, PELMORA_OK);
      ASSERT_STREQ(text, expected_text);
      ASSERT_EQ(std::memcmp(&cell, &expected, sizeof cell), 0) << expected_text;
    }
  }
}

}  // namespace
