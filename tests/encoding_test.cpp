#include "calc/encoding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "calc/measure.h"
#include "tests/test_support.h"

namespace pelmora::calc {
namespace {

using runtime::RtError;
using runtime::Text;
using test::T;

constexpr float kInf = std::numeric_limits<float>::infinity();

struct Row {
  float lat;
  float lon;
  std::u16string s_locator;  // expected texts; empty when the call fails
  std::u16string grid;
  RtError error;
};

// Inputs are the float32 values nearest to the decimals written.
const Row kTable[] = {
    {52.5f, 13.4f, u"JO62qm", u"JO62qm", RtError::kNone},
    {40.0f, -75.0f, u"FN20ma", u"FN20ma", RtError::kNone},
    {-33.9f, 151.2f, u"QF56oc", u"QF56oc", RtError::kNone},
    {0.0f, 0.0f, u"JJ00aa", u"JJ00aa", RtError::kNone},
    {-0.0f, -0.0f, u"JJ00aa", u"JJ00aa", RtError::kNone},
    {-90.0f, -180.0f, u"AA00aa", u"AA00aa", RtError::kNone},
    {90.0f, 180.0f, u"SS00aa", u"SS00aa", RtError::kNone},
    {90.0f, 0.0f, u"JS00aa", u"JS00aa", RtError::kNone},
    // Cell boundaries, where the two methods lean different ways.
    {51.5f, -0.12f, u"IO91wl", u"IO91wm", RtError::kNone},
    {31.5f, -10.0f, u"IM51al", u"IM51am", RtError::kNone},
    {31.0f, -10.0f, u"IM51aa", u"IM50ax", RtError::kNone},
    {30.0f, 2.0f, u"JM10aa", u"JM00xa", RtError::kNone},
    {30.0f, -2.0f, u"IM80xa", u"IM90aa", RtError::kNone},
    {89.99999f, 179.99999f, u"SS00aa", u"RR99xx", RtError::kNone},
    // Only the float32 just below 90 or 180 reaches S in sLocator; the one
    // below that does not.
    {0x1.67fffep+6f, 0.0f, u"JS00aa", u"JR09ax", RtError::kNone},
    {0x1.67fffcp+6f, 0.0f, u"JR09ax", u"JR09ax", RtError::kNone},
    {0.0f, 0x1.67fffep+7f, u"SJ00aa", u"RJ90xa", RtError::kNone},
    {0.0f, 0x1.67fffcp+7f, u"RJ90xa", u"RJ90xa", RtError::kNone},
    // Beyond the usual ranges the same arithmetic makes other characters.
    {0.0f, -181.0f, u"@J90ma", u"@J90la", RtError::kNone},
    {0.0f, 340.0f, u"[J00aa", u"[J00aa", RtError::kNone},
    {0.0f, -1470.0f, std::u16string(1, u'\0') + u"J50aa", std::u16string(1, u'\0') + u"J50aa",
     RtError::kNone},
    {0.0f, -1480.0f, std::u16string(1, u'\0') + u"J00aa", std::u16string(1, u'\0') + u"J00aa",
     RtError::kNone},
    // Field codes outside 0..255.
    {0.0f, -1500.0f, u"", u"", RtError::kInvalidArgument},
    {0.0f, 3640.0f, u"", u"", RtError::kInvalidArgument},
    {1820.0f, 0.0f, u"", u"", RtError::kInvalidArgument},
    {-741.0f, 0.0f, u"", u"", RtError::kInvalidArgument},
    {0.0f, 653879.0f, u"", u"", RtError::kInvalidArgument},  // code 32767
    // 16-bit overflow: the addition of 65, then the floor itself.
    {0.0f, 653880.0f, u"", u"", RtError::kOverflow},
    {0.0f, 655180.0f, u"", u"", RtError::kOverflow},
    {400000.0f, 0.0f, u"", u"", RtError::kOverflow},
    {kInf, 0.0f, u"", u"", RtError::kOverflow},
    // The latitude floor comes before the longitude character.
    {10000000.0f, 5000.0f, u"", u"", RtError::kOverflow},
};

void ExpectEncoding(const runtime::Outcome<Text>& got, const std::u16string& text, RtError error) {
  EXPECT_EQ(got.error, error);
  if (error == RtError::kNone) {
    EXPECT_EQ(got.value, T(text));
  } else {
    EXPECT_TRUE(got.value.IsNull()) << test::Show(got.value);
  }
}

TEST(Encoding, EdgeCases) {
  for (const Row& row : kTable) {
    SCOPED_TRACE(testing::Message() << "lat " << row.lat << " lon " << row.lon);
    ExpectEncoding(sLocator(row.lat, row.lon), row.s_locator, row.error);
    ExpectEncoding(GridFromLatLong(row.lat, row.lon), row.grid, row.error);
  }
}

// Both methods read the same whole-degree grid differently at cell
// boundaries; the number of positions where they part is fixed by their
// arithmetic: 37611 of the 65341 positions (latitudes -90..90, longitudes
// -180..180).
TEST(Encoding, WholeDegreeGridDifferences) {
  int different = 0;
  for (int lat = -90; lat <= 90; ++lat) {
    for (int lon = -180; lon <= 180; ++lon) {
      const auto a = sLocator(static_cast<float>(lat), static_cast<float>(lon));
      const auto b = GridFromLatLong(static_cast<float>(lat), static_cast<float>(lon));
      ASSERT_TRUE(a.ok() && b.ok()) << lat << "," << lon;
      ASSERT_EQ(a.value.Units().size(), 6u);
      ASSERT_EQ(b.value.Units().size(), 6u);
      if (a.value != b.value) ++different;
    }
  }
  EXPECT_EQ(different, 37611);
}

enum class Axis { kLatitude, kLongitude };

struct Limit {
  Axis axis;
  float value;
  RtError error;  // kNone: a six-character text
};

float Below(float x) { return std::nextafter(x, -kInf); }

// The coordinate limits of the failures, on both sides of each. The other
// coordinate is 0.
const Limit kLimits[] = {
    // Field codes 0..255: longitudes -1480..3640, latitudes -740..1820.
    {Axis::kLongitude, -1480.0f, RtError::kNone},
    {Axis::kLongitude, Below(-1480.0f), RtError::kInvalidArgument},
    {Axis::kLongitude, Below(3640.0f), RtError::kNone},
    {Axis::kLongitude, 3640.0f, RtError::kInvalidArgument},
    {Axis::kLatitude, -740.0f, RtError::kNone},
    {Axis::kLatitude, Below(-740.0f), RtError::kInvalidArgument},
    {Axis::kLatitude, Below(1820.0f), RtError::kNone},
    {Axis::kLatitude, 1820.0f, RtError::kInvalidArgument},
    // The 16-bit addition of 65 overflows from field index 32703 on.
    {Axis::kLongitude, Below(653880.0f), RtError::kInvalidArgument},
    {Axis::kLongitude, 653880.0f, RtError::kOverflow},
    {Axis::kLatitude, Below(326940.0f), RtError::kInvalidArgument},
    {Axis::kLatitude, 326940.0f, RtError::kOverflow},
    // The floor to 16 bits overflows outside -32768..32767.
    {Axis::kLongitude, Below(655180.0f), RtError::kOverflow},
    {Axis::kLongitude, -655540.0f, RtError::kInvalidArgument},
    {Axis::kLongitude, Below(-655540.0f), RtError::kOverflow},
    {Axis::kLatitude, -327770.0f, RtError::kInvalidArgument},
    {Axis::kLatitude, Below(-327770.0f), RtError::kOverflow},
    {Axis::kLatitude, 327590.0f, RtError::kOverflow},
    {Axis::kLongitude, -kInf, RtError::kOverflow},
    {Axis::kLatitude, -kInf, RtError::kOverflow},
    // A quiet NaN passes the floating-point tests and fails at the floor; a
    // signalling NaN fails the test of the first step that uses it.
    {Axis::kLongitude, test::QuietNan(), RtError::kOverflow},
    {Axis::kLatitude, test::QuietNan(), RtError::kOverflow},
    {Axis::kLongitude, test::SignallingNan(), RtError::kFloatingPoint},
    {Axis::kLatitude, test::SignallingNan(), RtError::kFloatingPoint},
    {Axis::kLatitude, -test::SignallingNan(), RtError::kFloatingPoint},
};

TEST(Encoding, CoordinateLimits) {
  for (const Limit& limit : kLimits) {
    const float lat = limit.axis == Axis::kLatitude ? limit.value : 0.0f;
    const float lon = limit.axis == Axis::kLongitude ? limit.value : 0.0f;
    SCOPED_TRACE(testing::Message() << "lat " << lat << " lon " << lon << " bits 0x" << std::hex
                                    << test::Bits(limit.value));
    for (const auto& got : {sLocator(lat, lon), GridFromLatLong(lat, lon)}) {
      EXPECT_EQ(got.error, limit.error);
      if (limit.error == RtError::kNone) {
        EXPECT_EQ(got.value.Units().size(), 6u) << test::Show(got.value);
      } else {
        EXPECT_TRUE(got.value.IsNull()) << test::Show(got.value);
      }
    }
  }
}

// A signalling NaN in one coordinate wins over whatever the other would do
// later, since its test comes in the first steps.
TEST(Encoding, SignallingNanBeforeLaterFailures) {
  EXPECT_EQ(sLocator(test::SignallingNan(), 1e9f).error, RtError::kFloatingPoint);
  EXPECT_EQ(GridFromLatLong(test::SignallingNan(), 1e9f).error, RtError::kFloatingPoint);
  EXPECT_EQ(sLocator(1e9f, test::SignallingNan()).error, RtError::kFloatingPoint);
  EXPECT_EQ(GridFromLatLong(1e9f, test::SignallingNan()).error, RtError::kFloatingPoint);
}

bool IsRegular(const Text& text) {
  const std::u16string& u = text.Units();
  if (u.size() != 6) return false;
  return u[0] >= u'A' && u[0] <= u'S' && u[1] >= u'A' && u[1] <= u'S' && u[2] >= u'0' &&
         u[2] <= u'9' && u[3] >= u'0' && u[3] <= u'9' && u[4] >= u'a' && u[4] <= u'x' &&
         u[5] >= u'a' && u[5] <= u'x';
}

// Any two float32 values: both methods succeed or fail together, with the
// same error; a failure delivers the null text and a success six characters;
// inside the usual ranges the characters are regular.
TEST(Encoding, AnyCoordinatesAgreeOnFailure) {
  test::Random rng(12345);
  for (int i = 0; i < 200000; ++i) {
    float lat;
    float lon;
    if (i % 2 == 0) {
      lat = rng.AnyBits();
      lon = rng.AnyBits();
    } else {
      lat = rng.Uniform(-90.0f, 90.0f);
      lon = rng.Uniform(-180.0f, 180.0f);
    }
    const auto a = sLocator(lat, lon);
    const auto b = GridFromLatLong(lat, lon);
    ASSERT_EQ(a.error, b.error) << std::hex << test::Bits(lat) << " " << test::Bits(lon);
    for (const auto* got : {&a, &b}) {
      if (got->ok()) {
        ASSERT_EQ(got->value.Units().size(), 6u);
      } else {
        ASSERT_TRUE(got->value.IsNull());
      }
    }
    if (std::fabs(lat) <= 90.0f && std::fabs(lon) <= 180.0f) {
      ASSERT_TRUE(IsRegular(a.value)) << test::Show(a.value);
      ASSERT_TRUE(IsRegular(b.value)) << test::Show(b.value);
    }
  }
}

// Both methods as called and as the full status runs them give the same
// error and the same text: over the half-degree grid (every whole degree is a
// cell boundary), random positions and random bit patterns of every
// magnitude in -90..90 x -180..180, and the float32 values next to each end
// of those ranges, on both sides, where the calls leave the plain domain.
TEST(Encoding, PlainDomainAsChecked) {
  std::vector<std::pair<float, float>> positions;
  for (int lat = -180; lat <= 180; ++lat) {
    for (int lon = -180; lon <= 180; ++lon) {
      positions.emplace_back(static_cast<float>(lat) * 0.5f, static_cast<float>(lon));
    }
  }
  test::Random rng(2718);
  for (int i = 0; i < 100000; ++i) {
    positions.emplace_back(rng.Uniform(-90.0f, 90.0f), rng.Uniform(-180.0f, 180.0f));
    // Any sign and exponent below 2^7, denormals included.
    const auto small = [&] {
      const auto bits = static_cast<std::uint32_t>(rng.Next() >> 32);
      return test::FloatFromBits(bits & 0x87FFFFFFu);
    };
    positions.emplace_back(small(), small());
  }
  std::vector<float> lat_ends;
  std::vector<float> lon_ends;
  for (const float end : {90.0f, -90.0f, 0.0f, -0.0f}) {
    float below = end;
    float above = end;
    for (int k = 0; k < 4; ++k) {
      lat_ends.push_back(below);
      lat_ends.push_back(above);
      below = std::nextafter(below, -kInf);
      above = std::nextafter(above, kInf);
    }
  }
  for (const float end : {180.0f, -180.0f, 0.0f, -0.0f}) {
    float below = end;
    float above = end;
    for (int k = 0; k < 4; ++k) {
      lon_ends.push_back(below);
      lon_ends.push_back(above);
      below = std::nextafter(below, -kInf);
      above = std::nextafter(above, kInf);
    }
  }
  for (const float lat : lat_ends) {
    for (const float lon : lon_ends) positions.emplace_back(lat, lon);
    positions.emplace_back(lat, rng.Uniform(-180.0f, 180.0f));
  }
  for (const float lon : lon_ends) positions.emplace_back(rng.Uniform(-90.0f, 90.0f), lon);

  const runtime::CodePage& page = runtime::Windows1252();
  for (const auto& [lat, lon] : positions) {
    const auto a = sLocator(lat, lon, page);
    const auto a_checked = CheckedSLocator(lat, lon, page);
    ASSERT_EQ(a.error, a_checked.error) << std::hex << test::Bits(lat) << " " << test::Bits(lon);
    ASSERT_EQ(a.value, a_checked.value) << std::hex << test::Bits(lat) << " " << test::Bits(lon);
    const auto b = GridFromLatLong(lat, lon, page);
    const auto b_checked = CheckedGridFromLatLong(lat, lon, page);
    ASSERT_EQ(b.error, b_checked.error) << std::hex << test::Bits(lat) << " " << test::Bits(lon);
    ASSERT_EQ(b.value, b_checked.value) << std::hex << test::Bits(lat) << " " << test::Bits(lon);
  }
}

}  // namespace
}  // namespace pelmora::calc
