// The runtime operations at their range limits.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "runtime/fp_screen.h"
#include "runtime/fp_status.h"
#include "runtime/numeric.h"
#include "runtime/resume_next.h"
#include "runtime/text.h"
#include "tests/test_support.h"

namespace pelmora::runtime {
namespace {

using test::Bits;
using test::T;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr float kFloatMax = std::numeric_limits<float>::max();

// --- Conversions to integers -------------------------------------------------

struct ToInt16 {
  double in;
  RtError error;
  std::int16_t out;
};

TEST(Runtime, FloorToInt16) {
  const ToInt16 rows[] = {
      {-32768.0, RtError::kNone, -32768},
      {-32767.5, RtError::kNone, -32768},
      {std::nextafter(-32768.0, -kInf), RtError::kOverflow, 0},
      {32767.999999, RtError::kNone, 32767},
      {32768.0, RtError::kOverflow, 0},
      {-0.0, RtError::kNone, 0},
      {-1e-300, RtError::kNone, -1},
      {kInf, RtError::kOverflow, 0},
      {-kInf, RtError::kOverflow, 0},
      {kNan, RtError::kOverflow, 0},
  };
  for (const ToInt16& row : rows) {
    const auto got = FloorToInt16(row.in);
    EXPECT_EQ(got.error, row.error) << row.in;
    if (row.error == RtError::kNone) {
      EXPECT_EQ(got.value, row.out) << row.in;
    }
  }
}

TEST(Runtime, RoundToInt32TiesToEven) {
  struct Row {
    double in;
    RtError error;
    std::int32_t out;
  };
  const Row rows[] = {
      {0.5, RtError::kNone, 0},
      {1.5, RtError::kNone, 2},
      {2.5, RtError::kNone, 2},
      {-0.5, RtError::kNone, 0},
      {-2.5, RtError::kNone, -2},
      {2147483647.49, RtError::kNone, 2147483647},
      {2147483647.5, RtError::kOverflow, 0},
      {-2147483648.5, RtError::kNone, -2147483647 - 1},
      {std::nextafter(-2147483648.5, -kInf), RtError::kOverflow, 0},
      {kInf, RtError::kOverflow, 0},
      {kNan, RtError::kOverflow, 0},
  };
  for (const Row& row : rows) {
    const auto got = RoundToInt32(row.in);
    EXPECT_EQ(got.error, row.error) << row.in;
    if (row.error == RtError::kNone) {
      EXPECT_EQ(got.value, row.out) << row.in;
    }
  }
}

TEST(Runtime, CheckedInt16Arithmetic) {
  EXPECT_EQ(AddInt16(32702, 65).value, 32767);
  EXPECT_EQ(AddInt16(32703, 65).error, RtError::kOverflow);
  EXPECT_EQ(SubInt16(-32703, 65).value, -32768);
  EXPECT_EQ(SubInt16(-32704, 65).error, RtError::kOverflow);
  EXPECT_EQ(MulInt16(3276, 10).value, 32760);
  EXPECT_EQ(MulInt16(3277, 10).error, RtError::kOverflow);
  EXPECT_EQ(MulInt16(-3276, 10).value, -32760);
  EXPECT_EQ(MulInt16(-3277, 10).error, RtError::kOverflow);
}

TEST(Runtime, SqrtOfNegativeIsAnError) {
  EXPECT_EQ(Sqrt(-1e-300).error, RtError::kInvalidArgument);
  EXPECT_EQ(Sqrt(-kInf).error, RtError::kInvalidArgument);
  EXPECT_EQ(Bits(Sqrt(-0.0).value), Bits(-0.0));
  EXPECT_EQ(Sqrt(4.0).value, 2.0);
  EXPECT_TRUE(std::isnan(Sqrt(kNan).value));
}

// --- Floating-point status ---------------------------------------------------

struct FpCase {
  const char* name;
  double (*op)(FpStatus&);
  bool invalid;
  bool divide_by_zero;
  bool overflow;
};

const double kDenormal = 4.9406564584124654e-324;

const FpCase kFpCases[] = {
    {"signalling NaN widened", [](FpStatus& f) { return f.Widen(test::SignallingNan()); }, true,
     false, false},
    {"quiet NaN widened", [](FpStatus& f) { return f.Widen(test::QuietNan()); }, false, false,
     false},
    {"quiet NaN operand", [](FpStatus& f) { return f.Add(kNan, 1.0); }, false, false, false},
    {"inf - inf", [](FpStatus& f) { return f.Sub(kInf, kInf); }, true, false, false},
    {"0 * inf", [](FpStatus& f) { return f.Mul(0.0, kInf); }, true, false, false},
    {"0 / 0", [](FpStatus& f) { return f.Div(0.0, 0.0); }, true, false, false},
    {"inf / inf", [](FpStatus& f) { return f.Div(kInf, -kInf); }, true, false, false},
    {"1 / -0", [](FpStatus& f) { return f.Div(1.0, -0.0); }, false, true, false},
    {"inf / 0", [](FpStatus& f) { return f.Div(kInf, 0.0); }, false, false, false},
    {"1 / denormal", [](FpStatus& f) { return f.Div(1.0, kDenormal); }, false, false, true},
    {"max + max", [](FpStatus& f) { return f.Add(1.7e308, 1.7e308); }, false, false, true},
    {"1e300 * 1e300", [](FpStatus& f) { return f.Mul(1e300, 1e300); }, false, false, true},
    {"inf + 1", [](FpStatus& f) { return f.Add(kInf, 1.0); }, false, false, false},
    {"store 1e39", [](FpStatus& f) { return double{f.Store(1e39)}; }, false, false, true},
    {"store -1e39", [](FpStatus& f) { return double{f.Store(-1e39)}; }, false, false, true},
    {"store inf", [](FpStatus& f) { return double{f.Store(kInf)}; }, false, false, false},
    {"store 1e-50 (underflow)", [](FpStatus& f) { return double{f.Store(1e-50)}; }, false, false,
     false},
    {"tiny * tiny (underflow)", [](FpStatus& f) { return f.Mul(1e-300, 1e-300); }, false, false,
     false},
    {"sin inf", [](FpStatus& f) { return f.Sin(kInf); }, true, false, false},
    {"cos -inf", [](FpStatus& f) { return f.Cos(-kInf); }, true, false, false},
    {"atan inf", [](FpStatus& f) { return f.Atan(kInf); }, false, false, false},
};

TEST(Runtime, FpStatusConditions) {
  for (const FpCase& c : kFpCases) {
    FpStatus fp;
    static_cast<void>(c.op(fp));
    EXPECT_EQ(fp.Invalid(), c.invalid) << c.name;
    EXPECT_EQ(fp.DivideByZero(), c.divide_by_zero) << c.name;
    EXPECT_EQ(fp.Overflow(), c.overflow) << c.name;
    const bool any = c.invalid || c.divide_by_zero || c.overflow;
    EXPECT_EQ(fp.Test(), any ? RtError::kFloatingPoint : RtError::kNone) << c.name;
    EXPECT_FALSE(fp.Pending()) << c.name << ": the test clears the status";
  }
}

// The screen gives every operation's value bit for bit, and is marked
// whenever FpStatus records a condition, over every pair of operands of a
// grid of ordinary and extreme values (a run it passes unmarked is exact).
TEST(Runtime, FpScreenMarksWhateverFpStatusRecords) {
  const double operands[] = {0.0,  -0.0,  1.0,     -1.5, kDenormal, 1e-300,
                             3e38, 1e300, 1.7e308, kInf, -kInf,     kNan};
  const auto same = [](double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || Bits(a) == Bits(b);
  };
  const auto check = [&](const char* what, double a, double b, auto op) {
    FpStatus fp;
    FpScreen screen;
    const auto exact = op(fp, a, b);
    const auto screened = op(screen, a, b);
    EXPECT_TRUE(same(static_cast<double>(exact), static_cast<double>(screened)))
        << what << " " << a << ", " << b;
    EXPECT_TRUE(!fp.Pending() || screen.Pending()) << what << " " << a << ", " << b;
    // A marked screen's test fails and keeps the mark, so that a marked run
    // stops at its next test and is still made again afterwards.
    const bool marked = screen.Pending();
    EXPECT_EQ(screen.Test(), marked ? RtError::kFloatingPoint : RtError::kNone);
    EXPECT_EQ(screen.Pending(), marked) << what << " " << a << ", " << b;
  };
  for (const double a : operands) {
    check("widen", a, 0.0,
          [](auto& f, double x, double) { return f.Widen(static_cast<float>(x)); });
    check("store", a, 0.0, [](auto& f, double x, double) { return f.Store(x); });
    check("sin", a, 0.0, [](auto& f, double x, double) { return f.Sin(x); });
    check("cos", a, 0.0, [](auto& f, double x, double) { return f.Cos(x); });
    check("atan", a, 0.0, [](auto& f, double x, double) { return f.Atan(x); });
    for (const double b : operands) {
      check("+", a, b, [](auto& f, double x, double y) { return f.Add(x, y); });
      check("-", a, b, [](auto& f, double x, double y) { return f.Sub(x, y); });
      check("*", a, b, [](auto& f, double x, double y) { return f.Mul(x, y); });
      check("/", a, b, [](auto& f, double x, double y) { return f.Div(x, y); });
      check("<", a, b, [](auto& f, double x, double y) { return f.Less(x, y); });
      check(">", a, b, [](auto& f, double x, double y) { return f.Greater(x, y); });
      check("==", a, b, [](auto& f, double x, double y) { return f.SignallingEqual(x, y); });
    }
  }
  FpStatus fp;
  FpScreen screen;
  static_cast<void>(fp.Widen(test::SignallingNan()));
  static_cast<void>(screen.Widen(test::SignallingNan()));
  EXPECT_TRUE(fp.Pending());
  EXPECT_TRUE(screen.Pending());
}

TEST(Runtime, FpComparisons) {
  const struct {
    const char* name;
    bool (FpStatus::*compare)(double, double);
    double a, b;
    bool answer;
    bool invalid;
  } rows[] = {
      {"1 < 2", &FpStatus::Less, 1.0, 2.0, true, false},
      {"-0 < +0", &FpStatus::Less, -0.0, 0.0, false, false},
      {"NaN < 1", &FpStatus::Less, kNan, 1.0, false, true},
      {"1 > NaN", &FpStatus::Greater, 1.0, kNan, false, true},
      {"inf > max", &FpStatus::Greater, kInf, 1.7e308, true, false},
      {"+0 == -0", &FpStatus::SignallingEqual, 0.0, -0.0, true, false},
      {"NaN == NaN", &FpStatus::SignallingEqual, kNan, kNan, false, true},
  };
  for (const auto& row : rows) {
    FpStatus fp;
    EXPECT_EQ((fp.*row.compare)(row.a, row.b), row.answer) << row.name;
    EXPECT_EQ(fp.Invalid(), row.invalid) << row.name;
  }
}

TEST(Runtime, FpConditionsAreStickyUntilTested) {
  FpStatus fp;
  static_cast<void>(fp.Store(1e39));
  static_cast<void>(fp.Add(1.0, 2.0));
  static_cast<void>(fp.Atan(3.0));
  EXPECT_EQ(fp.Test(), RtError::kFloatingPoint);
  EXPECT_EQ(fp.Test(), RtError::kNone);
}

TEST(Runtime, ResumeNextAbandonsTheFailingStatement) {
  FpStatus fp;
  ResumeNext mode(fp);
  double root = 0.0;
  const RtError first = mode.Statement([&] {
    const auto r = Sqrt(-1.0);
    if (!r) return r.error;
    root = r.value;
    return RtError::kNone;
  });
  EXPECT_EQ(first, RtError::kInvalidArgument);
  EXPECT_EQ(root, 0.0);
  // A condition the statement left untested does not reach the next one.
  static_cast<void>(mode.Statement([&] {
    root = fp.Div(1.0, 0.0);
    return RtError::kNone;
  }));
  EXPECT_FALSE(fp.Pending());
  EXPECT_TRUE(std::isinf(root));
}

// --- Texts -------------------------------------------------------------------

TEST(Runtime, CharacterFromCode) {
  struct Row {
    std::int32_t code;
    char16_t unit;  // 0 with an error
    RtError error;
  };
  const Row rows[] = {
      {0, u'\0', RtError::kNone},
      {65, u'A', RtError::kNone},
      {127, 0x7F, RtError::kNone},
      {128, 0x20AC, RtError::kNone},  // euro sign
      {129, 0x81, RtError::kNone},
      {159, 0x178, RtError::kNone},
      {160, 0xA0, RtError::kNone},
      {255, 0xFF, RtError::kNone},
      {-1, 0, RtError::kInvalidArgument},
      {256, 0, RtError::kInvalidArgument},
      {32767, 0, RtError::kInvalidArgument},
  };
  for (const Row& row : rows) {
    const auto got = CharUnitFromCode(row.code, Windows1252());
    EXPECT_EQ(got.error, row.error) << row.code;
    if (row.error == RtError::kNone) {
      EXPECT_EQ(got.value, row.unit) << row.code;
    }
  }
}

// Every code 0..255 comes back from its own character.
TEST(Runtime, CodePageRoundTrip) {
  for (std::int32_t code = 0; code <= 255; ++code) {
    const auto unit = CharUnitFromCode(code, Windows1252());
    ASSERT_TRUE(unit.ok());
    EXPECT_EQ(CodeOfUnit(unit.value, Windows1252()), code);
  }
}

TEST(Runtime, CodeOfUnit) {
  const struct {
    char16_t unit;
    std::int16_t code;
  } rows[] = {
      {u'A', 65},       {u'Z', 90},      {u'0', 48},      {u'\u20AC', 128},
      {u'\u00E9', 233}, {u'\u0100', 63}, {u'\u4E2D', 63}, {u'\xD83D', 63},
      {u'\xDC00', 63},  {u'\xFFFF', 63}, {u'\0', 0},
  };
  for (const auto& row : rows) EXPECT_EQ(CodeOfUnit(row.unit, Windows1252()), row.code);
}

TEST(Runtime, CaseMappingIsAscii) {
  const std::u16string lower = u"jo62qm@[`{\u00E9\u0101";
  const std::u16string upper = u"JO62QM@[`{\u00E9\u0101";
  const std::u16string az = u"AZ@[`{\u00C9";
  const std::u16string az_lower = u"az@[`{\u00C9";
  for (std::size_t i = 0; i < lower.size(); ++i) EXPECT_EQ(UpperCaseUnit(lower[i]), upper[i]) << i;
  for (std::size_t i = 0; i < az.size(); ++i) EXPECT_EQ(LowerCaseUnit(az[i]), az_lower[i]) << i;
}

}  // namespace
}  // namespace pelmora::runtime
