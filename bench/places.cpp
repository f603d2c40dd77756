#include "bench/places.h"

#include "calc/encoding.h"

namespace pelmora::bench {

const std::array<std::u16string, kPlaces.size()>& Locators() {
  static const std::array<std::u16string, kPlaces.size()> locators = [] {
    std::array<std::u16string, kPlaces.size()> l;
    for (std::size_t k = 0; k < kPlaces.size(); ++k) {
      l[k] = calc::GridFromLatLong(kPlaces[k].lat, kPlaces[k].lon).value.Units();
    }
    return l;
  }();
  return locators;
}

const std::array<std::string, kPlaces.size()>& AsciiLocators() {
  static const std::array<std::string, kPlaces.size()> locators = [] {
    std::array<std::string, kPlaces.size()> l;
    for (std::size_t k = 0; k < kPlaces.size(); ++k) {
      for (const char16_t c : Locators()[k]) l[k] += static_cast<char>(c);
    }
    return l;
  }();
  return locators;
}

}  // namespace pelmora::bench
