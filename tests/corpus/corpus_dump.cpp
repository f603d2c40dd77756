// Writes every result of a fixed corpus of calls, one line each, as bit
// patterns and exact texts, to the file named by its one argument. Built
// natively and for Windows; tests/corpus/compare.sh runs both and requires
// identical files, so that every build gives the same bits.
//
// The corpus: sine, cosine and arc tangent over fixed argument streams;
// bearings and distances between the positions of a grid, of a random stream
// and of special values; the arc cosine over a sweep of float32 values;
// both encodings over a grid and special values; decoding of every square
// and of a stream of subsquares.
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "calc/bearing.h"
#include "calc/decoding.h"
#include "calc/distance.h"
#include "calc/encoding.h"
#include "runtime/trig.h"
#include "tests/test_support.h"
#include "tests/trig_cases.h"

namespace {

using namespace pelmora;
using test::Bits;

std::FILE* out = nullptr;

void Line(const char* name, const std::vector<float>& in, int error, const std::string& result) {
  std::fprintf(out, "%s", name);
  for (const float x : in) std::fprintf(out, " %08" PRIX32, Bits(x));
  std::fprintf(out, " -> %d %s\n", error, result.c_str());
}

std::string Hex(float x) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%08" PRIX32, Bits(x));
  return buffer;
}

// Specials of float32: zeros, subnormals, the largest, infinities, NaNs.
std::vector<float> Specials() {
  const float inf = std::numeric_limits<float>::infinity();
  return {0.0f,
          -0.0f,
          1e-45f,
          -1e-45f,
          1e30f,
          -1e30f,
          3.4028235e38f,
          inf,
          -inf,
          test::QuietNan(),
          test::SignallingNan(),
          90.0f,
          -180.0f,
          1e11f,
          -7e20f};
}

void Trig() {
  for (int kind = 0; kind < 3; ++kind) {
    test::TrigStream stream(static_cast<std::uint64_t>(900 + kind));
    for (int i = 0; i < 30000; ++i) {
      double x = kind == 0   ? std::bit_cast<double>(stream.Next())
                 : kind == 1 ? stream.Uniform(100.0)
                             : test::WidenedFloat(stream);
      if (std::isnan(x)) x = 0.25;
      std::fprintf(out, "trig %016" PRIX64 " -> %016" PRIX64 " %016" PRIX64 " %016" PRIX64 "\n",
                   Bits(x), Bits(runtime::Sin(x)), Bits(runtime::Cos(x)), Bits(runtime::Atan(x)));
    }
  }
}

void BearingAndDistance(float a, float b, float c, float d) {
  calc::BearingFields fields;
  const auto bearing = calc::Azimut(fields, a, b, c, d);
  Line("azimut", {a, b, c, d}, static_cast<int>(bearing.error),
       Hex(bearing.value) + " " + Hex(fields.OtherLatRad) + " " + Hex(fields.LonDiff) + " " +
           Hex(fields.AuxAngle) + " " + Hex(fields.AzimutValue));
  const auto distance = calc::DistanceFrom(a, b, c, d);
  Line("distance", {a, b, c, d}, static_cast<int>(distance.error), Hex(distance.value));
}

void Positions() {
  std::vector<std::pair<float, float>> grid;
  for (int lat = -90; lat <= 90; lat += 15) {
    for (int lon = -180; lon <= 180; lon += 30)
      grid.emplace_back(static_cast<float>(lat), static_cast<float>(lon));
  }
  for (const auto& p : grid) {
    for (const auto& q : grid) BearingAndDistance(p.first, p.second, q.first, q.second);
  }
  test::TrigStream stream(77);
  for (int i = 0; i < 30000; ++i) {
    const float span = (i % 10 == 0) ? 1e6f : 400.0f;
    const auto coordinate = [&](float s) {
      return static_cast<float>(stream.Uniform(static_cast<double>(s)));
    };
    BearingAndDistance(coordinate(100.0f), coordinate(span), coordinate(100.0f), coordinate(span));
  }
  const std::vector<float> specials = Specials();
  for (const float a : specials) {
    for (const float b : specials) {
      BearingAndDistance(a, b, 40.0f, -74.0f);
      BearingAndDistance(52.5f, 13.4f, a, b);
      BearingAndDistance(a, 13.4f, b, -74.0f);
    }
  }
}

void ArcCosSweep() {
  for (const std::uint32_t sign : {0x00000000u, 0x80000000u}) {
    for (std::uint32_t magnitude = 0; magnitude <= 0x40000000u; magnitude += 65521) {
      const float x = test::FloatFromBits(sign | magnitude);
      const auto arc = calc::ArcCos(x);
      Line("arccos", {x}, static_cast<int>(arc.error), Hex(arc.value));
    }
  }
}

void Locators() {
  std::vector<float> lats, lons;
  for (int i = -200; i <= 200; ++i) lats.push_back(static_cast<float>(i) * 0.45f);
  for (int i = -200; i <= 200; ++i) lons.push_back(static_cast<float>(i) * 0.9f);
  for (const float s : Specials()) {
    lats.push_back(s);
    lons.push_back(s);
  }
  for (std::size_t i = 0; i < lats.size(); ++i) {
    for (std::size_t j = 0; j < lons.size(); j += 13) {
      const auto a = calc::sLocator(lats[i], lons[j]);
      Line("sLocator", {lats[i], lons[j]}, static_cast<int>(a.error), test::Show(a.value));
      const auto b = calc::GridFromLatLong(lats[i], lons[j]);
      Line("GridFromLatLong", {lats[i], lons[j]}, static_cast<int>(b.error), test::Show(b.value));
    }
  }
  auto decode = [](const std::u16string& grid) {
    const runtime::Text text(grid);
    const auto lat = calc::LatFromGrid(text);
    const auto lon = calc::LongFromGrid(text);
    std::fprintf(out, "decode %s -> %d %s %d %s\n", test::Show(text).c_str(),
                 static_cast<int>(lat.error), Hex(lat.value).c_str(), static_cast<int>(lon.error),
                 Hex(lon.value).c_str());
  };
  for (char16_t a = u'A'; a <= u'R'; ++a) {
    for (char16_t b = u'A'; b <= u'R'; ++b) {
      for (char16_t c = u'0'; c <= u'9'; ++c) {
        for (char16_t d = u'0'; d <= u'9'; ++d) decode(std::u16string{a, b, c, d});
      }
    }
  }
  test::TrigStream stream(5);
  for (int i = 0; i < 20000; ++i) {
    std::u16string grid;
    for (int k = 0; k < 6; ++k) grid += static_cast<char16_t>(32 + stream.Next() % 224);
    decode(grid);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: corpus_dump OUTPUT\n");
    return 2;
  }
  out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  Trig();
  Positions();
  ArcCosSweep();
  Locators();
  return std::fclose(out) == 0 ? 0 : 1;
}
