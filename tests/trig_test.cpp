// Sine, cosine and arc tangent: the same bits on every build. The rows and
// the checksums below are correctly rounded results (the native MPFR test,
// tests/accuracy/trig_accuracy_test.cpp, proves each of them); this test runs
// natively and under Wine.
#include "runtime/trig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "runtime/fp_screen.h"
#include "runtime/fp_status.h"
#include "runtime/no_status.h"
#include "runtime/trig_internal.h"
#include "tests/test_support.h"
#include "tests/trig_cases.h"

namespace pelmora::runtime {
namespace {

using test::Bits;
using test::TrigFunction;

// Each function of runtime/trig.h at x; for the sine and the cosine also the
// half of the joint SinCos, which takes its own combination, rounding test
// and slow path; each by every path the processor can take (with and without
// fused multiply-add).
std::vector<double> EveryWay(TrigFunction f, double x) {
  std::vector<double> results;
  for (const bool fused : {false, true}) {
    if (fused && !trig::HasFusedMultiplyAdd()) break;
    trig::use_fused_multiply_add = fused;
    results.push_back(Apply(f, x));
    if (f != TrigFunction::kAtan) {
      const SineCosine both = SinCos(x);
      results.push_back(f == TrigFunction::kSin ? both.sin : both.cos);
    }
  }
  trig::use_fused_multiply_add = trig::HasFusedMultiplyAdd();
  return results;
}

// The pinned rows include the arguments the middle stages decide.
TEST(Trig, PinnedResults) {
  for (const test::TrigCase& row : test::kTrigCases) {
    const double x = std::bit_cast<double>(row.x);
    for (const double got : EveryWay(row.function, x)) {
      EXPECT_EQ(Bits(got), row.result) << Name(row.function) << "(" << std::hexfloat << x << ")";
    }
  }
}

// NaN in, quiet NaN out (a signalling one quietened, its sign and payload
// kept); sine and cosine of an infinity are NaN, which FpStatus records as
// invalid; signed zeros and subnormals.
TEST(Trig, SpecialValues) {
  const double kInf = std::numeric_limits<double>::infinity();
  const double quiet = std::bit_cast<double>(std::uint64_t{0x7FF8000000000123u});
  const double signalling = std::bit_cast<double>(std::uint64_t{0xFFF0000000000123u});
  const double tiny = std::bit_cast<double>(std::uint64_t{1});
  for (const TrigFunction f : {TrigFunction::kSin, TrigFunction::kCos, TrigFunction::kAtan}) {
    SCOPED_TRACE(Name(f));
    EXPECT_EQ(Bits(Apply(f, quiet)), 0x7FF8000000000123u);
    EXPECT_EQ(Bits(Apply(f, signalling)), 0xFFF8000000000123u);
  }
  for (const double x : {kInf, -kInf}) {
    EXPECT_TRUE(std::isnan(Sin(x)));
    EXPECT_TRUE(std::isnan(Cos(x)));
  }
  EXPECT_EQ(Bits(Atan(kInf)), 0x3FF921FB54442D18u);
  EXPECT_EQ(Bits(Atan(-kInf)), 0xBFF921FB54442D18u);
  for (const double x : {0.0, -0.0, tiny, -tiny}) {
    EXPECT_EQ(Bits(Sin(x)), Bits(x));
    EXPECT_EQ(Bits(Atan(x)), Bits(x));
    EXPECT_EQ(Bits(Cos(x)), Bits(1.0));
  }
}

// Conditions as the calculations see them: only an infinite argument to sine
// or cosine, or a signalling NaN, is invalid.
TEST(Trig, FpStatusConditions) {
  const double kInf = std::numeric_limits<double>::infinity();
  const double signalling = std::bit_cast<double>(std::uint64_t{0x7FF0000000000001u});
  const double ordinary[] = {0.0,
                             -0.0,
                             1e-310,
                             1.0,
                             1e22,
                             1.7976931348623157e308,
                             std::numeric_limits<double>::quiet_NaN()};
  for (const double x : ordinary) {
    FpStatus fp;
    static_cast<void>(fp.Sin(x));
    static_cast<void>(fp.Cos(x));
    static_cast<void>(fp.Atan(x));
    static_cast<void>(fp.Atan(kInf));
    EXPECT_FALSE(fp.Pending()) << x;
  }
  for (const double x : {kInf, -kInf, signalling}) {
    FpStatus sine, cosine;
    static_cast<void>(sine.Sin(x));
    static_cast<void>(cosine.Cos(x));
    EXPECT_TRUE(sine.Invalid()) << x;
    EXPECT_TRUE(cosine.Invalid()) << x;
    EXPECT_FALSE(sine.Overflow() || sine.DivideByZero());
  }
  FpStatus atan;
  static_cast<void>(atan.Atan(signalling));
  EXPECT_TRUE(atan.Invalid());
}

// The joint sine and cosine of special and ordinary operands under each
// status: the two functions' own doubles, and each status records for it
// what the two separate calls record. (PinnedResults and the checksums hold
// the joint values to the same rows and sums as the two functions.)
TEST(Trig, SinCosUnderEveryStatus) {
  const double kInf = std::numeric_limits<double>::infinity();
  const double operands[] = {0.0,
                             -0.0,
                             0x1.8p-27,
                             1.0,
                             1e22,
                             kInf,
                             -kInf,
                             std::numeric_limits<double>::quiet_NaN(),
                             std::bit_cast<double>(std::uint64_t{0x7FF0000000000001u})};
  for (const double x : operands) {
    FpStatus joint, separate;
    FpScreen joint_screen, separate_screen;
    NoStatus none;
    const SineCosine values[] = {joint.SinCos(x), joint_screen.SinCos(x), none.SinCos(x)};
    static_cast<void>(separate.Sin(x));
    static_cast<void>(separate.Cos(x));
    static_cast<void>(separate_screen.Sin(x));
    static_cast<void>(separate_screen.Cos(x));
    EXPECT_EQ(joint.Invalid(), separate.Invalid()) << x;
    EXPECT_EQ(joint.DivideByZero(), separate.DivideByZero()) << x;
    EXPECT_EQ(joint.Overflow(), separate.Overflow()) << x;
    EXPECT_EQ(joint_screen.Pending(), separate_screen.Pending()) << x;
    for (const SineCosine& v : values) {
      EXPECT_EQ(Bits(v.sin), Bits(Sin(x))) << x;
      EXPECT_EQ(Bits(v.cos), Bits(Cos(x))) << x;
    }
  }
}

// Odd and even: the reduction of a negative argument mirrors the positive
// one, over arguments of every magnitude.
TEST(Trig, Symmetry) {
  test::TrigStream stream(7);
  for (int i = 0; i < 20000; ++i) {
    double x = std::bit_cast<double>(stream.Next() & 0x7FFFFFFFFFFFFFFFu);
    if (!std::isfinite(x)) x = 1.0;
    ASSERT_EQ(Bits(Sin(-x)), Bits(-Sin(x))) << std::hexfloat << x;
    ASSERT_EQ(Bits(Cos(-x)), Bits(Cos(x))) << std::hexfloat << x;
    ASSERT_EQ(Bits(Atan(-x)), Bits(-Atan(x))) << std::hexfloat << x;
  }
}

// A checksum of every result over fixed argument streams, the same on every
// build: any differing bit of any result changes it. One checksum for each
// way of EveryWay, so the joint sine and cosine are held to the same sums.
std::vector<std::uint64_t> Checksums(TrigFunction f, int kind) {
  test::TrigStream stream(static_cast<std::uint64_t>(100 + kind));
  std::vector<std::uint64_t> sums;
  for (int i = 0; i < 100000; ++i) {
    double x = 0.0;
    switch (kind) {
      case 0:
        x = std::bit_cast<double>(stream.Next());
        if (!std::isfinite(x)) x = 0.5;
        break;
      case 1:
        x = stream.Uniform(6.2831853071795862);
        break;
      case 2:
        x = test::WidenedFloat(stream);
        break;
    }
    const std::vector<double> results = EveryWay(f, x);
    sums.resize(results.size(), 0);
    for (std::size_t way = 0; way < results.size(); ++way) {
      sums[way] = (sums[way] ^ Bits(results[way])) * 0x100000001B3u;
    }
  }
  return sums;
}

TEST(Trig, ChecksumsOverArgumentStreams) {
  // Rows: sine, cosine, arc tangent; columns: any bit pattern, within two
  // turns, float32 values widened.
  const std::uint64_t kExpected[3][3] = {
      {0xE958C93402B0FA7Bu, 0xE9959CB59C3602AFu, 0xAA62FB9C60A24E93u},
      {0xEECF221A1B4D7C8Cu, 0x7CE1F8BBD944B83Bu, 0xE47C5B3926F4BB70u},
      {0xC248F7A05A86323Du, 0x6711683C12F82351u, 0x28BD2E3B467A12DDu},
  };
  const TrigFunction functions[] = {TrigFunction::kSin, TrigFunction::kCos, TrigFunction::kAtan};
  for (int f = 0; f < 3; ++f) {
    for (int kind = 0; kind < 3; ++kind) {
      for (const std::uint64_t sum : Checksums(functions[f], kind)) {
        EXPECT_EQ(sum, kExpected[f][kind]) << Name(functions[f]) << " stream " << kind;
      }
    }
  }
}

}  // namespace
}  // namespace pelmora::runtime
