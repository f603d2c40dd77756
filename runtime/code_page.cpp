#include "runtime/code_page.h"

#include <array>

namespace pelmora::runtime {

namespace {

// Bytes 0x80..0x9F of Windows-1252; the rest of the page is Latin-1.
constexpr std::array<char16_t, 32> kHigh1252 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98
};

class Windows1252Page final : public CodePage {
 public:
  constexpr Windows1252Page() : CodePage(0x80) {}

  char16_t CharOf(std::uint8_t code) const override {
    if (code >= 0x80 && code <= 0x9F) return kHigh1252[code - 0x80u];
    return static_cast<char16_t>(code);
  }

  std::int16_t CodeOf(const char16_t* units, std::size_t /*count*/) const override {
    const char16_t unit = units[0];
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<std::int16_t>(unit);
    for (std::size_t i = 0; i < kHigh1252.size(); ++i) {
      if (kHigh1252[i] == unit) return static_cast<std::int16_t>(0x80 + i);
    }
    return 63;
  }
};

// Constant-initialised, so that no call pays for a first-use guard.
constinit const Windows1252Page kWindows1252;

}  // namespace

namespace detail {
constinit const CodePage& windows1252 = kWindows1252;
}

}  // namespace pelmora::runtime
