// The fixed set every comparison runs on: eight places, their locators, and
// the pairs of each place with the next.
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace pelmora::bench {

struct Place {
  float lat;
  float lon;
};

inline constexpr std::array<Place, 8> kPlaces = {{{52.5f, 13.4f},
                                                  {40.7f, -74.0f},
                                                  {-33.9f, 151.2f},
                                                  {51.5f, -0.12f},
                                                  {35.7f, 139.7f},
                                                  {-33.9f, 18.4f},
                                                  {-22.9f, -43.2f},
                                                  {61.2f, -149.9f}}};

// The six-character locators of the places (GridFromLatLong's), as UTF-16
// and as ASCII.
const std::array<std::u16string, kPlaces.size()>& Locators();
const std::array<std::string, kPlaces.size()>& AsciiLocators();

// Place i and place i + 1 (the last with the first).
struct Pair {
  Place a;
  Place b;
};
inline const Pair& PairAt(std::size_t i) {
  static const std::array<Pair, kPlaces.size()> pairs = [] {
    std::array<Pair, kPlaces.size()> p;
    for (std::size_t k = 0; k < kPlaces.size(); ++k)
      p[k] = {kPlaces[k], kPlaces[(k + 1) % kPlaces.size()]};
    return p;
  }();
  return pairs[i % pairs.size()];
}

}  // namespace pelmora::bench
