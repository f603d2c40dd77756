// The array forms of libpelmora per element: pelmora_distance_from_n,
// pelmora_azimut_n, pelmora_position_path_n and pelmora_arc_cos_n on the
// lanes and on the scalar path, against a C loop of the scalar functions and against the
// same formulas with glibc's sin, cos and atan (float rounding points as
// DistanceFrom and Azimut have them, not correctly rounded). Also the
// distance and bearing from one station (stride 0 for the first position).
//
// Run pinned, e.g. `taskset -c 1 capi_batch_bench`. Each variant runs over
// the same 4096 pairs (uniform over the globe) in alternate rounds, so that
// a change in the machine's load meets all of them; the best of 301 rounds
// counts. Prints ns per element and the ratios, all from one run.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "calc/lanes.h"
#include "pelmora.h"
#include "tests/test_support.h"

namespace {

constexpr std::size_t kPairs = 4096;
constexpr int kRounds = 301;

std::vector<float> in[4];
std::vector<float> cosines(kPairs);
std::vector<float> out(kPairs);
std::vector<pelmora_path> paths(kPairs);
volatile float sink;

// ---- The same formulas with glibc ----

constexpr double kPi32Wide = static_cast<double>(0x1.921fb6p+1f);
constexpr double kHalfGreatCircle = 0x1.3886666666667p+14;

float GlibcDistance(float alat, float alon, float blat, float blon) {
  if (alat == blat && alon == blon) return 0.0f;
  const auto radians = [](float x) {
    return static_cast<float>(static_cast<double>(x) * kPi32Wide / 180.0);
  };
  const float pa = radians(alat), la = radians(alon), pb = radians(blat), lb = radians(blon);
  const auto sa = static_cast<double>(static_cast<float>(std::sin(static_cast<double>(pa))));
  const auto sb = static_cast<double>(static_cast<float>(std::sin(static_cast<double>(pb))));
  const auto ca = static_cast<double>(static_cast<float>(std::cos(static_cast<double>(pa))));
  const auto cb = static_cast<double>(static_cast<float>(std::cos(static_cast<double>(pb))));
  const auto cd = static_cast<double>(
      static_cast<float>(std::cos(static_cast<double>(lb) - static_cast<double>(la))));
  const auto x = static_cast<double>(static_cast<float>(cb * ca * cd + sb * sa));
  double root = std::sqrt(-x * x + 1.0);
  if (!(root > 0.0)) root = 1e-8;
  const auto a = static_cast<float>(std::atan(-x / root) + 2.0 * std::atan(1.0));
  const auto km = static_cast<float>(static_cast<double>(a) * kHalfGreatCircle / kPi32Wide);
  return static_cast<float>(static_cast<double>(km) + 0.5);
}

float GlibcAzimut(float my_lat, float my_lon, float lat, float lon) {
  constexpr double K = 57.2958;
  if (lat == 0.0f || lon == 0.0f) return 0.0f;
  const auto f = [](double v) { return static_cast<double>(static_cast<float>(v)); };
  const auto w = [](float x) { return static_cast<double>(x); };
  const double phi1 = f(w(my_lat) / K), lambda1 = f(w(my_lon) / K);
  const double phi2 = f(w(lat) / K), lambda2 = f(w(lon) / K);
  double d = f(lambda1 - lambda2);
  if (d == 0.0) return lat < my_lat ? 180.0f : 0.0f;
  if (d > kPi32Wide)
    d = f(d - 2 * kPi32Wide);
  else if (d < -kPi32Wide)
    d = f(d + 2 * kPi32Wide);
  const double alpha = f(std::atan(f(std::cos(d) * (std::cos(phi2) / std::sin(phi2)))));
  const double t2 = f((std::cos(d) / std::sin(d)) * std::cos(phi1 + alpha) / std::sin(alpha));
  double b = f(f(std::atan(1.0 / t2)) * K);
  const double dd = f(d * K);
  if (dd > 0 && b < 0) b = f(b + 180);
  if (dd < 0 && b > 0) b = f(b + 180);
  if (dd < 0 && b < 0) b = f(b + 360);
  return static_cast<float>(std::floor(f(360 - b) + 0.5));
}

// ---- Timing ----

double NsPerElement(const std::function<void()>& body) {
  const auto start = std::chrono::steady_clock::now();
  body();
  const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
  return took.count() / static_cast<double>(kPairs);
}

struct Variant {
  const char* name;
  bool lanes;
  std::function<void()> body;
  double best = 1e30;
};

void Distance(bool station) {
  pelmora_distance_from_n(kPairs, in[0].data(), station ? 0 : 4, in[1].data(), station ? 0 : 4,
                          in[2].data(), 4, in[3].data(), 4, out.data(), 4, nullptr, 0, nullptr);
}
void Azimut(bool station) {
  pelmora_azimut_n(kPairs, in[0].data(), station ? 0 : 4, in[1].data(), station ? 0 : 4,
                   in[2].data(), 4, in[3].data(), 4, out.data(), 4, nullptr, 0, nullptr);
}

}  // namespace

int main() {
  pelmora::test::Random random(29);
  for (auto& v : in) v.resize(kPairs);
  for (std::size_t i = 0; i < kPairs; ++i) {
    in[0][i] = random.Uniform(-90.0f, 90.0f);
    in[1][i] = random.Uniform(-180.0f, 180.0f);
    in[2][i] = random.Uniform(-90.0f, 90.0f);
    in[3][i] = random.Uniform(-180.0f, 180.0f);
    cosines[i] = random.Uniform(-1.0f, 1.0f);
  }
  const bool lanes = pelmora::calc::lanes::Use(true);
  std::printf("lanes (AVX2 and FMA): %s\n", lanes ? "yes" : "no, scalar path only");

  std::vector<Variant> v = {
      {"distance_from_n", true, [] { Distance(false); }},
      {"distance_from_n, scalar path", false, [] { Distance(false); }},
      {"distance_from_n, one station", true, [] { Distance(true); }},
      {"distance_from_n, scalar, station", false, [] { Distance(true); }},
      {"pelmora_distance_from loop", false,
       [] {
         for (std::size_t i = 0; i < kPairs; ++i)
           pelmora_distance_from(in[0][i], in[1][i], in[2][i], in[3][i], &out[i]);
       }},
      {"glibc, the same formula", false,
       [] {
         for (std::size_t i = 0; i < kPairs; ++i)
           out[i] = GlibcDistance(in[0][i], in[1][i], in[2][i], in[3][i]);
       }},
      {"azimut_n", true, [] { Azimut(false); }},
      {"azimut_n, scalar path", false, [] { Azimut(false); }},
      {"azimut_n, one station", true, [] { Azimut(true); }},
      {"pelmora_azimut loop", false,
       [] {
         for (std::size_t i = 0; i < kPairs; ++i)
           pelmora_azimut(in[0][i], in[1][i], in[2][i], in[3][i], &out[i]);
       }},
      {"glibc, the same formula", false,
       [] {
         for (std::size_t i = 0; i < kPairs; ++i)
           out[i] = GlibcAzimut(in[0][i], in[1][i], in[2][i], in[3][i]);
       }},
      {"position_path_n", true,
       [] {
         pelmora_position_path_n(kPairs, in[0].data(), 4, in[1].data(), 4, in[2].data(), 4,
                                 in[3].data(), 4, paths.data(), sizeof(pelmora_path), nullptr, 0,
                                 nullptr);
       }},
      {"pelmora_position_path loop", false,
       [] {
         for (std::size_t i = 0; i < kPairs; ++i)
           pelmora_position_path(in[0][i], in[1][i], in[2][i], in[3][i], &paths[i]);
       }},
      {"arc_cos_n", true, [] { pelmora_arc_cos_n(kPairs, cosines.data(), 4, out.data(), 4); }},
      {"pelmora_arc_cos loop", false,
       [] {
         for (std::size_t i = 0; i < kPairs; ++i) pelmora_arc_cos(cosines[i], &out[i]);
       }},
  };
  for (int round = 0; round < kRounds; ++round) {
    for (Variant& x : v) {
      pelmora::calc::lanes::Use(x.lanes);
      x.best = std::min(x.best, NsPerElement(x.body));
      const auto at = static_cast<std::size_t>(round) % kPairs;
      sink = out[at] + paths[at].bearing;
    }
  }
  pelmora::calc::lanes::Use(true);

  for (const Variant& x : v) std::printf("%-32s %7.2f ns per element\n", x.name, x.best);
  const auto ratio = [&](const char* what, std::size_t a, std::size_t b) {
    std::printf("%-58s %5.2f\n", what, v[a].best / v[b].best);
  };
  std::printf("\nratios\n");
  ratio("distance_from_n / pelmora_distance_from loop", 0, 4);
  ratio("distance_from_n / glibc formula", 0, 5);
  ratio("distance_from_n, scalar path / pelmora_distance_from loop", 1, 4);
  ratio("distance_from_n, one station / distance_from_n", 2, 0);
  ratio("distance_from_n, scalar path, one station / scalar path", 3, 1);
  ratio("pelmora_distance_from loop / glibc formula", 4, 5);
  ratio("azimut_n / pelmora_azimut loop", 6, 9);
  ratio("azimut_n / glibc formula", 6, 10);
  ratio("azimut_n, scalar path / pelmora_azimut loop", 7, 9);
  ratio("azimut_n, one station / azimut_n", 8, 6);
  ratio("pelmora_azimut loop / glibc formula", 9, 10);
  ratio("position_path_n / pelmora_position_path loop", 11, 12);
  ratio("arc_cos_n / pelmora_arc_cos loop", 13, 14);
  std::printf("%-58s %5.2f\n", "position_path_n / (glibc distance + glibc bearing)",
              v[11].best / (v[5].best + v[10].best));
  return 0;
}
