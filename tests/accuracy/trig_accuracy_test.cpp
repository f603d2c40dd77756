// Sine, cosine and arc tangent against GNU MPFR's correctly rounded results,
// bit for bit (native only); the joint sine and cosine (SinCos) likewise. By default a million
// arguments per function; the environment variable PELMORA_TRIG_ARGUMENTS sets another count, and
// with a count above the default the test also lists the arguments whose
// results lie closest to a rounding boundary (for tests/trig_cases.h).
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "runtime/trig.h"
#include "runtime/trig_internal.h"
#include "tests/trig_cases.h"

namespace pelmora::runtime {
namespace {

using test::TrigFunction;
using test::TrigStream;

constexpr long kDefaultCount = 1000000;

std::uint64_t Bits(double x) { return std::bit_cast<std::uint64_t>(x); }

class Mpfr {
 public:
  explicit Mpfr(mpfr_prec_t precision) { mpfr_init2(value_, precision); }
  ~Mpfr() { mpfr_clear(value_); }
  Mpfr(const Mpfr&) = delete;
  Mpfr& operator=(const Mpfr&) = delete;
  mpfr_ptr get() { return value_; }

 private:
  mpfr_t value_;
};

int Evaluate(TrigFunction f, mpfr_ptr y, double x) {
  Mpfr in(53);
  mpfr_set_d(in.get(), x, MPFR_RNDN);
  switch (f) {
    case TrigFunction::kSin:
      return mpfr_sin(y, in.get(), MPFR_RNDN);
    case TrigFunction::kCos:
      return mpfr_cos(y, in.get(), MPFR_RNDN);
    case TrigFunction::kAtan:
      return mpfr_atan(y, in.get(), MPFR_RNDN);
  }
  return 0;
}

// The correctly rounded double, subnormals included.
double Reference(TrigFunction f, double x) {
  Mpfr y(53);
  const int ternary = Evaluate(f, y.get(), x);
  mpfr_subnormalize(y.get(), ternary, MPFR_RNDN);
  return mpfr_get_d(y.get(), MPFR_RNDN);
}

// How close the exact result lies to the midpoint of two doubles, as
// -log2 of the distance in ulps (about 2 for a typical argument; the fast
// path hands arguments from about 13 on to the middle stage).
double Hardness(TrigFunction f, double x) {
  Mpfr y(200);
  Evaluate(f, y.get(), x);
  if (mpfr_zero_p(y.get()) || !mpfr_number_p(y.get())) return 0.0;
  Mpfr scaled(200);
  const mpfr_exp_t e = mpfr_get_exp(y.get());  // y = m * 2^e, 1/2 <= |m| < 1
  mpfr_abs(scaled.get(), y.get(), MPFR_RNDN);
  mpfr_mul_2si(scaled.get(), scaled.get(), 53 - e, MPFR_RNDN);  // ulps
  mpfr_frac(scaled.get(), scaled.get(), MPFR_RNDN);
  mpfr_sub_d(scaled.get(), scaled.get(), 0.5, MPFR_RNDN);
  const double distance = std::fabs(mpfr_get_d(scaled.get(), MPFR_RNDN));
  return distance == 0.0 ? 200.0 : -std::log2(distance);
}

long Count() {
  const char* text = std::getenv("PELMORA_TRIG_ARGUMENTS");
  return text != nullptr ? std::max(1L, std::atol(text)) : kDefaultCount;
}

double FiniteFromBits(std::uint64_t bits) {
  const double x = std::bit_cast<double>(bits);
  return std::isfinite(x) ? x : std::bit_cast<double>(bits & 0xBFEFFFFFFFFFFFFFu);
}

// x moved by `steps` ulps.
double Ulps(double x, int steps) {
  return std::bit_cast<double>(Bits(x) +
                               static_cast<std::uint64_t>(static_cast<std::int64_t>(steps)));
}

// The argument families; each draws its share of the count.
struct Family {
  const char* name;
  double share;
  std::function<double(TrigStream&)> draw;
};

std::vector<Family> Families(TrigFunction f) {
  std::vector<Family> families = {
      {"any bit pattern", 0.3, [](TrigStream& s) { return FiniteFromBits(s.Next()); }},
      {"within two turns", 0.15, [](TrigStream& s) { return s.Uniform(6.2831853071795862); }},
      {"within 1e6", 0.15, [](TrigStream& s) { return s.Uniform(1e6); }},
      {"float32 widened", 0.15, [](TrigStream& s) { return test::WidenedFloat(s); }},
      {"huge, up to the largest double", 0.1,
       [](TrigStream& s) {
         const std::uint64_t exponent = 1044 + s.Next() % 1003;  // 2^21 .. 2^1023
         return std::bit_cast<double>((exponent << 52) | (s.Next() >> 12));
       }},
  };
  if (f == TrigFunction::kAtan) {
    // Near the cells' edges and midpoints of the arc tangent's points, from
    // 2^-8 to 2^7, moved by up to four ulps.
    families.push_back({"near the arc tangent's cell edges and points", 0.15, [](TrigStream& s) {
                          const std::uint64_t cell = (1023u - 8u) * 32u + s.Next() % (15 * 32);
                          const std::uint64_t half = (s.Next() & 1) << 46;
                          const double x = Ulps(std::bit_cast<double>((cell << 47) | half),
                                                static_cast<int>(s.Next() % 9) - 4);
                          return (s.Next() & 1) != 0 ? -x : x;
                        }});
  } else {
    // The double nearest to k pi/2, k up to 2^52, moved by up to two ulps.
    families.push_back(
        {"within an ulp of multiples of pi/2", 0.15, [](TrigStream& s) {
           const std::uint64_t bits = s.Next();
           const std::uint64_t k =
               (bits & 1) != 0 ? 1 + (bits >> 1) % 2000000 : 1 + ((bits >> 12) >> (bits % 40));
           Mpfr multiple(300);
           mpfr_const_pi(multiple.get(), MPFR_RNDN);
           mpfr_mul_ui(multiple.get(), multiple.get(), static_cast<unsigned long>(k), MPFR_RNDN);
           mpfr_div_2ui(multiple.get(), multiple.get(), 1, MPFR_RNDN);
           return Ulps(mpfr_get_d(multiple.get(), MPFR_RNDN), static_cast<int>(s.Next() % 5) - 2);
         }});
  }
  return families;
}

// The paths of the fast paths this processor can take.
std::vector<bool> Paths() {
  if (trig::HasFusedMultiplyAdd()) return {false, true};
  return {false};
}

struct Hard {
  double hardness;
  double x;
};

void CheckFunction(TrigFunction f) {
  const long count = Count();
  const bool long_run = count > kDefaultCount;
  long checked = 0, wrong = 0;
  std::vector<Hard> hardest;
  auto report = [&] {
    std::printf("%s: %ld arguments, %ld incorrectly rounded\n", Name(f), checked, wrong);
    for (const Hard& h : hardest) {
      std::printf("  2^-%.1f ulp from a midpoint: {TrigFunction::k%s, 0x%016llXu, 0x%016llXu},\n",
                  h.hardness,
                  f == TrigFunction::kSin   ? "Sin"
                  : f == TrigFunction::kCos ? "Cos"
                                            : "Atan",
                  static_cast<unsigned long long>(Bits(h.x)),
                  static_cast<unsigned long long>(Bits(Reference(f, h.x))));
    }
    std::fflush(stdout);
  };
  auto check = [&](double x) {
    if (++checked % 10000000 == 0 && long_run) report();  // progress
    const double want = Reference(f, x);
    // Each path of the fast paths: with and without fused multiply-add.
    for (const bool fused : Paths()) {
      trig::use_fused_multiply_add = fused;
      const double got = Apply(f, x);
      if (Bits(got) != Bits(want) && ++wrong <= 10) {
        ADD_FAILURE() << Name(f) << "(" << std::hexfloat << x << ") = " << got << ", not " << want
                      << (fused ? " (fused multiply-add)" : "");
      }
      // The joint sine and cosine, whose halves take their own combination,
      // rounding test and slow path.
      if (f != TrigFunction::kAtan) {
        const SineCosine both = SinCos(x);
        const double joint = f == TrigFunction::kSin ? both.sin : both.cos;
        if (Bits(joint) != Bits(want) && ++wrong <= 10) {
          ADD_FAILURE() << "SinCos(" << std::hexfloat << x << ")." << Name(f) << " = " << joint
                        << ", not " << want << (fused ? " (fused multiply-add)" : "");
        }
      }
    }
    trig::use_fused_multiply_add = trig::HasFusedMultiplyAdd();
    if (long_run) {
      const double h = Hardness(f, x);
      if (hardest.size() < 4 || h > hardest.back().hardness) {
        hardest.push_back({h, x});
        std::sort(hardest.begin(), hardest.end(),
                  [](const Hard& a, const Hard& b) { return a.hardness > b.hardness; });
        if (hardest.size() > 4) hardest.pop_back();
      }
    }
  };
  // The streams whose checksums tests/trig_test.cpp pins, as they stand.
  for (int kind = 0; kind < 3; ++kind) {
    TrigStream stream(static_cast<std::uint64_t>(100 + kind));
    for (int i = 0; i < 100000; ++i) {
      double x = 0.0;
      if (kind == 0) {
        x = std::bit_cast<double>(stream.Next());
        if (!std::isfinite(x)) x = 0.5;
      } else if (kind == 1) {
        x = stream.Uniform(6.2831853071795862);
      } else {
        x = test::WidenedFloat(stream);
      }
      check(x);
    }
  }
  const long rest = std::max(0L, count - 300000);
  int seed = 1;
  for (const Family& family : Families(f)) {
    TrigStream stream(static_cast<std::uint64_t>(static_cast<int>(f) * 1000 + seed++) +
                      (long_run ? 77 : 0));
    const long n = static_cast<long>(family.share * static_cast<double>(rest));
    for (long i = 0; i < n; ++i) check(family.draw(stream));
  }
  EXPECT_EQ(wrong, 0) << Name(f) << ": " << wrong << " of " << checked << " incorrectly rounded";
  report();
}

class TrigAccuracy : public testing::Test {
 protected:
  void SetUp() override {
    mpfr_set_emin(-1073);  // the double range, subnormals by mpfr_subnormalize
    mpfr_set_emax(1024);
  }
};

TEST_F(TrigAccuracy, Sine) { CheckFunction(TrigFunction::kSin); }
TEST_F(TrigAccuracy, Cosine) { CheckFunction(TrigFunction::kCos); }
TEST_F(TrigAccuracy, ArcTangent) { CheckFunction(TrigFunction::kAtan); }

// The slow path alone: the fast path rarely hands it an argument, so it is
// checked on its own over every family.
TEST_F(TrigAccuracy, SlowPath) {
  long wrong = 0;
  for (const TrigFunction f : {TrigFunction::kSin, TrigFunction::kCos, TrigFunction::kAtan}) {
    int seed = 500;
    for (const Family& family : Families(f)) {
      TrigStream stream(static_cast<std::uint64_t>(seed++));
      for (int i = 0; i < 5000; ++i) {
        const double x = family.draw(stream);
        if (std::fabs(x) < 0x1p-26 || (f == TrigFunction::kAtan && std::fabs(x) >= 0x1p53))
          continue;
        const double got = f == TrigFunction::kAtan
                               ? trig::AccurateAtan(x)
                               : trig::AccurateSinOrCos(x, f == TrigFunction::kCos);
        const double want = Reference(f, x);
        if (Bits(got) != Bits(want) && ++wrong <= 10) {
          ADD_FAILURE() << "slow " << Name(f) << "(" << std::hexfloat << x << ") = " << got
                        << ", not " << want;
        }
      }
    }
  }
  EXPECT_EQ(wrong, 0);
}

// The middle stages alone, over the pinned rows (the hardest to round
// decide a fault of a middle stage's bound) and every family, on each path:
// the first stages rarely hand them an argument.
TEST_F(TrigAccuracy, MiddleStages) {
  long wrong = 0;
  auto check = [&](TrigFunction f, double x, double want) {
    for (const bool fused : Paths()) {
      trig::use_fused_multiply_add = fused;
      const double got = f == TrigFunction::kAtan
                             ? trig::AtanFromMiddleStage(x)
                             : trig::SinOrCosFromMiddleStage(x, f == TrigFunction::kCos);
      if (Bits(got) != Bits(want) && ++wrong <= 10) {
        ADD_FAILURE() << "middle " << Name(f) << "(" << std::hexfloat << x << ") = " << got
                      << ", not " << want << (fused ? " (fused multiply-add)" : "");
      }
    }
  };
  for (const test::TrigCase& row : test::kTrigCases) {
    const double x = std::bit_cast<double>(row.x);
    if (std::isfinite(x)) check(row.function, x, std::bit_cast<double>(row.result));
  }
  int seed = 700;
  for (const TrigFunction f : {TrigFunction::kSin, TrigFunction::kCos, TrigFunction::kAtan}) {
    for (const Family& family : Families(f)) {
      TrigStream stream(static_cast<std::uint64_t>(seed++));
      for (int i = 0; i < 10000; ++i) {
        const double x = family.draw(stream);
        check(f, x, Reference(f, x));
      }
    }
  }
  trig::use_fused_multiply_add = trig::HasFusedMultiplyAdd();
  EXPECT_EQ(wrong, 0);
}

TEST_F(TrigAccuracy, PinnedCasesAreCorrectlyRounded) {
  for (const test::TrigCase& row : test::kTrigCases) {
    const double x = std::bit_cast<double>(row.x);
    EXPECT_EQ(Bits(Reference(row.function, x)), row.result)
        << Name(row.function) << "(" << std::hexfloat << x << ")";
  }
}

// The constant tables, entry by entry.
TEST_F(TrigAccuracy, Tables) {
  Mpfr pi(2000), v(2000), rest(2000);
  mpfr_const_pi(pi.get(), MPFR_RNDN);
  auto words_match = [&](mpfr_ptr value, const std::uint32_t* words, int count, bool integer_word) {
    for (int i = 0; i < count; ++i) {
      if (i > 0 || !integer_word) mpfr_mul_2ui(value, value, 32, MPFR_RNDN);
      const unsigned long w = mpfr_get_ui(value, MPFR_RNDZ);
      mpfr_sub_ui(value, value, w, MPFR_RNDN);
      if (w != words[i]) return false;
    }
    return true;
  };
  mpfr_ui_div(v.get(), 2, pi.get(), MPFR_RNDN);
  EXPECT_TRUE(words_match(v.get(), trig::kTwoOverPi, 48, false));
  mpfr_div_2ui(v.get(), pi.get(), 1, MPFR_RNDN);
  EXPECT_TRUE(words_match(v.get(), trig::kHalfPi, 8, true));

  // A pair is the value rounded (to `bits` significant bits), then the rest
  // rounded.
  auto pair_matches = [&](mpfr_ptr value, const trig::DoublePair& pair, mpfr_prec_t bits = 53) {
    Mpfr high(bits);
    mpfr_set(high.get(), value, MPFR_RNDN);
    const double hi = mpfr_get_d(high.get(), MPFR_RNDN);
    mpfr_sub_d(rest.get(), value, hi, MPFR_RNDN);
    return Bits(hi) == Bits(pair.hi) && Bits(mpfr_get_d(rest.get(), MPFR_RNDN)) == Bits(pair.lo);
  };
  Mpfr a(2000);
  for (unsigned i = 0; i < 256; ++i) {
    mpfr_mul_ui(a.get(), pi.get(), i, MPFR_RNDN);
    mpfr_div_2ui(a.get(), a.get(), 9, MPFR_RNDN);
    mpfr_sin(v.get(), a.get(), MPFR_RNDN);
    EXPECT_TRUE(pair_matches(v.get(), trig::kSinCos[i][0], 26)) << i;
    mpfr_cos(v.get(), a.get(), MPFR_RNDN);
    EXPECT_TRUE(pair_matches(v.get(), trig::kSinCos[i][1], 26)) << i;
    // The rest after the two parts, rounded.
    for (int k = 0; k < 2; ++k) {
      if (k == 0) {
        mpfr_sin(v.get(), a.get(), MPFR_RNDN);
      } else {
        mpfr_cos(v.get(), a.get(), MPFR_RNDN);
      }
      mpfr_sub_d(v.get(), v.get(), trig::kSinCos[i][k].hi, MPFR_RNDN);
      mpfr_sub_d(v.get(), v.get(), trig::kSinCos[i][k].lo, MPFR_RNDN);
      EXPECT_EQ(Bits(mpfr_get_d(v.get(), MPFR_RNDN)), Bits(trig::kSinCosRest[i][k])) << i;
    }
  }
  // The arc tangent's points: 0, the midpoints of the cells of 32 a binade
  // from 2^-7 to 2^6 in order, the point at infinity; each with its atan.
  for (int i = 0; i < trig::kAtanPointCount; ++i) {
    const trig::AtanPoint& point = trig::kAtanPoints[i];
    const bool infinity = i == trig::kAtanPointCount - 1;
    const double c = i == 0 || infinity
                         ? static_cast<double>(infinity)
                         : std::ldexp(1.0 + (2 * ((i - 1) % 32) + 1) / 64.0, (i - 1) / 32 - 7);
    EXPECT_EQ(Bits(point.c), Bits(c)) << i;
    EXPECT_EQ(point.s, infinity ? 0.0 : 1.0) << i;
    if (infinity) {
      mpfr_div_2ui(v.get(), pi.get(), 1, MPFR_RNDN);
    } else {
      mpfr_set_d(v.get(), c, MPFR_RNDN);
      mpfr_atan(v.get(), v.get(), MPFR_RNDN);
    }
    EXPECT_TRUE(pair_matches(v.get(), point.value)) << i;
  }
}

}  // namespace
}  // namespace pelmora::runtime
