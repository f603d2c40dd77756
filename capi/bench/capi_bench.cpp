// What a libpelmora call costs beyond its calculation: each C function
// against the calc/ function it calls, over the same inputs, as the best of
// several rounds. Prints ns per call and the difference against its goal
// (at most 10 ns: the floating-point guard and the conversions). The last
// line, "per-element distance_from NS", is read by tools/bench_interfaces.sh.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "calc/bearing.h"
#include "calc/decoding.h"
#include "calc/distance.h"
#include "calc/encoding.h"
#include "pelmora.h"

namespace {

constexpr std::size_t kInputs = 4096;
volatile float sink_float;
volatile char sink_char;

template <class Body>
double NsPerCall(Body&& body) {
  double best = 1e30;
  for (int round = 0; round < 7; ++round) {
    const auto start = std::chrono::steady_clock::now();
    std::size_t calls = 0;
    for (int pass = 0; pass < 40; ++pass) calls += body();
    const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count() / static_cast<double>(calls));
  }
  return best;
}

}  // namespace

int main() {
  std::vector<float> lat(kInputs), lon(kInputs), lat2(kInputs), lon2(kInputs), x(kInputs);
  std::vector<std::string> grids(kInputs);
  std::vector<std::u16string> grids16(kInputs);
  std::uint64_t state = 42;
  const auto next = [&] {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return static_cast<double>(state >> 11) * 0x1.0p-53;
  };
  for (std::size_t i = 0; i < kInputs; ++i) {
    lat[i] = static_cast<float>(next() * 170 - 85);
    lon[i] = static_cast<float>(next() * 358 - 179);
    lat2[i] = static_cast<float>(next() * 170 - 85);
    lon2[i] = static_cast<float>(next() * 358 - 179);
    x[i] = static_cast<float>(next() * 2 - 1);
    char g[PELMORA_LOCATOR_SIZE];
    pelmora_grid_from_lat_long(lat[i], lon[i], g, sizeof g);
    grids[i] = g;
    grids16[i] = std::u16string(grids[i].begin(), grids[i].end());
  }
  struct Row {
    const char* name;
    double calc, capi;
  };
  std::vector<Row> rows;
  rows.push_back({"distance_from", NsPerCall([&] {
                    for (std::size_t i = 0; i < kInputs; ++i)
                      sink_float =
                          pelmora::calc::DistanceFrom(lat[i], lon[i], lat2[i], lon2[i]).value;
                    return kInputs;
                  }),
                  NsPerCall([&] {
                    float r;
                    for (std::size_t i = 0; i < kInputs; ++i) {
                      pelmora_distance_from(lat[i], lon[i], lat2[i], lon2[i], &r);
                      sink_float = r;
                    }
                    return kInputs;
                  })});
  rows.push_back({"azimut", NsPerCall([&] {
                    pelmora::calc::BearingFields fields;
                    for (std::size_t i = 0; i < kInputs; ++i)
                      sink_float =
                          pelmora::calc::Azimut(fields, lat[i], lon[i], lat2[i], lon2[i]).value;
                    return kInputs;
                  }),
                  NsPerCall([&] {
                    float r;
                    for (std::size_t i = 0; i < kInputs; ++i) {
                      pelmora_azimut(lat[i], lon[i], lat2[i], lon2[i], &r);
                      sink_float = r;
                    }
                    return kInputs;
                  })});
  rows.push_back({"arc_cos", NsPerCall([&] {
                    for (std::size_t i = 0; i < kInputs; ++i)
                      sink_float = pelmora::calc::ArcCos(x[i]).value;
                    return kInputs;
                  }),
                  NsPerCall([&] {
                    float r;
                    for (std::size_t i = 0; i < kInputs; ++i) {
                      pelmora_arc_cos(x[i], &r);
                      sink_float = r;
                    }
                    return kInputs;
                  })});
  rows.push_back({"grid_from_lat_long", NsPerCall([&] {
                    for (std::size_t i = 0; i < kInputs; ++i)
                      sink_char = static_cast<char>(
                          pelmora::calc::GridFromLatLong(lat[i], lon[i]).value.Units()[0]);
                    return kInputs;
                  }),
                  NsPerCall([&] {
                    char g[PELMORA_LOCATOR_SIZE];
                    for (std::size_t i = 0; i < kInputs; ++i) {
                      pelmora_grid_from_lat_long(lat[i], lon[i], g, sizeof g);
                      sink_char = g[0];
                    }
                    return kInputs;
                  })});
  rows.push_back({"s_locator", NsPerCall([&] {
                    for (std::size_t i = 0; i < kInputs; ++i)
                      sink_char = static_cast<char>(
                          pelmora::calc::sLocator(lat[i], lon[i]).value.Units()[0]);
                    return kInputs;
                  }),
                  NsPerCall([&] {
                    char g[PELMORA_LOCATOR_SIZE];
                    for (std::size_t i = 0; i < kInputs; ++i) {
                      pelmora_s_locator(lat[i], lon[i], g, sizeof g);
                      sink_char = g[0];
                    }
                    return kInputs;
                  })});
  rows.push_back({"lat_from_grid (UTF-16)", NsPerCall([&] {
                    for (std::size_t i = 0; i < kInputs; ++i)
                      sink_float =
                          pelmora::calc::LatFromGrid(std::u16string_view(grids16[i])).value;
                    return kInputs;
                  }),
                  NsPerCall([&] {
                    float r;
                    for (std::size_t i = 0; i < kInputs; ++i) {
                      pelmora_lat_from_grid16(grids16[i].data(), grids16[i].size(), &r);
                      sink_float = r;
                    }
                    return kInputs;
                  })});
  rows.push_back({"lat_from_grid (UTF-8)", NsPerCall([&] {
                    for (std::size_t i = 0; i < kInputs; ++i)
                      sink_float =
                          pelmora::calc::LatFromGrid(std::u16string_view(grids16[i])).value;
                    return kInputs;
                  }),
                  NsPerCall([&] {
                    float r;
                    for (std::size_t i = 0; i < kInputs; ++i) {
                      pelmora_lat_from_grid(grids[i].data(), grids[i].size(), &r);
                      sink_float = r;
                    }
                    return kInputs;
                  })});
  std::printf("%-24s %10s %10s %10s  %s\n", "C call", "calc ns", "C ns", "extra ns",
              "goal: extra <= 10 ns");
  for (const Row& r : rows) {
    const double extra = r.capi - r.calc;
    std::printf("%-24s %10.1f %10.1f %10.1f  %s\n", r.name, r.calc, r.capi, extra,
                extra <= 10.0 ? "met" : "MISSED");
  }
  std::printf("per-element distance_from %.2f\n", rows[0].capi);
  return 0;
}
