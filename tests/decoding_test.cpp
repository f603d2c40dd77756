#include "calc/decoding.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "calc/encoding.h"
#include "calc/measure.h"
#include "runtime/code_page.h"
#include "tests/test_support.h"

namespace pelmora::calc {
namespace {

using runtime::CodePage;
using runtime::Outcome;
using runtime::RtError;
using runtime::Text;
using test::Bits;
using test::Show;
using test::T;

using Decoder = Outcome<float> (*)(const Text&, const CodePage&);

// A code page in which one unit, U+4E00 unless the test names another, has a
// code chosen by the test, the way a character of a double-byte page has a
// two-byte code, negative when its lead byte is 0x80 or above. Every other
// unit has its Windows-1252 code. The page claims no unit stands for itself.
constexpr char16_t kChosen = u'\u4E00';

class ChosenCodePage final : public CodePage {
 public:
  explicit ChosenCodePage(std::int16_t code, char16_t unit = kChosen) : code_(code), unit_(unit) {}

  char16_t CharOf(std::uint8_t code) const override { return runtime::Windows1252().CharOf(code); }

  std::int16_t CodeOf(const char16_t* units, std::size_t count) const override {
    return units[0] == unit_ ? code_ : runtime::Windows1252().CodeOf(units, count);
  }

 private:
  std::int16_t code_;
  char16_t unit_;
};

struct Expected {
  RtError error;
  float value;
};

void ExpectDecodes(Decoder decode, const char* name, const Text& grid, const CodePage& page,
                   Expected want) {
  const Outcome<float> got = decode(grid, page);
  EXPECT_EQ(got.error, want.error) << name << " " << Show(grid);
  EXPECT_EQ(Bits(got.value), Bits(want.value))
      << name << " " << Show(grid) << " gave " << got.value << ", wanted " << want.value;
}

// Both decoders on `grid` in Windows-1252, each succeeding with its value.
void ExpectLatLong(const Text& grid, float lat, float lon) {
  ExpectDecodes(LatFromGrid, "LatFromGrid", grid, runtime::Windows1252(), {RtError::kNone, lat});
  ExpectDecodes(LongFromGrid, "LongFromGrid", grid, runtime::Windows1252(), {RtError::kNone, lon});
}

// ---------------------------------------------------------------------------
// Tables of texts, Windows-1252 codes.

struct Row {
  std::u16string_view grid;
  float lat;
  float lon;
};

void CheckRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) ExpectLatLong(Text(row.grid), row.lat, row.lon);
}

TEST(Decoding, RegularAndIrregularLocators) {
  CheckRows({
      // Regular locators: subsquare centres, square centres.
      {u"JO62QM", 52.520832f, 13.375f},
      {u"JO62qm", 52.520832f, 13.375f},
      {u"jo62", 52.5f, 13.0f},
      {u" FN20 ", 40.5f, -75.0f},
      {u"QF56OD", -33.854168f, 151.20833f},
      {u"AA00aa", -89.979164f, -179.95833f},
      {u"RR99XX", 89.979164f, 179.95833f},
      {u"JJ00AA", 0.020833334f, 0.041666668f},
      {u"JJ00", 0.5f, 1.0f},
      // Five units: a subsquare longitude with a square latitude.
      {u"JO62Q", 52.5f, 13.375f},
      // Units after the sixth are never read.
      {u"JO62QM99", 52.520832f, 13.375f},
      {u"JO62qm\u4E00", 52.520832f, 13.375f},
      // Any character counts by the same rule.
      {u"JOX2", 52.5f, 1.0f},
      {u"ZZ99ZZ", 170.0625f, 340.125f},
      {u"0000", -259.5f, -519.0f},
      // A tab is not trimmed and moves every position by one; inner spaces stay.
      {u"\tJO62QM", 6.6875f, -1301.2084f},
      {u"JO62 M", 52.520832f, 9.291667f},
      {u"JO 6", 56.5f, 1.0f},
      // Near zero the subsquare value, already rounded to float32, is a large
      // part of the result: these lie 11 ulps from the float32 nearest their
      // centres (-0.020833334 and -0.041666668).
      {u"II99XX", -0.020833314f, -0.041666627f},
  });
}

TEST(Decoding, ShortTextsGiveZero) {
  const std::vector<Text> texts = {
      Text(),       T(u""),          T(u"J"),    T(u"JO6"),
      T(u"    "),   T(u"  JO6  "),   T(u"JO6 "), Text(std::u16string_view(u" \0 ", 3)),
      T(u"\xD800"), T(u"\U0001F600")};
  for (const Text& grid : texts) ExpectLatLong(grid, 0.0f, 0.0f);
}

TEST(Decoding, UnitsOfAnyKind) {
  CheckRows({
      // Embedded U+0000 has the code 0.
      {std::u16string_view(u"\0\0\0\0", 4), -739.5f, -1479.0f},
      {std::u16string_view(u"JO62\0\0", 6), 49.3125f, 6.625f},
      {std::u16string_view(u"JO\00062QM", 7), 56.6875f, -1.2083334f},
      {std::u16string_view(u"jo62qm\0\0\0", 9), 52.520832f, 13.375f},
      // Unpaired surrogates and both halves of a pair are units of their own,
      // with the code 63 ("?") of a character the page does not hold.
      {u"\xD800O62QM", 52.520832f, -206.625f},
      {u"JO62Q\xDC00", 51.9375f, 13.375f},
      {u"JO62\xDFFF\xD800", 51.9375f, 11.875f},
      {u"\U0001F60062QM", -107.479164f, -206.625f},
      {u"\U0010FFFF99\U0010FFFF", -101.0625f, -202.125f},
      {u"\u4E00\u4E0062\u4E00\u4E00", -108.0625f, -208.125f},
      // Characters of Windows-1252 outside ASCII count their byte.
      {u"\u20AC\u20AC62\u20AC\u20AC", 544.6458f, 1097.2916f},
      {u"\u0178\u017862\u0178\u0178", 855.9375f, 1719.875f},
      {u"\u00FF\u00FF99\u00FF\u00FF", 1826.9375f, 3653.875f},
      // Upper-casing is ASCII only: e-acute keeps its own code.
      {u"\u00E9\u00E962\u00E9\u00E9", 1599.0209f, 3206.0417f},
      {u"\u00C9\u00C962\u00C9\u00C9", 1277.6875f, 2563.375f},
      // Only U+0020 is trimmed; other blanks are characters.
      {u"\u00A0JO62QM", 6.6875f, 1718.7916f},
      {u"\u3000JO62QM", 6.6875f, -221.20833f},
      // Only ASCII digits count in a square position.
      {u"JO\uFF16\uFF12QM", 50.520832f, 1.375f},
  });
}

TEST(Decoding, MegabyteTexts) {
  constexpr std::size_t kMegabyte = std::size_t{1} << 20;
  const std::u16string spaces(kMegabyte, u' ');
  struct Big {
    std::u16string text;
    float lat;
    float lon;
  };
  const std::vector<Big> bigs = {
      {u"JO62QM" + std::u16string(kMegabyte, u'\xD800'), 52.520832f, 13.375f},
      {spaces + u"JO62" + spaces, 52.5f, 13.0f},
      {spaces + u"JO6" + spaces, 0.0f, 0.0f},
      {spaces, 0.0f, 0.0f},
      {std::u16string(kMegabyte, u'\0'), -742.6875f, -1485.375f},
      {std::u16string(kMegabyte, u'z'), 161.0625f, 322.125f},
  };
  for (const Big& big : bigs) ExpectLatLong(Text(big.text), big.lat, big.lon);
}

// ---------------------------------------------------------------------------
// Codes beyond Windows-1252: the 16-bit limits of the field and subsquare
// indices.

struct LimitRow {
  Decoder decode;
  const char* name;
  std::u16string_view grid;  // U+4E00 takes the chosen code
  std::int16_t code;
  Expected want;
};

TEST(Decoding, OverflowLimits) {
  constexpr RtError kOk = RtError::kNone;
  constexpr RtError kOverflow = RtError::kOverflow;
  const std::vector<LimitRow> rows = {
      // Field index (code - 65) * 10: an overflow leaves +0.0.
      {LatFromGrid, "LatFromGrid", u"J\u4E0062QM", -3211, {kOk, -32847.48f}},
      {LatFromGrid, "LatFromGrid", u"J\u4E0062QM", -3212, {kOverflow, 0.0f}},
      {LatFromGrid, "LatFromGrid", u"J\u4E0062QM", 3341, {kOk, 32672.521f}},
      {LatFromGrid, "LatFromGrid", u"J\u4E0062QM", 3342, {kOverflow, 0.0f}},
      // Field index (code - 65) * 20.
      {LongFromGrid, "LongFromGrid", u"\u4E00O62QM", -1573, {kOk, -32926.625f}},
      {LongFromGrid, "LongFromGrid", u"\u4E00O62QM", -1574, {kOverflow, 0.0f}},
      {LongFromGrid, "LongFromGrid", u"\u4E00O62QM", 1703, {kOk, 32593.375f}},
      {LongFromGrid, "LongFromGrid", u"\u4E00O62QM", 1704, {kOverflow, 0.0f}},
      // The longitude limits lie well inside the latitude ones.
      {LatFromGrid, "LatFromGrid", u"J\u4E0062QM", -1574, {kOk, -16477.479f}},
      {LatFromGrid, "LatFromGrid", u"J\u4E0062QM", 1704, {kOk, 16302.5205f}},
      // The difference itself overflows below -32703.
      {LatFromGrid, "LatFromGrid", u"J\u4E0062QM", -32768, {kOverflow, 0.0f}},
      {LongFromGrid, "LongFromGrid", u"\u4E00O62QM", -32768, {kOverflow, 0.0f}},
      {LatFromGrid, "LatFromGrid", u"J\u4E0062QM", 32767, {kOverflow, 0.0f}},
      {LongFromGrid, "LongFromGrid", u"\u4E00O62QM", 32767, {kOverflow, 0.0f}},
      // Subsquare index code - 65: an overflow leaves the field-and-square
      // value, 142 (JO62) or 192, neither shifted nor with a subsquare value.
      {LatFromGrid, "LatFromGrid", u"JO62Q\u4E00", -32703, {kOk, -1313.3125f}},
      {LatFromGrid, "LatFromGrid", u"JO62Q\u4E00", -32704, {kOverflow, 142.0f}},
      {LatFromGrid, "LatFromGrid", u"JO62Q\u4E00", -32768, {kOverflow, 142.0f}},
      {LongFromGrid, "LongFromGrid", u"JO62\u4E00M", -32703, {kOk, -2718.625f}},
      {LongFromGrid, "LongFromGrid", u"JO62\u4E00M", -32704, {kOverflow, 192.0f}},
      {LongFromGrid, "LongFromGrid", u"JO62\u4E00M", -32768, {kOverflow, 192.0f}},
      {LatFromGrid, "LatFromGrid", u"JO62Q\u4E00", 32767, {kOk, 1414.6041f}},
      {LongFromGrid, "LongFromGrid", u"JO62\u4E00M", 32767, {kOk, 2737.2083f}},
      // Lower case maps only ASCII, so the chosen character counts in any case.
      {LatFromGrid, "LatFromGrid", u"jo62q\u4E00", -32704, {kOverflow, 142.0f}},
      // The field is decoded first: with both codes out of range the value is
      // +0.0, not the field-and-square value.
      {LatFromGrid, "LatFromGrid", u"\u4E00\u4E0062\u4E00\u4E00", -32704, {kOverflow, 0.0f}},
      {LongFromGrid, "LongFromGrid", u"\u4E00\u4E0062\u4E00\u4E00", -32704, {kOverflow, 0.0f}},
      // Too short to be read: the chosen code does not matter.
      {LatFromGrid, "LatFromGrid", u"\u4E00\u4E00\u4E00", -32768, {kOk, 0.0f}},
      {LatFromGrid, "LatFromGrid", u"JO62\u4E00", -32768, {kOk, 52.5f}},
  };
  for (const LimitRow& row : rows) {
    const ChosenCodePage page(row.code);
    ExpectDecodes(row.decode, row.name, Text(row.grid), page, row.want);
  }
}

// Every 16-bit code in the field position: inside the limits the value is
// (code - 65) * factor + square centre - shift, which float32 holds exactly.
TEST(Decoding, EveryFieldCode) {
  struct Method {
    Decoder decode;
    const char* name;
    std::u16string_view grid;
    int factor;
    double centre_minus_shift;  // square 0, subsquare "M", less the shift
    int lowest;
    int highest;
  };
  const Method methods[] = {
      {LatFromGrid, "LatFromGrid", u"A\u4E00A0", 10, 0.5 - 90.0, -3211, 3341},
      {LongFromGrid, "LongFromGrid", u"\u4E00A0A", 20, 1.0 - 180.0, -1573, 1703},
  };
  for (const Method& m : methods) {
    for (int code = -32768; code <= 32767; ++code) {
      const ChosenCodePage page(static_cast<std::int16_t>(code));
      const Outcome<float> got = m.decode(Text(m.grid), page);
      if (code < m.lowest || code > m.highest) {
        ASSERT_EQ(got.error, RtError::kOverflow) << m.name << " code " << code;
        ASSERT_EQ(Bits(got.value), Bits(0.0f)) << m.name << " code " << code;
        continue;
      }
      const double exact = static_cast<double>((code - 65) * m.factor) + m.centre_minus_shift;
      ASSERT_EQ(got.error, RtError::kNone) << m.name << " code " << code;
      ASSERT_EQ(Bits(got.value), Bits(static_cast<float>(exact))) << m.name << " code " << code;
      ASSERT_EQ(static_cast<double>(got.value), exact) << m.name << " code " << code;
    }
  }
}

// Every 16-bit code in the subsquare position of JJ00, whose field-and-square
// value equals the shift: below -32703 the overflow leaves that value, above
// it the result is the subsquare value, strictly increasing with the code.
TEST(Decoding, EverySubsquareCode) {
  struct Method {
    Decoder decode;
    const char* name;
    std::u16string_view grid;
    float field_and_square;
  };
  const Method methods[] = {
      {LatFromGrid, "LatFromGrid", u"JJ00A\u4E00", 90.0f},
      {LongFromGrid, "LongFromGrid", u"JJ00\u4E00A", 180.0f},
  };
  for (const Method& m : methods) {
    float previous = -1e9f;
    for (int code = -32768; code <= 32767; ++code) {
      const ChosenCodePage page(static_cast<std::int16_t>(code));
      const Outcome<float> got = m.decode(Text(m.grid), page);
      if (code < -32703) {
        ASSERT_EQ(got.error, RtError::kOverflow) << m.name << " code " << code;
        ASSERT_EQ(Bits(got.value), Bits(m.field_and_square)) << m.name << " code " << code;
        continue;
      }
      ASSERT_EQ(got.error, RtError::kNone) << m.name << " code " << code;
      ASSERT_GT(got.value, previous) << m.name << " code " << code;
      previous = got.value;
    }
  }
}

// With Windows-1252 no unit fails anywhere, and a square position counts only
// the ASCII digits.
TEST(Decoding, EveryUnitWithWindows1252) {
  for (int unit = 0; unit <= 0xFFFF; ++unit) {
    const char16_t u = static_cast<char16_t>(unit);
    const std::u16string texts[] = {{u, u, u, u, u, u}, {u'J', u'J', u, u, u'M', u'M'}};
    for (const std::u16string& text : texts) {
      const Text grid(text);
      ASSERT_TRUE(LatFromGrid(grid).ok()) << Show(grid);
      ASSERT_TRUE(LongFromGrid(grid).ok()) << Show(grid);
    }
    const Text square(std::u16string{u'J', u'J', u, u, u'M', u'M'});
    const bool digit = unit >= u'0' && unit <= u'9';
    const float digit_value = digit ? static_cast<float>(unit - u'0') : 0.0f;
    ASSERT_EQ(Bits(LatFromGrid(square).value), Bits(LatFromGrid(T(u"JJ00MM")).value + digit_value))
        << Show(square);
    ASSERT_EQ(Bits(LongFromGrid(square).value),
              Bits(LongFromGrid(T(u"JJ00MM")).value + 2.0f * digit_value))
        << Show(square);
  }
}

// ---------------------------------------------------------------------------
// Regular locators: centres and the round trip through both encodings.

// One axis of a regular locator: field 0..17, square 0..9, subsquare 0..23,
// numbered field * 240 + square * 24 + subsquare.
constexpr int kCellsPerAxis = 18 * 10 * 24;

struct Cell {
  int field;
  int square;
  int subsquare;
};

Cell CellOf(int n) { return Cell{n / 240, n / 24 % 10, n % 24}; }

// The float32 nearest the centre of a subsquare. The centre is the odd
// integer `twice` over 48 (latitude) or 24 (longitude); `twice / 48.0`,
// rounded to double, never lies on a float32 midpoint (the factor 3 of the
// denominator keeps its binary expansion from ending), so the second rounding
// gives the nearest float32.
float LatCentre(const Cell& c) {
  const int twice = 48 * (10 * c.field + c.square - 90) + 2 * c.subsquare + 1;
  return static_cast<float>(static_cast<double>(twice) / 48.0);
}
float LonCentre(const Cell& c) {
  const int twice = 24 * (20 * c.field + 2 * c.square - 180) + 2 * c.subsquare + 1;
  return static_cast<float>(static_cast<double>(twice) / 24.0);
}

std::u16string SixCharacters(const Cell& lon, const Cell& lat) {
  return {static_cast<char16_t>(u'A' + lon.field),     static_cast<char16_t>(u'A' + lat.field),
          static_cast<char16_t>(u'0' + lon.square),    static_cast<char16_t>(u'0' + lat.square),
          static_cast<char16_t>(u'a' + lon.subsquare), static_cast<char16_t>(u'a' + lat.subsquare)};
}

// The decoded centre of every subsquare of each axis is the float32 nearest
// the exact centre, except in the 28 subsquares of each axis whose centre
// lies within 2 degrees of latitude (4 of longitude) of zero: there the
// subsquare value, rounded to float32 before the field-and-square value is
// added, carries an error larger than half an ulp of the sum.
// Both methods as called and with the codes from the page under the full
// status give the same error and the same bits: every pair of units below 128
// at the field and subsquare positions (and one unit past 127 each, where the
// calls leave the plain domain), with square units of every kind, in texts of
// six units, with spaces around them, and of five and four units (without
// the latitude's subsquare, then without either); and in a page that claims
// no unit stands for itself and gives "J" another code.
TEST(Decoding, PlainDomainAsChecked) {
  const ChosenCodePage chosen(-1, u'J');
  std::vector<char16_t> ends;
  for (char16_t u = 0; u < 0x80; ++u) ends.push_back(u);
  ends.push_back(u'\x80');
  ends.push_back(u'\u00E9');
  for (const char16_t field : ends) {
    for (const char16_t subsquare : ends) {
      for (const char16_t square : {u'0', u'7', u'9', u'/', u':', u'x'}) {
        const std::u16string six = {field, field, square, square, subsquare, subsquare};
        for (const std::u16string& text :
             {six, u"  " + six + u" ", six.substr(0, 5), six.substr(0, 4)}) {
          for (const CodePage* page :
               {&runtime::Windows1252(), static_cast<const CodePage*>(&chosen)}) {
            const Outcome<float> lat = LatFromGrid(text, *page);
            const Outcome<float> lat_checked = CheckedLatFromGrid(text, *page);
            ASSERT_EQ(lat.error, lat_checked.error) << Show(T(text));
            ASSERT_EQ(Bits(lat.value), Bits(lat_checked.value)) << Show(T(text));
            const Outcome<float> lon = LongFromGrid(text, *page);
            const Outcome<float> lon_checked = CheckedLongFromGrid(text, *page);
            ASSERT_EQ(lon.error, lon_checked.error) << Show(T(text));
            ASSERT_EQ(Bits(lon.value), Bits(lon_checked.value)) << Show(T(text));
          }
        }
      }
    }
  }
}

TEST(DecodingRoundTrip, CentreOfEverySubsquare) {
  const Cell other = CellOf(1234);
  int lat_apart = 0;
  int lon_apart = 0;
  for (int n = 0; n < kCellsPerAxis; ++n) {
    const Cell cell = CellOf(n);
    const auto lat = LatFromGrid(Text(SixCharacters(other, cell)));
    const auto lon = LongFromGrid(Text(SixCharacters(cell, other)));
    ASSERT_TRUE(lat.ok() && lon.ok());
    const float lat_centre = LatCentre(cell);
    const float lon_centre = LonCentre(cell);
    if (Bits(lat.value) != Bits(lat_centre)) {
      ++lat_apart;
      EXPECT_LT(lat_centre, 2.0f) << Show(Text(SixCharacters(other, cell)));
      EXPECT_GT(lat_centre, -2.0f) << Show(Text(SixCharacters(other, cell)));
    }
    if (Bits(lon.value) != Bits(lon_centre)) {
      ++lon_apart;
      EXPECT_LT(lon_centre, 4.0f) << Show(Text(SixCharacters(cell, other)));
      EXPECT_GT(lon_centre, -4.0f) << Show(Text(SixCharacters(cell, other)));
    }
  }
  EXPECT_EQ(lat_apart, 28);
  EXPECT_EQ(lon_apart, 28);
}

struct RoundTripTally {
  std::int64_t decode_failures = 0;
  std::int64_t sLocator_failures = 0;
  std::int64_t GridFromLatLong_failures = 0;
  std::vector<std::string> examples;

  void Note(const std::string& what) {
    if (examples.size() < 8) examples.push_back(what);
  }
};

// Decodes the six-character locator numbered `n` (longitude cell * 4320 +
// latitude cell) and encodes the centre back by both methods.
void RoundTripSix(std::int64_t n, RoundTripTally& tally) {
  const Cell lon = CellOf(static_cast<int>(n / kCellsPerAxis));
  const Cell lat = CellOf(static_cast<int>(n % kCellsPerAxis));
  const Text grid(SixCharacters(lon, lat));

  const auto dLat = LatFromGrid(grid);
  const auto dLon = LongFromGrid(grid);
  if (!dLat || !dLon) {
    ++tally.decode_failures;
    tally.Note("decode " + Show(grid));
    return;
  }
  const auto s = sLocator(dLat.value, dLon.value);
  if (!s || s.value != grid) {
    ++tally.sLocator_failures;
    tally.Note("sLocator " + Show(grid) + " -> " + Show(s.value));
  }
  const auto g = GridFromLatLong(dLat.value, dLon.value);
  if (!g || g.value != grid) {
    ++tally.GridFromLatLong_failures;
    tally.Note("GridFromLatLong " + Show(grid) + " -> " + Show(g.value));
  }
}

// All 18,662,400 six-character locators (about 2 s of CPU natively).
TEST(DecodingRoundTrip, EverySixCharacterLocator) {
  RoundTripTally tally;
  constexpr std::int64_t kTotal = std::int64_t{kCellsPerAxis} * kCellsPerAxis;
  for (std::int64_t n = 0; n < kTotal; ++n) RoundTripSix(n, tally);
  EXPECT_EQ(tally.decode_failures, 0);
  EXPECT_EQ(tally.sLocator_failures, 0);
  EXPECT_EQ(tally.GridFromLatLong_failures, 0);
  for (const std::string& e : tally.examples) ADD_FAILURE() << e;
}

// Every four-character locator decodes to the exact centre of its square,
// and both encodings give the locator back. That centre lies on the border
// between subsquares l and m of each axis; which side an encoding picks
// depends on its rounding, and the counts pin that down.
TEST(DecodingRoundTrip, EveryFourCharacterLocator) {
  struct PairCount {
    int ll = 0, lm = 0, ml = 0, mm = 0, other = 0;
    void Add(char16_t lon, char16_t lat) {
      if (lon == u'l' && lat == u'l')
        ++ll;
      else if (lon == u'l' && lat == u'm')
        ++lm;
      else if (lon == u'm' && lat == u'l')
        ++ml;
      else if (lon == u'm' && lat == u'm')
        ++mm;
      else
        ++other;
    }
  };
  PairCount s_pairs;
  PairCount g_pairs;
  for (int lon = 0; lon < 180; ++lon) {
    for (int lat = 0; lat < 180; ++lat) {
      const std::u16string four = {
          static_cast<char16_t>(u'A' + lon / 10), static_cast<char16_t>(u'A' + lat / 10),
          static_cast<char16_t>(u'0' + lon % 10), static_cast<char16_t>(u'0' + lat % 10)};
      const Text grid(four);
      const auto dLat = LatFromGrid(grid);
      const auto dLon = LongFromGrid(grid);
      ASSERT_TRUE(dLat.ok() && dLon.ok()) << Show(grid);
      ASSERT_EQ(Bits(dLat.value), Bits(static_cast<float>(lat) - 89.5f)) << Show(grid);
      ASSERT_EQ(Bits(dLon.value), Bits(2.0f * static_cast<float>(lon) - 179.0f)) << Show(grid);

      const auto s = sLocator(dLat.value, dLon.value);
      const auto g = GridFromLatLong(dLat.value, dLon.value);
      ASSERT_TRUE(s.ok() && g.ok()) << Show(grid);
      ASSERT_EQ(s.value.Units().substr(0, 4), four) << Show(grid) << " " << Show(s.value);
      ASSERT_EQ(g.value.Units().substr(0, 4), four) << Show(grid) << " " << Show(g.value);
      s_pairs.Add(s.value.Units()[4], s.value.Units()[5]);
      g_pairs.Add(g.value.Units()[4], g.value.Units()[5]);
    }
  }
  // sLocator puts 113 of the 180 square centres of each axis in subsquare m,
  // GridFromLatLong 108.
  EXPECT_EQ(s_pairs.mm, 113 * 113);
  EXPECT_EQ(s_pairs.lm, 67 * 113);
  EXPECT_EQ(s_pairs.ml, 113 * 67);
  EXPECT_EQ(s_pairs.ll, 67 * 67);
  EXPECT_EQ(s_pairs.other, 0);
  EXPECT_EQ(g_pairs.mm, 108 * 108);
  EXPECT_EQ(g_pairs.lm, 72 * 108);
  EXPECT_EQ(g_pairs.ml, 108 * 72);
  EXPECT_EQ(g_pairs.ll, 72 * 72);
  EXPECT_EQ(g_pairs.other, 0);
}

}  // namespace
}  // namespace pelmora::calc
