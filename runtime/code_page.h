// ANSI code pages as data.
//
// Character from code and code of first character go through the ANSI code
// page. The calculations take the code page as an argument, so nothing reads
// a host locale and a test can supply a code page of its own (for example one
// that gives the negative codes of a double-byte page).
#pragma once

#include <cstddef>
#include <cstdint>

namespace pelmora::runtime {

class CodePage {
 public:
  // The same two answers for one unit or code, without the virtual call for
  // the codes below the page's ASCII limit, which stand for themselves.
  std::int16_t CodeOfUnit(char16_t unit) const {
    if (unit < ascii_limit_) return static_cast<std::int16_t>(unit);
    return CodeOf(&unit, 1);
  }
  char16_t CharOfCode(std::uint8_t code) const {
    if (code < ascii_limit_) return static_cast<char16_t>(code);
    return CharOf(code);
  }

  // Whether `unit` is one of the units below the page's ASCII limit, whose
  // code is the unit itself.
  bool StandsForItself(char16_t unit) const { return unit < ascii_limit_; }

  // The UTF-16 unit of the single-byte code `code` (0..255).
  virtual char16_t CharOf(std::uint8_t code) const = 0;

  // The code of the first character of `units` (count >= 1), as a signed
  // 16-bit integer: a single byte gives 0..255, a double-byte character its
  // two bytes, lead byte high, which may be negative.
  virtual std::int16_t CodeOf(const char16_t* units, std::size_t count) const = 0;

 protected:
  // `ascii_limit`: the codes below it are the units of the same number, both
  // ways (128 for a page whose lower half is ASCII; 0, the default, claims
  // nothing).
  constexpr explicit CodePage(char16_t ascii_limit = 0) : ascii_limit_(ascii_limit) {}
  ~CodePage() = default;

 private:
  char16_t ascii_limit_;
};

// Windows-1252, the ANSI code page of Western European Windows. Codes 0..127
// are ASCII; the five bytes the page leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) stand for the control characters of the same number, as Windows maps
// them. A character the page does not hold has the code 63 ("?"), as the
// platform's default conversion gives it.
namespace detail {
extern const CodePage& windows1252;
}
inline const CodePage& Windows1252() { return detail::windows1252; }

}  // namespace pelmora::runtime
