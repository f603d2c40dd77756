#include "calc/bearing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <iomanip>
#include <iostream>
#include <limits>
#include <numbers>

#include "calc/measure.h"
#include "runtime/numeric.h"
#include "tests/test_support.h"

namespace pelmora::calc {
namespace {

using runtime::RtError;
using test::Bits;
using test::FloatFromBits;

constexpr float kInf = std::numeric_limits<float>::infinity();

float Up(float x) { return std::nextafter(x, kInf); }
float Down(float x) { return std::nextafter(x, -kInf); }

struct Pair {
  float my_lat, my_lon, ln_lat, ln_lon;
};

// ---------------------------------------------------------------------------
// Edge cases: result, and AzimutValue after the clockwise turn (bit pattern,
// with the decimals it is usually quoted with).

struct TurnedCase {
  Pair in;
  float result;
  std::uint32_t turned;  // AzimutValue before the whole-degree rounding
  double quoted;
  int decimals;
};

TEST(Azimut, EdgeCaseTable) {
  const TurnedCase cases[] = {
      {{52.5f, 13.4f, 40.7f, -74.0f}, 296.0f, 0x4394025Bu, 296.018, 3},
      {{40.7f, -74.0f, 52.5f, 13.4f}, 46.0f, 0x4238BEC0u, 46.186, 3},
      {{-33.9f, 151.2f, 51.5f, -0.1f}, 319.0f, 0x439F8BDEu, 319.093, 3},
      {{51.5f, -0.1f, -33.9f, 151.2f}, 61.0f, 0x42734990u, 60.822, 3},
      {{-33.9f, 151.2f, -34.0f, 151.3f}, 140.0f, 0x430C594Eu, 140.349, 3},
      // My position may be zero.
      {{0.0f, 0.0f, 1.0f, 1.0f}, 45.0f, 0x4233FBA0u, 44.996, 3},
      {{52.5f, 13.4f, 52.5f, 14.4f}, 90.0f, 0x42B334E8u, 89.603, 3},
      {{52.5f, 13.4f, 52.5f, 12.4f}, 270.0f, 0x438732C6u, 270.397, 3},
      {{90.0f, 0.0f, 10.0f, 10.0f}, 170.0f, 0x432A0000u, 170.000, 3},
      // North is both 0 and 360.
      {{52.5f, 13.4f, 60.0f, 13.3f}, 360.0f, 0x43B3CEF8u, 359.617, 3},
      {{52.5f, 13.4f, 60.0f, 13.5f}, 0.0f, 0x3EC42000u, 0.383, 3},
      {{10.0f, 10.0f, 20.0f, -170.0f}, 360.0f, 0x43B3FFFCu, 359.9999, 4},
      // 180 to -180 is a small difference after normalisation, not equality.
      {{52.5f, 180.0f, 40.0f, -180.0f}, 180.0f, 0x4333FFE0u, 179.9995, 4},
      {{52.5f, 180.0f, 60.0f, -180.0f}, 0.0f, 0x3A080000u, 0.0005, 4},
      // A difference equal to pi32 is not normalised: the far side of the
      // meridian, where the great-circle bearing is 0 and 180.
      {{50.0f, 99.999619f, 40.0f, -80.00045f}, 180.0f, 0x43340000u, 180.000, 3},
      {{-50.0f, 99.999619f, -40.0f, -80.00045f}, 360.0f, 0x43B40000u, 360.000, 3},
      // One float32 further and it is: due north across the pole.
      {{50.0f, 99.999619f, 40.0f, Down(-80.00045f)}, 0.0f, 0x00000000u, 0.0, 3},
      // One pass of normalisation: 600 degrees becomes 240 and stays, so the
      // quadrant is that of a target to the west, 180 off the answer for -120.
      {{52.5f, 500.0f, 40.0f, -100.0f}, 224.0f, 0x435FA91Fu, 223.661, 3},
      {{52.5f, 140.0f, 40.0f, -100.0f}, 44.0f, 0x422EA488u, 43.661, 3},
      // Across the 180 meridian the difference is scaled by K before the turn
      // 2pi32 is taken off, which leaves about 1.4e-4 degrees of longitude:
      // two pairs 250 m apart, across the 180 and the prime meridian, whose
      // great-circle bearings are 63.236 and 63.073.
      {{10.0f, 179.999f, 10.001f, -179.999f}, 65.0f, 0x42817754u, 64.733, 3},
      {{10.0f, -0.001f, 10.001f, 0.001f}, 63.0f, 0x427C07B8u, 63.008, 3},
      // Halves go up, not to even.
      {{-88.0f, -9.0f, -86.0f, 15.0f}, 45.0f, 0x42320000u, 44.5, 1},
      {{-76.0f, 142.0f, 86.0f, -102.0f}, 17.0f, 0x41840000u, 16.5, 1},
      {{9.0f, 109.0f, 55.0f, 26.0f}, 325.0f, 0x43A24000u, 324.5, 1},
  };
  for (const TurnedCase& c : cases) {
    const Pair& p = c.in;
    SCOPED_TRACE(testing::Message()
                 << p.my_lat << ", " << p.my_lon << " -> " << p.ln_lat << ", " << p.ln_lon);
    BearingFields before_fields;
    const auto turned = AzimutBeforeRounding(before_fields, p.my_lat, p.my_lon, p.ln_lat, p.ln_lon);
    ASSERT_TRUE(turned.ok());
    EXPECT_FALSE(turned.value.decided);
    EXPECT_EQ(Bits(turned.value.degrees), c.turned) << turned.value.degrees;
    EXPECT_LE(std::fabs(static_cast<double>(turned.value.degrees) - c.quoted),
              0.5 * std::pow(10.0, -c.decimals))
        << "quoted as " << c.quoted;

    BearingFields fields;
    const auto result = Azimut(fields, p.my_lat, p.my_lon, p.ln_lat, p.ln_lon);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(Bits(result.value), Bits(c.result)) << result.value;
  }
}

// ---------------------------------------------------------------------------
// Early answers: a missing other position, and equal longitudes.

TEST(Azimut, MissingOtherPositionIsNorth) {
  const float q = test::QuietNan();
  const float s = test::SignallingNan();
  const Pair cases[] = {
      {52.5f, 13.4f, 0.0f, 30.0f},
      {52.5f, 13.4f, -0.0f, 30.0f},
      {52.5f, 13.4f, 48.0f, 0.0f},
      {52.5f, 13.4f, 48.0f, -0.0f},
      {52.5f, 13.4f, q, 30.0f},
      {52.5f, 13.4f, 48.0f, q},
      {52.5f, 13.4f, s, 30.0f},
      {52.5f, 13.4f, 48.0f, s},
      {52.5f, 13.4f, kInf, 0.0f},
      // The guard comes before my position is read.
      {s, s, 0.0f, 30.0f},
      {q, kInf, 48.0f, q},
  };
  for (const Pair& p : cases) {
    SCOPED_TRACE(testing::Message()
                 << p.my_lat << ", " << p.my_lon << " -> " << p.ln_lat << ", " << p.ln_lon);
    BearingFields fields;
    const auto result = Azimut(fields, p.my_lat, p.my_lon, p.ln_lat, p.ln_lon);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(Bits(result.value), 0u);
    const auto turned = AzimutBeforeRounding(fields, p.my_lat, p.my_lon, p.ln_lat, p.ln_lon);
    ASSERT_TRUE(turned.ok());
    EXPECT_TRUE(turned.value.decided);
  }
}

// Equal longitudes in float32 radians: 180 for a target due south, 0 for one
// due north or on the spot. The neighbours one float32 east and west are
// computed, and agree.
TEST(Azimut, DueSouthAndItsNeighbours) {
  struct Case {
    Pair in;
    float result;
    bool decided;
  };
  const Case cases[] = {
      {{52.5f, 13.4f, 40.0f, 13.4f}, 180.0f, true},
      {{52.5f, 13.4f, 60.0f, 13.4f}, 0.0f, true},
      {{52.5f, 13.4f, 52.5f, 13.4f}, 0.0f, true},
      {{52.5f, 13.4f, Down(52.5f), 13.4f}, 180.0f, true},
      {{52.5f, 13.4f, Up(52.5f), 13.4f}, 0.0f, true},
      {{52.5f, 13.4f, -40.0f, 13.4f}, 180.0f, true},
      {{-33.9f, 151.2f, -34.0f, 151.2f}, 180.0f, true},
      {{0.0f, 10.0f, -10.0f, 10.0f}, 180.0f, true},
      {{-0.0f, 10.0f, -10.0f, 10.0f}, 180.0f, true},
      {{90.0f, 10.0f, 10.0f, 10.0f}, 180.0f, true},
      {{-90.0f, 10.0f, 10.0f, 10.0f}, 0.0f, true},
      // Distinct in degrees, equal in float32 radians.
      {{52.5f, -120.5f, 40.0f, Down(-120.5f)}, 180.0f, true},
      {{52.5f, -120.5f, 60.0f, Down(-120.5f)}, 0.0f, true},
      // One float32 east and west: computed, the same answers.
      {{52.5f, 13.4f, 40.0f, Up(13.4f)}, 180.0f, false},
      {{52.5f, 13.4f, 40.0f, Down(13.4f)}, 180.0f, false},
      {{52.5f, 13.4f, 60.0f, Up(13.4f)}, 0.0f, false},
      {{52.5f, 13.4f, 60.0f, Down(13.4f)}, 360.0f, false},
      // Infinite latitudes are compared like any others.
      {{kInf, 13.4f, 40.0f, 13.4f}, 180.0f, true},
      {{-kInf, 13.4f, 40.0f, 13.4f}, 0.0f, true},
      {{52.5f, 13.4f, -kInf, 13.4f}, 180.0f, true},
      {{52.5f, 13.4f, kInf, 13.4f}, 0.0f, true},
  };
  for (const Case& c : cases) {
    const Pair& p = c.in;
    SCOPED_TRACE(testing::Message()
                 << p.my_lat << ", " << p.my_lon << " -> " << p.ln_lat << ", " << p.ln_lon);
    BearingFields fields;
    const auto result = Azimut(fields, p.my_lat, p.my_lon, p.ln_lat, p.ln_lon);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(Bits(result.value), Bits(c.result)) << result.value;
    const auto turned = AzimutBeforeRounding(fields, p.my_lat, p.my_lon, p.ln_lat, p.ln_lon);
    ASSERT_TRUE(turned.ok());
    EXPECT_EQ(turned.value.decided, c.decided);
    if (!c.decided) {
      // Already whole before the rounding.
      EXPECT_EQ(Bits(turned.value.degrees), Bits(c.result)) << turned.value.degrees;
    }
  }
}

// Over whole-degree latitudes on a few meridians, equal longitudes give the
// rounded exact bearing: 180 exactly when the target lies south.
TEST(Azimut, EqualLongitudesAgreeWithTheGreatCircle) {
  constexpr double kRad = std::numbers::pi / 180.0;
  const float meridians[] = {13.4f, -120.5f, 180.0f, -179.0f, 1.0f};
  int south = 0;
  for (const float lon : meridians) {
    for (int my = -90; my <= 90; ++my) {
      for (int other = -90; other <= 90; ++other) {
        if (other == 0) continue;
        const float my_lat = static_cast<float>(my);
        const float other_lat = static_cast<float>(other);
        BearingFields fields;
        const auto result = Azimut(fields, my_lat, lon, other_lat, lon);
        ASSERT_TRUE(result.ok());
        const double exact = std::atan2(0.0, std::sin((other - my) * kRad)) / kRad;
        ASSERT_EQ(static_cast<double>(result.value), runtime::Floor(exact + 0.5))
            << my << " -> " << other << " on " << lon;
        if (result.value == 180.0f) ++south;
      }
    }
  }
  // 180 exactly for the targets to the south: on each meridian, the pairs
  // with the other latitude below mine, less the 90 whose other latitude is 0.
  EXPECT_EQ(south, 5 * (181 * 180 / 2 - 90));
}

// ---------------------------------------------------------------------------
// Failures: the floating-point error and out-parameter 0, whichever step
// finds the condition (each comment names it).

struct FailureCase {
  const char* what;
  Pair in;
};

TEST(Azimut, Failures) {
  const float q = test::QuietNan();
  const float s = test::SignallingNan();
  const FailureCase cases[] = {
      // The latitude's radians round to zero: cos/sin divides by zero; found
      // after the first tangent term, before t1 is stored.
      {"latitude 28 * 2^-149", {52.5f, 13.4f, 0x1.cp-145f, 10.0f}},
      // One denormal step up the radians are 2^-149: t1 overflows float32 when
      // stored; found after the sum phi1 + alpha, alpha being pi/2.
      {"t1 beyond float32", {52.5f, 13.4f, 0x1.dp-145f, 10.0f}},
      // The normalisation makes the difference zero: cos/sin of delta divides
      // by zero; found after t2, which is not stored.
      {"difference normalised to zero", {52.5f, 180.0f, 40.0f, -180.000137f}},
      // Longitudes near zero: t2 is finite in double, infinite in float32;
      // found after the reciprocal.
      {"t2 beyond float32", {52.5f, 1e-38f, 40.0f, -1e-38f}},
      // A signalling NaN in my position: the first examinations.
      {"signalling NaN MyLat", {s, 13.4f, 40.0f, 10.0f}},
      {"signalling NaN MyLon", {52.5f, s, 40.0f, 10.0f}},
      // A quiet NaN in my position: the ordered comparisons that meet it
      // (normalisation, quadrant, due south) are invalid operations.
      {"quiet NaN MyLon", {52.5f, q, 40.0f, 10.0f}},
      {"quiet NaN MyLat", {q, 13.4f, 40.0f, 10.0f}},
      {"quiet NaN MyLat, equal longitudes", {q, 13.4f, 40.0f, 13.4f}},
      // Infinities: the sine or cosine of an infinity is invalid.
      {"infinite lnLatitude", {52.5f, 13.4f, kInf, 10.0f}},
      {"infinite lnLongitude", {52.5f, 13.4f, 40.0f, -kInf}},
      {"infinite MyLon", {52.5f, kInf, 40.0f, 10.0f}},
      {"infinite MyLat", {kInf, 13.4f, 40.0f, 10.0f}},
      // inf - inf at the longitude difference, before it is stored.
      {"equal infinite longitudes", {52.5f, kInf, 40.0f, kInf}},
      // Longitudes near the float32 limit: the difference in degrees overflows
      // float32 when stored, found at the clockwise turn.
      {"difference in degrees beyond float32", {52.5f, 3e38f, 40.0f, -3e38f}},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.what);
    const Pair& p = c.in;
    BearingFields fields;
    const auto result = Azimut(fields, p.my_lat, p.my_lon, p.ln_lat, p.ln_lon);
    EXPECT_EQ(result.error, RtError::kFloatingPoint);
    EXPECT_EQ(Bits(result.value), 0u);
    const auto turned = AzimutBeforeRounding(fields, p.my_lat, p.my_lon, p.ln_lat, p.ln_lon);
    EXPECT_EQ(turned.error, RtError::kFloatingPoint);
  }
}

// Longitude differences far beyond a turn: the sine and cosine are correctly
// rounded, so the bearing is one value on every build (the x87 instructions
// give 328.319 here).
TEST(Azimut, HugeLongitudesGiveOneValueOnEveryBuild) {
  BearingFields fields;
  const auto turned = AzimutBeforeRounding(fields, 52.5f, 1e20f, 40.0f, -1e20f);
  ASSERT_TRUE(turned.ok());
  EXPECT_EQ(Bits(turned.value.degrees), 0x43A41194u) << turned.value.degrees;  // 328.137
}

// ---------------------------------------------------------------------------
// Against the exact initial great-circle bearing, in double, of the same
// float32 degrees:
//   theta = atan2(sin(l2 - l1) cos p2, cos p1 sin p2 - sin p1 cos p2 cos(l2 - l1)).
// The differences come mostly from K, which scales every position towards the
// equator and the prime meridian; near a pole that moves close pairs
// noticeably against each other. Over the million pairs below the largest
// difference is 0.0071 degrees, for a pair 0.27 degrees apart near the south
// pole, and 0.0018 for pairs at least a degree apart. Closer pairs differ
// more, about as the inverse of their distance: some 0.008 degrees at 0.1
// degrees apart, 0.08 at 0.01.

// A coordinate in [-span / 2, span / 2), uniform in degrees.
float Coordinate(test::Random& random, double span) {
  const double u = static_cast<double>(random.Fraction());
  return static_cast<float>(u * span - span / 2);
}

struct Worst {
  double difference = 0.0;
  Pair at{};
  double distance = 0.0;

  void Note(double d, const Pair& p, double dist) {
    if (d > difference) *this = Worst{d, p, dist};
  }
};

std::ostream& operator<<(std::ostream& os, const Worst& w) {
  return os << std::setprecision(9) << w.difference << " degrees at " << w.at.my_lat << ", "
            << w.at.my_lon << " -> " << w.at.ln_lat << ", " << w.at.ln_lon << " (" << w.distance
            << " degrees apart)";
}

TEST(Azimut, AgreesWithTheExactBearing) {
  constexpr int kPairs = 1000000;
  constexpr double kRad = std::numbers::pi / 180.0;
  test::Random random(0x5EED);
  Worst all;    // pairs less than 170 degrees apart
  Worst apart;  // of these, pairs at least 1 degree apart
  int compared = 0;
  BearingFields shared;  // reused: no call depends on what an earlier one left
  for (int i = 0; i < kPairs; ++i) {
    const Pair p{Coordinate(random, 180.0), Coordinate(random, 360.0), Coordinate(random, 180.0),
                 Coordinate(random, 360.0)};
    BearingFields fresh;
    const auto turned = AzimutBeforeRounding(fresh, p.my_lat, p.my_lon, p.ln_lat, p.ln_lon);
    const auto result = Azimut(shared, p.my_lat, p.my_lon, p.ln_lat, p.ln_lon);
    ASSERT_TRUE(turned.ok() && result.ok())
        << p.my_lat << ", " << p.my_lon << " -> " << p.ln_lat << ", " << p.ln_lon;
    if (turned.value.decided) {
      ASSERT_EQ(Bits(result.value), Bits(turned.value.degrees));
      continue;
    }
    const double whole = runtime::Floor(static_cast<double>(turned.value.degrees) + 0.5);
    ASSERT_EQ(static_cast<double>(result.value), whole);

    const double p1 = static_cast<double>(p.my_lat) * kRad;
    const double p2 = static_cast<double>(p.ln_lat) * kRad;
    const double dl = (static_cast<double>(p.ln_lon) - static_cast<double>(p.my_lon)) * kRad;
    const double cos_distance =
        std::sin(p1) * std::sin(p2) + std::cos(p1) * std::cos(p2) * std::cos(dl);
    const double distance = std::acos(std::fmin(1.0, std::fmax(-1.0, cos_distance))) / kRad;
    if (!(distance < 170.0)) continue;
    const double exact =
        std::atan2(std::sin(dl) * std::cos(p2),
                   std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl)) /
        kRad;
    const double d =
        std::fabs(std::remainder(static_cast<double>(turned.value.degrees) - exact, 360.0));
    all.Note(d, p, distance);
    if (distance >= 1.0) apart.Note(d, p, distance);
    ++compared;
  }
  EXPECT_GT(compared, 980000);
  EXPECT_LT(all.difference, 0.0075) << all;
  EXPECT_LT(apart.difference, 0.0019) << apart;
  std::cout << "largest difference: " << all << "\nat least 1 degree apart: " << apart << "\n";
}

// The call and the fully checked run give the same result and the same
// fields, bit for bit: on random positions of the usual ranges, on values of
// every magnitude up to the ranges' ends (denormals included), and with one
// input moved to an edge of the plain domain or a float32 beyond it: 90, 180,
// 1e-6, 0, and the poles, the equator and the 180 meridian with their
// neighbours.
TEST(Azimut, PlainDomainAsChecked) {
  test::Random seq(0x5EED0004);
  const float edges[] = {90.0f,        Up(90.0f), Down(90.0f), 180.0f,      Up(180.0f),
                         Down(180.0f), 1e-6f,     Up(1e-6f),   Down(1e-6f), 0.0f,
                         -0.0f,        1e-45f,    -90.0f,      -180.0f,     Up(-180.0f)};
  const auto small = [&] {
    const auto bits = static_cast<std::uint32_t>(seq.Next() >> 32);
    const float x = FloatFromBits(bits & 0x87FFFFFFu);  // below 2^8
    return std::fabs(x) <= 90.0f ? x : x * 0.25f;
  };
  for (int i = 0; i < 200000; ++i) {
    Pair p{seq.Uniform(-90.0f, 90.0f), seq.Uniform(-180.0f, 180.0f), seq.Uniform(-90.0f, 90.0f),
           seq.Uniform(-180.0f, 180.0f)};
    if (i % 4 == 1) {
      p = {small(), small(), small(), small()};
    } else if (i % 4 == 2) {
      float* slot[] = {&p.my_lat, &p.my_lon, &p.ln_lat, &p.ln_lon};
      *slot[seq.Next() % 4] =
          edges[seq.Next() % std::size(edges)] * (seq.Next() % 2 ? 1.0f : -1.0f);
    } else if (i % 4 == 3) {
      // Neighbouring longitudes, a few float32 steps apart.
      p.ln_lon = p.my_lon;
      for (std::uint64_t k = seq.Next() % 4 + 1; k > 0; --k) p.ln_lon = Up(p.ln_lon);
    }
    BearingFields plain;
    BearingFields checked;
    const auto a = Azimut(plain, p.my_lat, p.my_lon, p.ln_lat, p.ln_lon);
    const auto b = CheckedAzimut(checked, p.my_lat, p.my_lon, p.ln_lat, p.ln_lon);
    const auto where = [&] {
      return testing::Message() << std::hex << Bits(p.my_lat) << " " << Bits(p.my_lon) << " "
                                << Bits(p.ln_lat) << " " << Bits(p.ln_lon);
    };
    ASSERT_EQ(a.error, b.error) << where();
    ASSERT_EQ(Bits(a.value), Bits(b.value)) << where();
  }
}

}  // namespace
}  // namespace pelmora::calc
