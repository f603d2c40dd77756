// The array forms of libpelmora: every element bit for bit the scalar
// function's, on the four-lane path and on the scalar path, for random
// elements of three kinds in every layout; and their handling of misuse.
// (The corpus goes through them too: tests/capi_corpus.c.)
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "calc/lanes.h"
#include "gtest/gtest.h"
#include "pelmora.h"
#include "tests/test_support.h"

#ifndef PELMORA_BATCH_ELEMENTS
#define PELMORA_BATCH_ELEMENTS 10000000
#endif

namespace {

using pelmora::test::Bits;
using pelmora::test::Random;

constexpr std::size_t kElements = PELMORA_BATCH_ELEMENTS;

// Inputs that meet the calculations' special cases: zeros (a missing
// position), the same place, equal longitudes, poles and the antimeridian,
// the least float32 values, huge and infinite ones, NaNs.
float Special(Random& random, const float* earlier) {
  static const float kSpecials[] = {0.0f,
                                    -0.0f,
                                    90.0f,
                                    -90.0f,
                                    180.0f,
                                    -180.0f,
                                    1e-6f,
                                    -1e-6f,
                                    1e-45f,
                                    1e-38f,
                                    3.4028235e38f,
                                    1e30f,
                                    -7e20f,
                                    std::numeric_limits<float>::infinity(),
                                    -std::numeric_limits<float>::infinity(),
                                    pelmora::test::QuietNan(),
                                    pelmora::test::SignallingNan()};
  const std::uint64_t pick = random.Next() % 64;
  if (pick < std::size(kSpecials)) return kSpecials[pick];
  // The value of the other position's coordinate, or its neighbour.
  if (pick < 40 && earlier != nullptr) {
    return pick < 30 ? *earlier : std::nextafter(*earlier, 1e30f);
  }
  return random.Uniform(-200.0f, 200.0f);
}

// n positions pairs of one kind: 0 uniform over the globe, 1 special values
// mixed in, 2 any bit patterns.
struct Pairs {
  std::vector<float> in[4];
  explicit Pairs(int kind, std::size_t n, std::uint64_t seed) {
    Random random(seed);
    for (auto& v : in) v.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
      for (int k = 0; k < 4; ++k) {
        float x = 0.0f;
        if (kind == 0) {
          x = (k % 2 == 0) ? random.Uniform(-90.0f, 90.0f) : random.Uniform(-180.0f, 180.0f);
        } else if (kind == 1) {
          x = Special(random, k >= 2 ? &in[k - 2][i] : nullptr);
        } else {
          x = random.AnyBits();
        }
        in[k][i] = x;
      }
    }
  }
};

struct Expected {
  std::vector<float> value;
  std::vector<int> status;
};

// The scalar functions, element by element.
Expected Scalar(const Pairs& p, int (*f)(float, float, float, float, float*)) {
  const std::size_t n = p.in[0].size();
  Expected e{std::vector<float>(n), std::vector<int>(n)};
  for (std::size_t i = 0; i < n; ++i) {
    e.status[i] = f(p.in[0][i], p.in[1][i], p.in[2][i], p.in[3][i], &e.value[i]);
  }
  return e;
}

using ArrayForm = int (*)(size_t, const float*, ptrdiff_t, const float*, ptrdiff_t, const float*,
                          ptrdiff_t, const float*, ptrdiff_t, float*, ptrdiff_t, int*, ptrdiff_t,
                          size_t*);

// The first element that differs from the scalar results, or n.
std::size_t FirstDifference(const Expected& e, const std::vector<float>& value,
                            const std::vector<int>& status) {
  for (std::size_t i = 0; i < e.value.size(); ++i) {
    if (Bits(value[i]) != Bits(e.value[i]) || status[i] != e.status[i]) return i;
  }
  return e.value.size();
}

// The array form over contiguous arrays: results, statuses, the returned
// status and the first failure agree with the scalar calls.
void ExpectSame(const Pairs& p, const Expected& e, ArrayForm form, const char* what) {
  const std::size_t n = p.in[0].size();
  std::vector<float> value(n, -1.0f);
  std::vector<int> status(n, -100);
  std::size_t first = 12345;
  const int returned = form(n, p.in[0].data(), 4, p.in[1].data(), 4, p.in[2].data(), 4,
                            p.in[3].data(), 4, value.data(), 4, status.data(), sizeof(int), &first);
  const std::size_t d = FirstDifference(e, value, status);
  ASSERT_EQ(d, n) << what << " element " << d << ": " << p.in[0][d] << " " << p.in[1][d] << " "
                  << p.in[2][d] << " " << p.in[3][d] << " gives " << value[d] << " (" << status[d]
                  << "), the scalar function " << e.value[d] << " (" << e.status[d] << ")";
  std::size_t expected_first = n;
  for (std::size_t i = 0; i < n && expected_first == n; ++i) {
    if (e.status[i] != PELMORA_OK) expected_first = i;
  }
  EXPECT_EQ(first, expected_first) << what;
  EXPECT_EQ(returned, expected_first == n ? PELMORA_OK : e.status[expected_first]) << what;
}

class Paths : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (pelmora::calc::lanes::Use(GetParam()) != GetParam()) {
      GTEST_SKIP() << "this processor has no AVX2 and FMA (or PELMORA_NO_AVX2 is set)";
    }
  }
  void TearDown() override { pelmora::calc::lanes::Use(true); }
};

// 10^7 elements of each function, of the three kinds, through the four-lane
// path (where the processor has it) and the scalar path.
TEST(Batch, EveryElementIsTheScalarFunctions) {
  for (int kind = 0; kind < 3; ++kind) {
    const Pairs p(kind, kElements / 3, 2900 + static_cast<std::uint64_t>(kind));
    const Expected distance = Scalar(p, pelmora_distance_from);
    const Expected azimut = Scalar(p, pelmora_azimut);
    for (const bool lanes : {true, false}) {
      if (pelmora::calc::lanes::Use(lanes) != lanes) continue;  // no AVX2 here
      ExpectSame(p, distance, pelmora_distance_from_n, lanes ? "distance, lanes" : "distance");
      ExpectSame(p, azimut, pelmora_azimut_n, lanes ? "azimut, lanes" : "azimut");
    }
    pelmora::calc::lanes::Use(true);
  }
}

// The path of each element, and the arc cosine, from a share of them.
TEST_P(Paths, PathsAndArcCosinesAreTheScalarFunctions) {
  for (int kind = 0; kind < 3; ++kind) {
    const Pairs p(kind, kElements / 30, 2910 + static_cast<std::uint64_t>(kind));
    const std::size_t n = p.in[0].size();
    std::vector<pelmora_path> paths(n);
    std::vector<int> status(n);
    pelmora_position_path_n(n, p.in[0].data(), 4, p.in[1].data(), 4, p.in[2].data(), 4,
                            p.in[3].data(), 4, paths.data(), sizeof(pelmora_path), status.data(),
                            sizeof(int), nullptr);
    // Cosines: the uniform kind over -1..1 (the arc cosine's plain domain,
    // where the lanes work), the others as they are.
    std::vector<float> x = p.in[1];
    if (kind == 0) {
      for (float& v : x) v /= 180.0f;
    }
    std::vector<float> arc_cos(n);
    ASSERT_EQ(pelmora_arc_cos_n(n, x.data(), 4, arc_cos.data(), 4), PELMORA_OK);
    for (std::size_t i = 0; i < n; ++i) {
      pelmora_path path;
      const int s = pelmora_position_path(p.in[0][i], p.in[1][i], p.in[2][i], p.in[3][i], &path);
      ASSERT_EQ(status[i], s) << i;
      ASSERT_EQ(std::memcmp(&paths[i], &path, sizeof path), 0) << i;
      float a;
      pelmora_arc_cos(x[i], &a);
      ASSERT_EQ(Bits(arc_cos[i]), Bits(a)) << i;
    }
  }
}

// Layouts: records of the four inputs with results in place, a station
// (stride 0) for the first position, arrays walked backwards, strides that
// are no multiple of four; without statuses the first failure still shows.
TEST_P(Paths, EveryLayoutGivesTheSameElements) {
  const Pairs p(1, 4099, 2920);
  const std::size_t n = p.in[0].size();
  const Expected distance = Scalar(p, pelmora_distance_from);

  // Records {a_lat, a_lon, b_lat, b_lon}, the distance written over a_lat.
  std::vector<float> records(4 * n);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t k = 0; k < 4; ++k) records[4 * i + k] = p.in[k][i];
  }
  const float* r = records.data();
  std::size_t first = 0;
  const int returned = pelmora_distance_from_n(n, r, 16, r + 1, 16, r + 2, 16, r + 3, 16,
                                               records.data(), 16, nullptr, 0, &first);
  std::vector<float> in_place(n);
  for (std::size_t i = 0; i < n; ++i) in_place[i] = records[4 * i];
  std::vector<int> none(n, PELMORA_OK);
  Expected ok_only = distance;
  for (std::size_t i = 0; i < n; ++i) ok_only.status[i] = PELMORA_OK;
  EXPECT_EQ(FirstDifference(ok_only, in_place, none), n);
  ASSERT_LT(first, n);  // the special values make some element fail
  EXPECT_EQ(returned, distance.status[first]);
  for (std::size_t i = 0; i < first; ++i) EXPECT_EQ(distance.status[i], PELMORA_OK);

  // Backwards and unaligned: element i at the end minus i, bytes apart by 5.
  std::vector<unsigned char> bytes(5 * n + 8);
  for (std::size_t i = 0; i < n; ++i) {
    std::memcpy(&bytes[5 * (n - 1 - i) + 1], &p.in[3][i], 4);
  }
  const auto* b_lon = reinterpret_cast<const float*>(&bytes[5 * (n - 1) + 1]);
  std::vector<float> value(n);
  std::vector<int> status(n);
  pelmora_distance_from_n(n, p.in[0].data(), 4, p.in[1].data(), 4, p.in[2].data(), 4, b_lon, -5,
                          value.data(), 4, status.data(), sizeof(int), nullptr);
  EXPECT_EQ(FirstDifference(distance, value, status), n);

  // A station: the first position the same for every element.
  std::vector<pelmora_path> paths(n);
  for (std::size_t s = 0; s < 40; ++s) {
    pelmora_position_path_n(n, &p.in[0][s], 0, &p.in[1][s], 0, p.in[2].data(), 4, p.in[3].data(), 4,
                            paths.data(), sizeof(pelmora_path), status.data(), sizeof(int),
                            nullptr);
    for (std::size_t i = 0; i < n; ++i) {
      pelmora_path path;
      const int expected =
          pelmora_position_path(p.in[0][s], p.in[1][s], p.in[2][i], p.in[3][i], &path);
      ASSERT_EQ(status[i], expected) << s << " " << i;
      ASSERT_EQ(std::memcmp(&paths[i], &path, sizeof path), 0) << s << " " << i;
    }
  }
  for (const auto form : {pelmora_distance_from_n, pelmora_azimut_n}) {
    int (*const scalar)(float, float, float, float, float*) =
        form == pelmora_distance_from_n ? pelmora_distance_from : pelmora_azimut;
    for (std::size_t s = 0; s < 40; ++s) {
      Pairs station = p;
      for (std::size_t i = 0; i < n; ++i) {
        station.in[0][i] = p.in[0][s];
        station.in[1][i] = p.in[1][s];
      }
      const Expected e = Scalar(station, scalar);
      form(n, &p.in[0][s], 0, &p.in[1][s], 0, p.in[2].data(), 4, p.in[3].data(), 4, value.data(), 4,
           status.data(), sizeof(int), nullptr);
      ASSERT_EQ(FirstDifference(e, value, status), n) << s;
    }
  }
}

// The lanes finish nearly every element over the globe themselves (else the
// comparisons above would hold of the scalar path alone), and leave the
// special values to the scalar calculation.
TEST(Batch, LanesFinishPlainElements) {
  if (!pelmora::calc::lanes::Use(true)) GTEST_SKIP() << "no AVX2 and FMA here";
  for (int kind = 0; kind < 2; ++kind) {
    const Pairs p(kind, 40000, 2930 + static_cast<std::uint64_t>(kind));
    int distances = 0, bearings = 0, arc_cosines = 0;
    constexpr int kLanes = pelmora::calc::lanes::kLanes;
    for (std::size_t i = 0; i + kLanes <= p.in[0].size(); i += kLanes) {
      pelmora::calc::lanes::Group g;
      for (int k = 0; k < 4; ++k) {
        for (int lane = 0; lane < kLanes; ++lane)
          g.in[k][lane] = p.in[k][i + static_cast<std::size_t>(lane)];
      }
      distances += std::popcount(pelmora::calc::lanes::Distance(g));
      bearings += std::popcount(pelmora::calc::lanes::Azimut(g));
      for (float& v : g.in[0]) v /= 90.0f;  // cosines, -1..1 in the uniform kind
      arc_cosines += std::popcount(pelmora::calc::lanes::ArcCos(g));
    }
    if (kind == 0) {
      EXPECT_GT(distances, 39800);  // measured: 99.9 percent
      EXPECT_GT(bearings, 39800);
      EXPECT_GT(arc_cosines, 39800);
    } else {
      EXPECT_LT(distances, 30000);
      EXPECT_LT(bearings, 30000);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Batch, Paths, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& param) {
                           return param.param ? "Lanes" : "Scalar";
                         });

// Misuse is refused before anything is read or written.
TEST(Batch, MisuseIsRefusedUntouched) {
  float in[4] = {10.0f, 20.0f, 30.0f, 40.0f};
  float out[4] = {-1.0f, -1.0f, -1.0f, -1.0f};
  int status[4] = {-9, -9, -9, -9};
  const std::ptrdiff_t kMax = std::numeric_limits<std::ptrdiff_t>::max();
  struct Case {
    std::size_t n;
    const float* a;
    std::ptrdiff_t a_stride;
    float* result;
    std::ptrdiff_t status_stride;
    int expected;
  } cases[] = {
      {4, nullptr, 4, out, 4, PELMORA_NULL_POINTER},
      {4, in, 4, nullptr, 4, PELMORA_NULL_POINTER},
      {3, in, kMax / 2, out, 4, PELMORA_LENGTH_TOO_LARGE},
      {2, in, -kMax, out, 4, PELMORA_LENGTH_TOO_LARGE},  // below address 0
      {2, in, 4, out, kMax, PELMORA_LENGTH_TOO_LARGE},
      {std::numeric_limits<std::size_t>::max(), in, 4, out, 4, PELMORA_LENGTH_TOO_LARGE},
      {0, nullptr, 4, nullptr, 4, PELMORA_OK},
  };
  for (const Case& c : cases) {
    for (const ArrayForm form : {pelmora_distance_from_n, pelmora_azimut_n}) {
      std::size_t first = 77;
      EXPECT_EQ(form(c.n, c.a, c.a_stride, in + 1, 0, in + 2, 0, in + 3, 0, c.result, 4, status,
                     c.status_stride, &first),
                c.expected)
          << c.n << " " << c.a_stride;
      EXPECT_EQ(first, 0u);
    }
    pelmora_path path{-1.0f, -1.0f, -1.0f, -1.0f};
    EXPECT_EQ(pelmora_position_path_n(c.n, c.a, c.a_stride, in + 1, 0, in + 2, 0, in + 3, 0,
                                      c.result == nullptr ? nullptr : &path, 0, status,
                                      c.status_stride, nullptr),
              c.expected);
    EXPECT_EQ(pelmora_arc_cos_n(c.n, c.a, c.a_stride, c.result, c.status_stride), c.expected);
    EXPECT_EQ(Bits(path.distance), Bits(-1.0f));
  }
  for (const float x : out) EXPECT_EQ(Bits(x), Bits(-1.0f));
  for (const int s : status) EXPECT_EQ(s, -9);
}

}  // namespace
